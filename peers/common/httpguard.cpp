#include "httpguard.h"

#include "hostport.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace zq::peers {

namespace {

using Clock = std::chrono::steady_clock;

// Runs each accepted socket's task on the accepting thread: the gate only registers it there.
class InlineQueue : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { }
};

std::string peerAddress(int fd)
{
    sockaddr_storage ss {};
    socklen_t len = sizeof ss;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&ss)->sin_addr, text, sizeof text);
    } else if (ss.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<sockaddr_in6*>(&ss)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a))
            ::inet_ntop(AF_INET, &a.s6_addr[12], text, sizeof text);
        else
            ::inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    return text;
}

const char* reason(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Refused";
    }
}

void sendRefusal(int fd, const Refusal& r)
{
    std::string text = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status)
        + "\r\nContent-Type: " + r.contentType + "\r\nContent-Length: " + std::to_string(r.body.size())
        + "\r\nConnection: close\r\n\r\n" + r.body;
    // A fresh socket's send buffer takes a short reply whole; a peer that does not read loses it.
    (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

Refusal envelopeRefusal(int status, const std::string& msg)
{
    return Refusal { status, nlohmann::json { { "code", status }, { "msg", msg } }.dump() };
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecode(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() + 0 && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool equalNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace

class Gate {
public:
    explicit Gate(GateLimits limits)
        : m_limits(std::move(limits))
        , m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
        , m_workers(std::max(1u, m_limits.workers))
    {
        m_thread = std::thread([this] { loop(); });
    }

    ~Gate()
    {
        m_stopping = true;
        poke();
        m_thread.join();
        for (auto& p : m_pending)
            ::close(p.fd);
        for (auto& p : m_incoming)
            ::close(p.fd);
        m_workers.shutdown();
        ::close(m_wake);
    }

    void admit(int fd, std::function<void(int)> serve)
    {
        Pending p;
        p.fd = fd;
        p.peer = peerAddress(fd);
        p.serve = std::move(serve);
        p.deadline = Clock::now() + m_limits.deadline;
        if (!take(p.peer)) {
            sendRefusal(fd, answer(RequestHead { p.peer, {}, {}, {} }, 503, "too many connections from " + p.peer));
            ::close(fd);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_incoming.push_back(std::move(p));
        }
        poke();
    }

private:
    enum class Stage { Head, Body, Drain };
    struct Pending {
        int fd = -1;
        std::string peer;
        std::function<void(int)> serve;
        Clock::time_point deadline;
        Stage stage = Stage::Head;
        std::size_t need = 0; // head and body bytes, once the head is known
        std::size_t drained = 0;
    };

    Refusal answer(const RequestHead& head, int status, const std::string& msg) const
    {
        return m_limits.answer ? m_limits.answer(head, status, msg) : envelopeRefusal(status, msg);
    }

    void poke()
    {
        const std::uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof one);
    }

    bool take(const std::string& peer)
    {
        const bool local = isLoopbackAddress(peer);
        std::lock_guard<std::mutex> lock(m_countMutex);
        unsigned& n = m_open[local ? std::string("loopback") : peer];
        if (n >= (local ? m_limits.perLoopback : m_limits.perPeer))
            return false;
        ++n;
        return true;
    }

    void release(const std::string& peer)
    {
        std::lock_guard<std::mutex> lock(m_countMutex);
        auto it = m_open.find(isLoopbackAddress(peer) ? std::string("loopback") : peer);
        if (it != m_open.end() && --it->second == 0)
            m_open.erase(it);
    }

    static void setLowWater(int fd, std::size_t bytes)
    {
        int v = static_cast<int>(std::min<std::size_t>(std::max<std::size_t>(bytes, 1), 1 << 22));
        ::setsockopt(fd, SOL_SOCKET, SO_RCVLOWAT, &v, sizeof v);
    }

    void finish(Pending& p)
    {
        ::close(p.fd);
        release(p.peer);
        p.fd = -1;
    }

    // Answers and then reads (and drops) what the peer still sends for a moment (at most 8 MiB or
    // half a second), so the answer is not lost to a reset when the socket closes with unread bytes.
    void refuse(Pending& p, const Refusal& r)
    {
        sendRefusal(p.fd, r);
        ::shutdown(p.fd, SHUT_WR);
        setLowWater(p.fd, 1);
        p.stage = Stage::Drain;
        p.deadline = Clock::now() + std::chrono::milliseconds(500);
    }

    void dispatch(Pending& p)
    {
        setLowWater(p.fd, 1);
        m_workers.enqueue([this, fd = p.fd, peer = p.peer, serve = std::move(p.serve)] {
            serve(fd);
            release(peer);
        });
        p.fd = -1;
    }

    // Parses the head; a refusal, or the number of body bytes to wait for.
    std::optional<Refusal> readHead(const std::string& head, RequestHead& out, std::size_t& bodyLength)
    {
        std::size_t pos = head.find("\r\n");
        const std::string line = head.substr(0, pos);
        const auto sp1 = line.find(' ');
        const auto sp2 = line.rfind(' ');
        if (sp1 == std::string::npos || sp2 == sp1)
            return answer(out, 400, "malformed request line");
        out.method = line.substr(0, sp1);
        const std::string target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        const auto q = target.find('?');
        out.path = percentDecode(target.substr(0, q));
        if (q != std::string::npos) {
            std::size_t i = q + 1;
            while (i <= target.size()) {
                auto amp = target.find('&', i);
                if (amp == std::string::npos)
                    amp = target.size();
                const std::string item = target.substr(i, amp - i);
                if (!item.empty()) {
                    const auto eq = item.find('=');
                    out.query.emplace(percentDecode(item.substr(0, eq)),
                        eq == std::string::npos ? std::string() : percentDecode(item.substr(eq + 1)));
                }
                i = amp + 1;
            }
        }
        std::size_t headers = 0;
        std::optional<std::size_t> length;
        pos += 2;
        while (pos < head.size()) {
            const auto eol = head.find("\r\n", pos);
            if (eol == pos || eol == std::string::npos)
                break;
            const std::string h = head.substr(pos, eol - pos);
            pos = eol + 2;
            if (++headers > m_limits.maxHeaders)
                return answer(out, 431, "too many header fields");
            const auto colon = h.find(':');
            if (colon == std::string::npos)
                return answer(out, 400, "malformed header field");
            const std::string name = h.substr(0, colon);
            const std::string value = trim(h.substr(colon + 1));
            if (equalNoCase(name, "transfer-encoding"))
                return answer(out, 411, "send the body with a Content-Length");
            if (equalNoCase(name, "content-length")) {
                if (value.empty() || value.size() > 12 || value.find_first_not_of("0123456789") != std::string::npos)
                    return answer(out, 400, "malformed Content-Length");
                const std::size_t n = std::stoull(value);
                if (length && *length != n)
                    return answer(out, 400, "conflicting Content-Length");
                length = n;
            }
        }
        bodyLength = length.value_or(0);
        return std::nullopt;
    }

    // False once the entry has left the gate (closed or handed to a worker).
    bool step(Pending& p, short revents)
    {
        const bool hangup = revents & (POLLRDHUP | POLLHUP | POLLERR);
        if (p.stage == Stage::Drain) {
            char scratch[16384];
            const ssize_t n = ::recv(p.fd, scratch, sizeof scratch, MSG_DONTWAIT);
            if (n > 0)
                p.drained += std::size_t(n);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR) || p.drained > (8u << 20)) {
                finish(p);
                return false;
            }
            return true;
        }
        if (p.stage == Stage::Head) {
            std::string buf(m_limits.maxHead + 1, '\0');
            const ssize_t n = ::recv(p.fd, buf.data(), buf.size(), MSG_PEEK | MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                finish(p);
                return false;
            }
            if (n < 0)
                return true;
            buf.resize(std::size_t(n));
            const auto end = buf.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (buf.size() > m_limits.maxHead) {
                    refuse(p, answer(RequestHead { p.peer, {}, {}, {} }, 431, "request headers too large"));
                    return true;
                }
                if (hangup) {
                    finish(p);
                    return false;
                }
                setLowWater(p.fd, buf.size() + 1);
                return true;
            }
            RequestHead head;
            head.peer = p.peer;
            std::size_t body = 0;
            auto refusal = readHead(buf.substr(0, end + 2), head, body);
            if (!refusal && m_limits.screen)
                refusal = m_limits.screen(head);
            if (!refusal && body > m_limits.maxBody)
                refusal = answer(
                    head, 413, "request body too large (limit " + std::to_string(m_limits.maxBody) + " bytes)");
            if (refusal) {
                refuse(p, *refusal);
                return true;
            }
            p.need = end + 4 + body;
            p.stage = Stage::Body;
        }
        int avail = 0;
        ::ioctl(p.fd, FIONREAD, &avail);
        if (avail >= 0 && std::size_t(avail) >= p.need) {
            dispatch(p);
            return false;
        }
        if (hangup) {
            finish(p);
            return false;
        }
        setLowWater(p.fd, p.need);
        return true;
    }

    void loop()
    {
        std::vector<pollfd> fds;
        while (!m_stopping) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (auto& p : m_incoming)
                    m_pending.push_back(std::move(p));
                m_incoming.clear();
            }
            fds.clear();
            fds.push_back({ m_wake, POLLIN, 0 });
            auto now = Clock::now();
            auto next = now + std::chrono::seconds(1);
            for (auto& p : m_pending) {
                fds.push_back({ p.fd, short(POLLIN | POLLRDHUP), 0 });
                next = std::min(next, p.deadline);
            }
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
            ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0) + 1));
            if (fds[0].revents) {
                std::uint64_t v;
                (void)!::read(m_wake, &v, sizeof v);
            }
            now = Clock::now();
            std::size_t i = 1;
            for (auto it = m_pending.begin(); it != m_pending.end(); ++i) {
                Pending& p = *it;
                bool keep = true;
                if (fds[i].revents)
                    keep = step(p, fds[i].revents);
                if (keep && now >= p.deadline) {
                    if (p.stage == Stage::Drain) {
                        finish(p);
                    } else {
                        sendRefusal(
                            p.fd, answer(RequestHead { p.peer, {}, {}, {} }, 408, "request not complete in time"));
                        finish(p);
                    }
                    keep = false;
                }
                it = keep ? std::next(it) : m_pending.erase(it);
            }
        }
    }

    const GateLimits m_limits;
    const int m_wake;
    httplib::ThreadPool m_workers;
    std::thread m_thread;
    std::atomic<bool> m_stopping { false };
    std::mutex m_mutex;
    std::vector<Pending> m_incoming;
    std::list<Pending> m_pending;
    std::mutex m_countMutex;
    std::map<std::string, unsigned> m_open;
};

