#pragma once
// The helper's bindings and listening ports. Every change builds a new immutable route table and
// hands it to the data plane; relay threads never wait on this object's lock.

#include "dataplane.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zq::clientproxy {

// One line bound to one local port.
struct Binding {
    std::uint16_t port = 0;
    std::string ip; // the line's exit IP ("client_ip")
    std::string sn; // the line's sn as the client sent it (codec text)
    std::string server; // host:port of the line's exit node
    std::string exitUser; // credentials towards the exit node
    std::string sessionId; // also the exit node password
    std::string plan; // "S5", "unlimit" or "flow"
    std::string planTypeKey;
    std::string bindType; // "Manual" or "API"
    std::string area;
    std::string region;
    std::int64_t bindTime = 0;
};

// "host:port" with a port in 1..65535; IPv6 hosts in brackets.
bool splitHostPort(const std::string& text, std::string& host, std::uint16_t& port);

class ProxyCore {
public:
    // Called after every change of the bindings, outside the lock.
    using ChangeListener = std::function<void(const std::string& event, const std::vector<std::uint16_t>& ports)>;

    ProxyCore(DataPlane& plane, std::uint16_t apiPort, std::uint16_t programPort);

    void setChangeListener(ChangeListener listener) { m_onChange = std::move(listener); }

    // Opens the range (all interfaces) and the program port (loopback); returns the ports that failed.
    std::vector<std::uint16_t> openRange(std::uint16_t start, int count);
    // Range reset: closes every listener and connection, keeps the bindings still served (new range,
    // program port, bulk-bound ports) and drops the others.
    std::vector<std::uint16_t> resetRange(std::uint16_t start, int count);

    bool isListening(std::uint16_t port) const;
    std::uint16_t programPort() const { return m_programPort; }
    std::uint16_t apiPort() const { return m_apiPort; }
    // Opens one extra port on all interfaces (bulk binding outside the range); true when it listens.
    bool ensureListening(std::uint16_t port);
    // Why a port cannot take a binding, or empty when it can.
    std::string unusableReason(std::uint16_t port) const;

    // Adds or replaces the binding of b.port; live connections of that port are closed.
    void bind(const Binding& b);
    // Binds several at once (one notification, one table swap).
    void bindMany(const std::vector<Binding>& list);
    bool unbind(std::uint16_t port);
    std::size_t unbindAll();

    std::optional<Binding> binding(std::uint16_t port) const;
    std::vector<Binding> bindings() const;
    bool isBound(std::uint16_t port) const;
    std::vector<std::uint16_t> failedPorts() const;
    std::uint16_t rangeStart() const;
    int rangeCount() const;

private:
    bool inRange(std::uint16_t port) const; // m_mutex held
    std::shared_ptr<const RouteTable> buildTable() const; // m_mutex held
    void publish(); // m_mutex held
    void notify(const std::string& event, const std::vector<std::uint16_t>& ports);

    DataPlane& m_plane;
    const std::uint16_t m_apiPort;
    const std::uint16_t m_programPort;
    mutable std::mutex m_mutex;
    std::map<std::uint16_t, Binding> m_bindings;
    std::set<std::uint16_t> m_listening;
    std::set<std::uint16_t> m_failed;
    std::set<std::uint16_t> m_extra; // opened for bulk bindings outside the range
    std::uint16_t m_start = 0;
    int m_count = 0;
    ChangeListener m_onChange;
};

} // namespace zq::clientproxy
