// Load client and target of the relay benchmark.
//
//   relay-bench-load target HOST:PORT                 prints "listening PORT", runs until stdin closes
//   relay-bench-load bulk VIA TARGET up|down SECONDS  prints "MB/s X"
//   relay-bench-load rate VIA TARGET CONNS PARALLEL   prints "conn/s X"
//   relay-bench-load hold VIA TARGET CONNS BYTES      prints "held N" then holds until stdin closes
//   relay-bench-load ttfb VIA TARGET COUNT GAP_MS     prints "ttfb_ms P50 P99 MAX" over COUNT
//       requests one after another, GAP_MS apart: from connect() to the first byte of the answer
//       to a short request, handshakes included
//
// VIA: "direct", "socks:HOST:PORT" (no auth, CONNECT target), "auth:HOST:PORT:USER:PASS"
// (username/password, CONNECT target), or "chain:HOST:PORT:UPHOST:UPPORT:USER:PASS" (no-auth
// CONNECT to the upstream through HOST:PORT, then username/password SOCKS5 to the target through
// the tunnel).
// The target reads one mode byte per connection: 'S' sinks, 'G' sends without end, 'E' echoes.

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;
constexpr auto nothrow = asio::experimental::as_tuple(asio::use_awaitable);
// Large enough that per-call costs stay small next to the copying, for every path alike.
constexpr std::size_t kChunk = 256 * 1024;

struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string part;
    while (std::getline(ss, part, sep))
        out.push_back(part);
    return out;
}

HostPort hostPort(const std::string& s)
{
    const auto colon = s.rfind(':');
    return { s.substr(0, colon), static_cast<std::uint16_t>(std::stoul(s.substr(colon + 1))) };
}

struct Via {
    enum Kind { Direct, Socks, Auth, Chain } kind = Direct;
    HostPort proxy, upstream;
    std::string user, pass;
};

Via parseVia(const std::string& s)
{
    Via v;
    const auto f = split(s, ':');
    if (f[0] == "socks" && f.size() == 3) {
        v.kind = Via::Socks;
        v.proxy = { f[1], static_cast<std::uint16_t>(std::stoul(f[2])) };
    } else if (f[0] == "auth" && f.size() == 5) {
        v.kind = Via::Auth;
        v.proxy = { f[1], static_cast<std::uint16_t>(std::stoul(f[2])) };
        v.user = f[3];
        v.pass = f[4];
    } else if (f[0] == "chain" && f.size() == 7) {
        v.kind = Via::Chain;
        v.proxy = { f[1], static_cast<std::uint16_t>(std::stoul(f[2])) };
        v.upstream = { f[3], static_cast<std::uint16_t>(std::stoul(f[4])) };
        v.user = f[5];
        v.pass = f[6];
    }
    return v;
}

void raiseDescriptorLimit()
{
    rlimit lim {};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
}

// ---- blocking client

bool sendAll(int fd, const void* data, std::size_t n)
{
    auto p = static_cast<const char*>(data);
    while (n) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

bool sendAll(int fd, const std::string& s)
{
    return sendAll(fd, s.data(), s.size());
}

bool recvAll(int fd, void* data, std::size_t n)
{
    auto p = static_cast<char*>(data);
    while (n) {
        const ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0)
            return false;
        p += r;
        n -= std::size_t(r);
    }
    return true;
}

std::string connectRequest(const HostPort& t)
{
    in_addr a {};
    inet_pton(AF_INET, t.host.c_str(), &a);
    std::string r("\x05\x01\x00\x01", 4);
    r.append(reinterpret_cast<const char*>(&a), 4);
    r.push_back(char(t.port >> 8));
    r.push_back(char(t.port & 0xff));
    return r;
}

bool readReply(int fd)
{
    unsigned char head[4];
    if (!recvAll(fd, head, 4) || head[1] != 0)
        return false;
    std::size_t rest = head[3] == 1 ? 6 : head[3] == 4 ? 18 : 0;
    if (head[3] == 3) {
        unsigned char len;
        if (!recvAll(fd, &len, 1))
            return false;
        rest = len + 2u;
    }
    char buf[300];
    return recvAll(fd, buf, rest);
}

