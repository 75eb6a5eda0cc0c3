// A far link for the relay benchmark: a TCP forwarder that holds every chunk ONE_WAY_MS in each
// direction, keeping order, and holds a new connection's first bytes towards the upstream one
// round trip more, standing for the TCP handshake over the same distance. Prints "listening PORT"
// once ready; runs until standard input closes.
//
//   relay-bench-delay HOST:PORT UPSTREAM_HOST:UPSTREAM_PORT ONE_WAY_MS

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include <chrono>
#include <deque>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
constexpr auto nothrow = asio::experimental::as_tuple(asio::use_awaitable);

struct HostPort {
    std::string host;
    std::uint16_t port = 0;
};

HostPort hostPort(const std::string& s)
{
    const auto colon = s.rfind(':');
    return { s.substr(0, colon), static_cast<std::uint16_t>(std::stoul(s.substr(colon + 1))) };
}

// One direction of one connection: chunks wait in order until their time has come.
struct Direction {
    explicit Direction(asio::io_context& ctx)
        : wake(ctx)
    {
    }
    struct Chunk {
        Clock::time_point due;
        std::string bytes; // empty: end of stream
    };
    std::deque<Chunk> queue;
    asio::steady_timer wake;
    Clock::time_point lastDue;
};

struct Link {
    Link(asio::io_context& ctx, tcp::socket c)
        : client(std::move(c))
        , upstream(ctx)
        , up(ctx)
        , down(ctx)
    {
    }
    void close()
    {
        std::error_code ec;
        client.close(ec);
        upstream.close(ec);
        up.wake.cancel();
        down.wake.cancel();
    }
    tcp::socket client;
    tcp::socket upstream;
    Direction up, down;
    Clock::time_point opened = Clock::now();
};

asio::awaitable<void> reader(
    std::shared_ptr<Link> link, tcp::socket& from, Direction& d, Clock::duration delay, Clock::duration firstExtra)
{
    std::string buf(64 * 1024, '\0');
    bool first = true;
    for (;;) {
        auto [ec, n] = co_await from.async_read_some(asio::buffer(buf), nothrow);
        Clock::time_point due = Clock::now() + delay;
        if (first && !ec) {
            due += firstExtra;
            first = false;
        }
        due = std::max(due, d.lastDue); // order is kept
        d.lastDue = due;
        const bool wasEmpty = d.queue.empty();
        d.queue.push_back({ due, ec ? std::string() : buf.substr(0, n) });
        if (wasEmpty)
            d.wake.cancel();
        if (ec)
            co_return;
    }
}

asio::awaitable<void> writer(std::shared_ptr<Link> link, tcp::socket& to, Direction& d)
{
    for (;;) {
        d.wake.expires_at(d.queue.empty() ? Clock::time_point::max() : d.queue.front().due);
        co_await d.wake.async_wait(nothrow);
        if (!to.is_open())
            co_return;
        if (d.queue.empty() || d.queue.front().due > Clock::now())
            continue;
        Direction::Chunk c = std::move(d.queue.front());
        d.queue.pop_front();
        if (c.bytes.empty()) {
            std::error_code ec;
            to.shutdown(tcp::socket::shutdown_send, ec);
            co_return;
        }
        auto [ec, n] = co_await asio::async_write(to, asio::buffer(c.bytes), nothrow);
        if (ec) {
            link->close();
            co_return;
        }
    }
}

asio::awaitable<void> serve(tcp::socket client, tcp::endpoint upstream, Clock::duration delay)
{
    auto& ctx = static_cast<asio::io_context&>(client.get_executor().context());
    auto link = std::make_shared<Link>(ctx, std::move(client));
    auto [ec] = co_await link->upstream.async_connect(upstream, nothrow);
    if (ec) {
        link->close();
        co_return;
    }
    link->client.set_option(tcp::no_delay(true));
    link->upstream.set_option(tcp::no_delay(true));
    asio::co_spawn(ctx, reader(link, link->client, link->up, delay, 2 * delay), asio::detached);
    asio::co_spawn(ctx, writer(link, link->upstream, link->up), asio::detached);
    asio::co_spawn(ctx, reader(link, link->upstream, link->down, delay, {}), asio::detached);
    asio::co_spawn(ctx, writer(link, link->client, link->down), asio::detached);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: relay-bench-delay HOST:PORT UPSTREAM_HOST:UPSTREAM_PORT ONE_WAY_MS\n";
        return 2;
    }
    const HostPort at = hostPort(argv[1]);
    const HostPort up = hostPort(argv[2]);
    const auto delay = std::chrono::milliseconds(std::stoi(argv[3]));
    asio::io_context ctx(1);
    tcp::acceptor acceptor(ctx, tcp::endpoint(asio::ip::make_address(at.host), at.port));
    acceptor.listen(4096);
    const tcp::endpoint upstream(asio::ip::make_address(up.host), up.port);
    asio::co_spawn(
        ctx,
        [&]() -> asio::awaitable<void> {
            for (;;) {
                auto [ec, s] = co_await acceptor.async_accept(nothrow);
                if (ec == asio::error::operation_aborted)
                    co_return;
                if (!ec)
                    asio::co_spawn(ctx, serve(std::move(s), upstream, delay), asio::detached);
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
