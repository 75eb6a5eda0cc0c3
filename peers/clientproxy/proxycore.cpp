#include "proxycore.h"

#include "options.h"

#include <chrono>
#include <iostream>

namespace zq::clientproxy {

bool splitHostPort(const std::string& text, std::string& host, std::uint16_t& port)
{
    std::string h, p;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        h = text.substr(1, close - 1);
        p = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon)
            return false;
        h = text.substr(0, colon);
        p = text.substr(colon + 1);
    }
    const auto n = parseNumber(p, 1, 65535);
    if (h.empty() || !n)
        return false;
    host = h;
    port = static_cast<std::uint16_t>(*n);
    return true;
}

ProxyCore::ProxyCore(DataPlane& plane, std::uint16_t apiPort, std::uint16_t programPort)
    : m_plane(plane)
    , m_apiPort(apiPort)
    , m_programPort(programPort)
{
}

std::vector<std::uint16_t> ProxyCore::openRange(std::uint16_t start, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_start = start;
    m_count = count;
    std::vector<std::uint16_t> ports;
    for (long p = start; p < static_cast<long>(start) + count && p <= 65535; ++p) {
        if (p != m_apiPort && !m_listening.count(static_cast<std::uint16_t>(p)))
            ports.push_back(static_cast<std::uint16_t>(p));
    }
    std::vector<std::uint16_t> failed
        = ports.empty() ? std::vector<std::uint16_t> {} : m_plane.listen("0.0.0.0", ports);
    // The per-program proxy reaches its port on loopback only.
    if (m_programPort != 0 && m_programPort != m_apiPort && !inRange(m_programPort)
        && !m_listening.count(m_programPort)) {
        ports.push_back(m_programPort);
        for (auto p : m_plane.listen("127.0.0.1", { m_programPort }))
            failed.push_back(p);
    }
    const std::set<std::uint16_t> bad(failed.begin(), failed.end());
    for (auto p : ports) {
        if (bad.count(p))
            m_failed.insert(p);
        else {
            m_listening.insert(p);
            m_failed.erase(p);
        }
    }
    return failed;
}

std::vector<std::uint16_t> ProxyCore::resetRange(std::uint16_t start, int count)
{
    std::vector<std::uint16_t> dropped;
    std::vector<std::uint16_t> reopen;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_plane.closeListeners();
        m_listening.clear();
        m_failed.clear();
        m_start = start;
        m_count = count;
        std::set<std::uint16_t> extra;
        for (auto it = m_bindings.begin(); it != m_bindings.end();) {
            const auto p = it->first;
            const bool keep = inRange(p) || p == m_programPort || it->second.bindType == "API";
            if (!keep) {
                dropped.push_back(p);
                it = m_bindings.erase(it);
                continue;
            }
            if (!inRange(p) && p != m_programPort)
                extra.insert(p);
            ++it;
        }
        m_extra = extra;
        reopen.assign(extra.begin(), extra.end());
        publish();
    }
    auto failed = openRange(start, count);
    if (!reopen.empty()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto bad = m_plane.listen("0.0.0.0", reopen);
        const std::set<std::uint16_t> badSet(bad.begin(), bad.end());
        for (auto p : reopen) {
            if (badSet.count(p)) {
                m_bindings.erase(p);
                m_extra.erase(p);
                dropped.push_back(p);
            } else {
                m_listening.insert(p);
            }
        }
        publish();
    }
    notify("reset", dropped);
    return failed;
}

bool ProxyCore::inRange(std::uint16_t port) const
{
    return port >= m_start && static_cast<long>(port) < static_cast<long>(m_start) + m_count && port != m_apiPort;
}

bool ProxyCore::isListening(std::uint16_t port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listening.count(port) > 0;
}

bool ProxyCore::ensureListening(std::uint16_t port)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listening.count(port))
        return true;
    if (port == m_apiPort || port == 0)
        return false;
    if (!m_plane.listen("0.0.0.0", { port }).empty())
        return false;
    m_listening.insert(port);
    m_extra.insert(port);
    return true;
}

std::string ProxyCore::unusableReason(std::uint16_t port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (port == m_apiPort)
        return "port " + std::to_string(port) + " is the API port";
    if (m_listening.count(port))
        return {};
    if (m_failed.count(port))
        return "port " + std::to_string(port) + " could not be opened (held by another program)";
    return "port " + std::to_string(port) + " is outside the port range";
}

void ProxyCore::bind(const Binding& b)
{
    bindMany({ b });
}

void ProxyCore::bindMany(const std::vector<Binding>& list)
{
    if (list.empty())
        return;
    std::vector<std::uint16_t> ports;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& b : list) {
            // A line serves one port: binding it again moves it off its old port.
            for (auto it = m_bindings.begin(); it != m_bindings.end();) {
                if (it->first != b.port && it->second.ip == b.ip) {
                    ports.push_back(it->first);
                    it = m_bindings.erase(it);
                } else {
                    ++it;
                }
            }
            m_bindings[b.port] = b;
            ports.push_back(b.port);
        }
        publish();
        // Clients of the previous line on these ports must not keep using it.
        m_plane.closeConnections(ports);
    }
    notify("bind", ports);
}

bool ProxyCore::unbind(std::uint16_t port)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_bindings.erase(port))
            return false;
        publish();
        m_plane.closeConnections({ port });
    }
    notify("free", { port });
    return true;
}

std::size_t ProxyCore::unbindAll()
{
    std::vector<std::uint16_t> ports;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [p, b] : m_bindings)
            ports.push_back(p);
        m_bindings.clear();
        publish();
        if (!ports.empty())
            m_plane.closeConnections(ports);
    }
    notify("free_all", ports);
    return ports.size();
}

std::optional<Binding> ProxyCore::binding(std::uint16_t port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_bindings.find(port);
    if (it == m_bindings.end())
        return std::nullopt;
    return it->second;
}

std::vector<Binding> ProxyCore::bindings() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Binding> out;
    for (const auto& [p, b] : m_bindings)
        out.push_back(b);
    return out;
}

bool ProxyCore::isBound(std::uint16_t port) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bindings.count(port) > 0;
}

std::vector<std::uint16_t> ProxyCore::failedPorts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return { m_failed.begin(), m_failed.end() };
}

std::uint16_t ProxyCore::rangeStart() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_start;
}

int ProxyCore::rangeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}

std::shared_ptr<const RouteTable> ProxyCore::buildTable() const
{
    auto table = std::make_shared<RouteTable>();
    for (const auto& [port, b] : m_bindings) {
        auto r = std::make_shared<Route>();
        if (!splitHostPort(b.server, r->upstreamHost, r->upstreamPort))
            continue;
        r->username = b.exitUser;
        r->password = b.sessionId;
        (*table)[port] = std::move(r);
    }
    return table;
}

void ProxyCore::publish()
{
    m_plane.setRoutes(buildTable());
}

void ProxyCore::notify(const std::string& event, const std::vector<std::uint16_t>& ports)
{
    if (m_onChange)
        m_onChange(event, ports);
}

} // namespace zq::clientproxy
