#pragma once
// Blocking loopback sockets for the SOCKS5 tests: small servers on threads, a raw SOCKS5 client
// and a child process helper. Every receive has a time limit so a fault fails instead of hanging.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace testnet {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    Fd(Fd&& o) noexcept
        : m_fd(o.release())
    {
    }
    Fd& operator=(Fd&& o) noexcept
    {
        reset(o.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

inline sockaddr_storage endpoint(const std::string& host, uint16_t port, socklen_t& len)
{
    sockaddr_storage ss {};
    if (host.find(':') != std::string::npos) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
        len = sizeof(sockaddr_in6);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        inet_pton(AF_INET, host.c_str(), &a->sin_addr);
        len = sizeof(sockaddr_in);
    }
    return ss;
}

inline void setTimeout(int fd, int ms)
{
    timeval tv { ms / 1000, (ms % 1000) * 1000 };
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

inline Fd connectTo(const std::string& host, uint16_t port)
{
    socklen_t len = 0;
    auto ss = endpoint(host, port, len);
    Fd fd(::socket(ss.ss_family, SOCK_STREAM, 0));
    setTimeout(fd.get(), 5000);
    int one = 1;
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&ss), len) != 0)
        return Fd();
    return fd;
}

inline bool sendAll(int fd, const std::string& data)
{
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += size_t(n);
    }
    return true;
}

// Up to n bytes; fewer when the peer closed or the time limit struck.
inline std::string recvExactly(int fd, size_t n)
{
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd, out.data() + got, n - got, 0);
        if (r <= 0)
            break;
        got += size_t(r);
    }
    out.resize(got);
    return out;
}

inline std::string recvLine(int fd)
{
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
        line.push_back(c);
    return line;
}

// Everything until the peer closes (or resets) the connection; false on time-out.
inline bool recvUntilClosed(int fd, std::string* data = nullptr)
{
    char buf[65536];
    for (;;) {
        ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r == 0 || (r < 0 && errno == ECONNRESET))
            return true;
        if (r < 0)
            return false;
        if (data)
            data->append(buf, size_t(r));
    }
}

// A TCP server on its own threads, one per connection.
class Server {
public:
    using Handler = std::function<void(int fd, const std::string& peer)>;
    Server(const std::string& host, Handler handler)
        : m_handler(std::move(handler))
    {
        socklen_t len = 0;
        auto ss = endpoint(host, 0, len);
        m_listen.reset(::socket(ss.ss_family, SOCK_STREAM, 0));
        int one = 1;
        setsockopt(m_listen.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(m_listen.get(), reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(m_listen.get(), 128) != 0)
            return;
        getsockname(m_listen.get(), reinterpret_cast<sockaddr*>(&ss), &len);
        m_port = ntohs(ss.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
        m_thread = std::thread([this] { acceptLoop(); });
    }
    ~Server()
    {
        m_stop = true;
        ::shutdown(m_listen.get(), SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        {
            std::lock_guard lock(m_mutex);
            for (int fd : m_open)
                ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : m_workers)
            t.join();
    }
    uint16_t port() const { return m_port; }

private:
    void acceptLoop()
    {
        for (;;) {
            sockaddr_storage ss {};
            socklen_t len = sizeof ss;
            int fd = ::accept(m_listen.get(), reinterpret_cast<sockaddr*>(&ss), &len);
            if (fd < 0 || m_stop) {
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            char host[INET6_ADDRSTRLEN] = {};
            getnameinfo(reinterpret_cast<sockaddr*>(&ss), len, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
            setTimeout(fd, 5000);
            std::lock_guard lock(m_mutex);
            m_open.push_back(fd);
            m_workers.emplace_back([this, fd, peer = std::string(host)] {
                m_handler(fd, peer);
                std::lock_guard lock(m_mutex);
                m_open.erase(std::find(m_open.begin(), m_open.end(), fd));
                ::close(fd);
            });
        }
    }

    Handler m_handler;
    Fd m_listen;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<int> m_open;
    std::vector<std::thread> m_workers;
};

inline uint16_t freePort()
{
    Server probe("127.0.0.1", [](int, const std::string&) {});
    return probe.port();
}

// SOCKS5 addresses in wire form (ATYP..PORT).
inline std::string portBytes(uint16_t port)
{
    return std::string { char(port >> 8), char(port & 0xff) };
}
inline std::string wireV4(const std::string& ip, uint16_t port)
{
    in_addr a {};
    inet_pton(AF_INET, ip.c_str(), &a);
    return std::string(1, '\x01') + std::string(reinterpret_cast<char*>(&a), 4) + portBytes(port);
}
inline std::string wireV6(const std::string& ip, uint16_t port)
{
    in6_addr a {};
    inet_pton(AF_INET6, ip.c_str(), &a);
    return std::string(1, '\x04') + std::string(reinterpret_cast<char*>(&a), 16) + portBytes(port);
}
inline std::string wireDomain(const std::string& name, uint16_t port)
{
    return std::string(1, '\x03') + char(name.size()) + name + portBytes(port);
}

// Reads one CONNECT reply; returns REP, or -1 when the server closed first. `bound` gets ATYP..PORT.
inline int readReply(int fd, std::string* bound = nullptr)
{
    std::string head = recvExactly(fd, 4);
    if (head.size() < 4 || head[0] != 5)
        return -1;
    size_t addr = head[3] == 1 ? 4 : head[3] == 4 ? 16 : 0;
    if (head[3] == 3)
        addr = uint8_t(recvExactly(fd, 1)[0]);
    std::string rest = recvExactly(fd, addr + 2);
    if (bound)
        *bound = head.substr(3) + rest;
    return uint8_t(head[1]);
}

// Greeting (no auth, or username/password when `user` is given) and CONNECT; returns REP or -1.
inline int socksConnect(int fd, const std::string& wire, const std::string* user = nullptr,
    const std::string* pass = nullptr, std::string* bound = nullptr)
{
    if (!sendAll(fd, user ? std::string("\x05\x01\x02", 3) : std::string("\x05\x01\x00", 3)))
        return -1;
    std::string choice = recvExactly(fd, 2);
    if (choice.size() < 2 || choice[1] != (user ? 2 : 0))
        return -1;
    if (user) {
        sendAll(fd, std::string(1, '\x01') + char(user->size()) + *user + char(pass->size()) + *pass);
        std::string status = recvExactly(fd, 2);
        if (status.size() < 2 || status[1] != 0)
            return -1;
    }
    sendAll(fd, std::string("\x05\x01\x00", 3) + wire);
    return readReply(fd, bound);
}

// A child program, stopped with SIGTERM when this goes.
class Process {
public:
    explicit Process(std::vector<std::string> argv)
    {
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    bool running() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

// Waits until something accepts on host:port.
inline bool waitListening(const std::string& host, uint16_t port)
{
    for (int i = 0; i < 200; ++i) {
        if (connectTo(host, port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace testnet