bool socks(int fd, const HostPort& target, const std::string* user, const std::string* pass)
{
    unsigned char choice[2];
    if (!sendAll(fd, user ? std::string("\x05\x01\x02", 3) : std::string("\x05\x01\x00", 3)) || !recvAll(fd, choice, 2)
        || choice[1] != (user ? 2 : 0))
        return false;
    if (user) {
        std::string auth(1, '\x01');
        auth += char(user->size()) + *user + char(pass->size()) + *pass;
        if (!sendAll(fd, auth) || !recvAll(fd, choice, 2) || choice[1] != 0)
            return false;
    }
    return sendAll(fd, connectRequest(target)) && readReply(fd);
}

int openVia(const Via& via, const HostPort& target)
{
    const HostPort& first = via.kind == Via::Direct ? target : via.proxy;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(first.port);
    inet_pton(AF_INET, first.host.c_str(), &sa.sin_addr);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (ok && via.kind == Via::Socks)
        ok = socks(fd, target, nullptr, nullptr);
    if (ok && via.kind == Via::Auth)
        ok = socks(fd, target, &via.user, &via.pass);
    if (ok && via.kind == Via::Chain)
        ok = socks(fd, via.upstream, nullptr, nullptr) && socks(fd, target, &via.user, &via.pass);
    if (!ok) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int bulk(const Via& via, const HostPort& target, bool up, double seconds)
{
    const int fd = openVia(via, target);
    if (fd < 0 || !sendAll(fd, up ? "S" : "G", 1)) {
        std::cerr << "cannot open the bulk stream\n";
        return 1;
    }
    std::vector<char> buf(kChunk, 'b');
    std::uint64_t bytes = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    auto now = start;
    while ((now = Clock::now()) < end) {
        const ssize_t n = up ? ::send(fd, buf.data(), buf.size(), MSG_NOSIGNAL) : ::recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) {
            std::cerr << "bulk stream ended early\n";
            return 1;
        }
        bytes += std::uint64_t(n);
    }
    const double secs = std::chrono::duration<double>(now - start).count();
    linger lg { 1, 0 };
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(fd);
    std::cout << "MB/s " << bytes / secs / 1e6 << std::endl;
    return 0;
}

int rate(const Via& via, const HostPort& target, int conns, int parallel)
{
    std::atomic<int> next { 0 }, failed { 0 };
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < parallel; ++t) {
        threads.emplace_back([&] {
            while (next.fetch_add(1) < conns) {
                const int fd = openVia(via, target);
                char c = 0;
                if (fd < 0 || !sendAll(fd, "Ex", 2) || !recvAll(fd, &c, 1))
                    ++failed;
                if (fd >= 0) {
                    linger lg { 1, 0 };
                    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
                    ::close(fd);
                }
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    std::cout << "conn/s " << conns / secs << " failed " << failed << std::endl;
    return failed ? 1 : 0;
}

int hold(const Via& via, const HostPort& target, int conns, std::size_t bytes)
{
    raiseDescriptorLimit();
    std::vector<int> fds;
    std::string payload = "E" + std::string(bytes, 'h');
    std::vector<char> back(bytes);
    for (int i = 0; i < conns; ++i) {
        const int fd = openVia(via, target);
        // Send and read back in pieces so neither side's socket buffers have to hold it all.
        bool ok = fd >= 0 && sendAll(fd, "E", 1);
        for (std::size_t off = 0; ok && off < bytes; off += 16384) {
            const std::size_t n = std::min<std::size_t>(16384, bytes - off);
            ok = sendAll(fd, payload.data() + 1 + off, n) && recvAll(fd, back.data(), n);
        }
        if (!ok) {
            std::cerr << "connection " << i << " failed\n";
            if (fd >= 0)
                ::close(fd);
            break;
        }
        fds.push_back(fd);
    }
    std::cout << "held " << fds.size() << std::endl;
    char c[64];
    while (::read(0, c, sizeof c) > 0) { }
    for (int fd : fds)
        ::close(fd);
    return fds.size() == std::size_t(conns) ? 0 : 1;
}

int ttfb(const Via& via, const HostPort& target, int count, int gapMs)
{
    std::vector<double> ms;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        const int fd = openVia(via, target);
        char c = 0;
        const bool ok = fd >= 0 && sendAll(fd, "Ex", 2) && recvAll(fd, &c, 1);
        const auto end = Clock::now();
        if (ok)
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        else
            ++failed;
        if (fd >= 0)
            ::close(fd);
        if (gapMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    }
    if (ms.empty()) {
        std::cout << "ttfb_ms - - - failed " << failed << std::endl;
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size() - 1) + 0.5))]; };
    std::cout << "ttfb_ms " << at(0.5) << " " << at(0.99) << " " << ms.back() << " failed " << failed << std::endl;
    return failed ? 1 : 0;
}