namespace {

// A socket as httplib's request reader sees it, with a small read buffer.
class SocketStream : public httplib::Stream {
public:
    SocketStream(int fd, int timeoutMs)
        : m_fd(fd)
        , m_timeoutMs(timeoutMs)
    {
    }
    bool is_readable() const override { return m_pos < m_len || wait(POLLIN); }
    bool is_writable() const override { return wait(POLLOUT); }
    ssize_t read(char* ptr, size_t size) override
    {
        if (m_pos == m_len) {
            if (!wait(POLLIN))
                return -1;
            const ssize_t n = ::recv(m_fd, m_buf, sizeof m_buf, 0);
            if (n <= 0)
                return n;
            m_pos = 0;
            m_len = std::size_t(n);
        }
        const std::size_t n = std::min(size, m_len - m_pos);
        std::memcpy(ptr, m_buf + m_pos, n);
        m_pos += n;
        return ssize_t(n);
    }
    ssize_t write(const char* ptr, size_t size) override
    {
        if (!wait(POLLOUT))
            return -1;
        return ::send(m_fd, ptr, size, MSG_NOSIGNAL);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        ip = peerAddress(m_fd);
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return m_fd; }

private:
    bool wait(short events) const
    {
        pollfd p { m_fd, events, 0 };
        return ::poll(&p, 1, m_timeoutMs) > 0 && (p.revents & (events | POLLHUP));
    }
    int m_fd;
    int m_timeoutMs;
    char m_buf[4096];
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
};

} // namespace

bool GatedServer::process_and_close_socket(socket_t sock)
{
    gateAdmit(*m_gate, sock, [this](int s) { serveOne(s); });
    return true;
}

void GatedServer::serveOne(int sock)
{
    {
        // The whole request is already buffered; the time-out only bounds writing the answer.
        SocketStream stream(sock, 10000);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
}

void gateAdmit(Gate& gate, int sock, std::function<void(int)> serve)
{
    gate.admit(sock, std::move(serve));
}

std::shared_ptr<Gate> installGate(GatedServer& server, GateLimits limits)
{
    auto gate = std::make_shared<Gate>(std::move(limits));
    server.new_task_queue = [] { return new InlineQueue; };
    // One request per connection, so each one passes the gate.
    server.set_keep_alive_max_count(1);
    server.setGate(gate);
    return gate;
}

} // namespace zq::peers
