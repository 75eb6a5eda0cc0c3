#include "exitprobe.h"

#include "proxycore.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace zq::clientproxy {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p { fd, events, 0 };
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

bool sendAll(int fd, const std::string& data, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < data.size()) {
        if (!waitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly n bytes, however the peer splits them.
bool recvExact(int fd, unsigned char* out, std::size_t n, Clock::time_point deadline)
{
    std::size_t done = 0;
    while (done < n) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t r = ::recv(fd, out + done, n - done, 0);
        if (r < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

int connectTo(const std::string& host, std::uint16_t port, Clock::time_point deadline, std::string& why)
{
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) {
        why = "cannot resolve exit node " + host;
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = res; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            fd = -1;
            continue;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (!waitFor(fd, POLLOUT, deadline) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(res);
    if (fd < 0)
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
    const int fd = connectTo(host, port, deadline, r.msg);
    if (fd < 0)
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
    ::close(fd);
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