// ---- target

asio::awaitable<void> serveTarget(tcp::socket s, std::uint8_t* buf)
{
    std::uint8_t mode = 0;
    auto [ec, n] = co_await asio::async_read(s, asio::buffer(&mode, 1), nothrow);
    if (ec)
        co_return;
    s.non_blocking(true, ec);
    // Sink and source move data until the socket would block, then wait: one wake-up per
    // buffer-full rather than per chunk.
    if (mode == 'G') {
        static const std::vector<char> source(kChunk, 'g');
        for (;;) {
            s.write_some(asio::buffer(source), ec);
            if (ec == asio::error::would_block) {
                auto [wec] = co_await s.async_wait(tcp::socket::wait_write, nothrow);
                if (wec)
                    co_return;
            } else if (ec) {
                co_return;
            }
        }
    }
    for (;;) {
        const std::size_t got = s.read_some(asio::buffer(buf, kChunk), ec);
        if (ec == asio::error::would_block) {
            auto [wec] = co_await s.async_wait(tcp::socket::wait_read, nothrow);
            if (wec)
                co_return;
            continue;
        }
        if (ec)
            co_return;
        if (mode == 'E') {
            std::string copy(reinterpret_cast<char*>(buf), got);
            auto [e2, w] = co_await asio::async_write(s, asio::buffer(copy), nothrow);
            if (e2)
                co_return;
        }
    }
}

int target(const HostPort& at)
{
    raiseDescriptorLimit();
    asio::io_context ctx(1);
    tcp::acceptor acceptor(ctx, tcp::endpoint(asio::ip::make_address(at.host), at.port));
    acceptor.listen(4096);
    static std::uint8_t buffer[kChunk];
    asio::co_spawn(
        ctx,
        [&]() -> asio::awaitable<void> {
            for (;;) {
                auto [ec, s] = co_await acceptor.async_accept(nothrow);
                if (ec) {
                    if (ec == asio::error::operation_aborted)
                        co_return;
                    // Out of descriptors: wait instead of spinning.
                    asio::steady_timer t(ctx, std::chrono::milliseconds(50));
                    co_await t.async_wait(nothrow);
                    continue;
                }
                s.set_option(tcp::no_delay(true));
                asio::co_spawn(ctx, serveTarget(std::move(s), buffer), asio::detached);
            }
        },
        asio::detached);
    std::cout << "listening " << acceptor.local_endpoint().port() << std::endl;
    std::thread watcher([&] {
        char c[64];
        while (::read(0, c, sizeof c) > 0) { }
        asio::post(ctx, [&] { ctx.stop(); });
    });
    ctx.run();
    watcher.join();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 2 && a[0] == "target")
        return target(hostPort(a[1]));
    if (a.size() == 5 && a[0] == "bulk")
        return bulk(parseVia(a[1]), hostPort(a[2]), a[3] == "up", std::stod(a[4]));
    if (a.size() == 5 && a[0] == "rate")
        return rate(parseVia(a[1]), hostPort(a[2]), std::stoi(a[3]), std::stoi(a[4]));
    if (a.size() == 5 && a[0] == "ttfb")
        return ttfb(parseVia(a[1]), hostPort(a[2]), std::stoi(a[3]), std::stoi(a[4]));
    if (a.size() == 5 && a[0] == "hold")
        return hold(parseVia(a[1]), hostPort(a[2]), std::stoi(a[3]), std::stoul(a[4]));
    std::cerr << "usage: see the head of relay-bench-load.cpp\n";
    return 2;
}
