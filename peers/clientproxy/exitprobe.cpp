#include "exitprobe.h"

#include "proxycore.h"
#include "sysport.h"

#include <cstring>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace zq::clientproxy {

namespace {

using Clock = std::chrono::steady_clock;
using sys::SocketHandle;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(SocketHandle fd, bool forWrite, Clock::time_point deadline)
{
    for (;;) {
        const int r = sys::waitSocket(fd, forWrite, remainingMs(deadline));
        if (r > 0)
            return true;
        if (r == 0 || !sys::interrupted(sys::socketError()))
            return false;
    }
}

bool retry(long n)
{
    return n < 0 && (sys::wouldBlock(sys::socketError()) || sys::interrupted(sys::socketError()));
}

bool sendAll(SocketHandle fd, const std::string& data, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < data.size()) {
        if (!waitFor(fd, true, deadline))
            return false;
        const long n = sys::sendSome(fd, data.data() + done, data.size() - done);
        if (retry(n))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly n bytes, however the peer splits them.
bool recvExact(SocketHandle fd, unsigned char* out, std::size_t n, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < n) {
        if (!waitFor(fd, false, deadline))
            return false;
        const long r = ::recv(fd, reinterpret_cast<char*>(out + done), int(n - done), 0);
        if (retry(r))
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

SocketHandle connectTo(const std::string& host, std::uint16_t port, Clock::time_point deadline, std::string& why)
{
    sys::initSockets();
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) {
        why = "cannot resolve exit node " + host;
        return sys::kNoSocket;
    }
    SocketHandle fd = sys::kNoSocket;
    for (addrinfo* a = res; a && fd == sys::kNoSocket; a = a->ai_next) {
        fd = sys::openSocket(a->ai_family, a->ai_socktype, true);
        if (fd == sys::kNoSocket)
            continue;
        if (::connect(fd, a->ai_addr, int(a->ai_addrlen)) != 0 && !sys::connectInProgress(sys::socketError())) {
            sys::closeSocket(fd);
            fd = sys::kNoSocket;
            continue;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (!waitFor(fd, true, deadline)
            || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0) {
            sys::closeSocket(fd);
            fd = sys::kNoSocket;
        }
    }
    ::freeaddrinfo(res);
    if (fd == sys::kNoSocket)
        why = "exit node " + host + ":" + std::to_string(port) + " unreachable";
    return fd;
}

} // namespace

const char* verdictWord(ProbeVerdict verdict)
{
    switch (verdict) {
    case ProbeVerdict::Accepted:
        return "accepted";
    case ProbeVerdict::Refused:
        return "refused";
    case ProbeVerdict::Unreachable:
        break;
    }
    return "unreachable";
}

ProbeResult probeExitNode(const std::string& host, std::uint16_t port, const std::string& user,
    const std::string& password, std::chrono::milliseconds timeout)
{
    ProbeResult r;
    if (user.size() > 255 || password.size() > 255) {
        r.msg = "credentials too long for SOCKS5";
        return r;
    }
    const auto deadline = Clock::now() + timeout;
    const SocketHandle fd = connectTo(host, port, deadline, r.msg);
    if (fd == sys::kNoSocket)
        return r;
    unsigned char reply[2];
    std::string auth;
    auth.push_back(0x01);
    auth.push_back(static_cast<char>(user.size()));
    auth += user;
    auth.push_back(static_cast<char>(password.size()));
    auth += password;
    if (!sendAll(fd, std::string("\x05\x01\x02", 3), deadline) || !recvExact(fd, reply, 2, deadline)) {
        r.msg = "exit node did not answer the greeting";
    } else if (reply[0] != 0x05 || reply[1] != 0x02) {
        r.msg = "exit node refused username/password authentication";
    } else if (!sendAll(fd, auth, deadline) || !recvExact(fd, reply, 2, deadline)) {
        r.msg = "exit node did not answer the authentication";
    } else if (reply[0] != 0x01) {
        r.msg = "exit node answered the authentication with an unknown version";
    } else if (reply[1] != 0x00) {
        r.verdict = ProbeVerdict::Refused;
        r.msg = "exit node refused the binding's credentials";
    } else {
        r.verdict = ProbeVerdict::Accepted;
        r.msg = "success";
    }
    sys::closeSocket(fd);
    return r;
}

ProbeCache::ProbeCache(std::chrono::milliseconds ttl, Prober prober, std::chrono::milliseconds retryPause)
    : m_ttl(ttl)
    , m_prober(std::move(prober))
    , m_retryPause(retryPause)
{
    if (!m_prober) {
        m_prober = [](const std::string& server, const std::string& user, const std::string& password) {
            std::string host;
            std::uint16_t port = 0;
            if (!splitHostPort(server, host, port))
                return ProbeResult { ProbeVerdict::Unreachable, "bad exit node address " + server };
            return probeExitNode(host, port, user, password, std::chrono::milliseconds(2000));
        };
    }
}

ProbeResult ProbeCache::probe(const std::string& server, const std::string& user, const std::string& password)
{
    const Key key { server, user, password };
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_entries.find(key);
        if (it != m_entries.end() && Clock::now() - it->second.at < m_ttl)
            return it->second.result;
    }
    ProbeResult r = m_prober(server, user, password);
    if (r.refused()) {
        // A refusal may be a binding caught mid-change; believe it only when it comes twice.
        std::this_thread::sleep_for(m_retryPause);
        r = m_prober(server, user, password);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (r.verdict == ProbeVerdict::Unreachable) {
        m_entries.erase(key);
        return r;
    }
    m_entries[key] = { r, Clock::now() };
    if (m_entries.size() > 4096)
        m_entries.erase(m_entries.begin());
    return r;
}

void ProbeCache::forget(const std::string& server, const std::string& user, const std::string& password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(Key { server, user, password });
}

} // namespace zq::clientproxy
