#include "relay.h"

#include "engine.h"

#include <atomic>

namespace zq::socks {

using namespace detail;

namespace {
// Reaches host:port, resolving names on this thread's context.
Task<std::error_code> connectTo(Socket& sock, const std::string& host, std::uint16_t port)
{
    std::error_code ec;
    const auto addr = asio::ip::make_address(host, ec);
    if (!ec) {
        auto [cec] = co_await sock.async_connect(tcp::endpoint(addr, port), nothrow);
        co_return cec;
    }
    Resolver resolver(sock.get_executor());
    auto [rec, results] = co_await resolver.async_resolve(host, std::to_string(port), nothrow);
    if (rec)
        co_return rec;
    auto [cec, ep] = co_await asio::async_connect(sock, results, nothrow);
    co_return cec;
}

Reply upstreamReply(std::uint8_t rep)
{
    return rep >= 0x01 && rep <= 0x08 ? static_cast<Reply>(rep) : Reply::GeneralFailure;
}
} // namespace

struct Relay::Impl {
    explicit Impl(unsigned threads)
        : engine(threads, [this](std::shared_ptr<Session> s) { return serve(std::move(s)); })
    {
    }

    Task<void> serve(std::shared_ptr<Session> s);
    // Client side towards the upstream: each step waits for its answer before the next is sent.
    // Returns Succeeded with the upstream's own reply in `answer`, or the reply for our client.
    Task<Reply> handshakeUpstream(
        Session& s, const Route& route, const Request& req, HandshakeBuffer& hb, std::string& answer);

    std::atomic<std::shared_ptr<const RouteTable>> routes { std::make_shared<const RouteTable>() };
    Engine engine; // last: stopped before the routes go
};

Task<void> Relay::Impl::serve(std::shared_ptr<Session> s)
{
    // The table is read once per connection; a later setRoutes affects only new connections.
    std::shared_ptr<const Route> route;
    if (auto table = routes.load(); table) {
        auto it = table->find(s->port);
        if (it != table->end())
            route = it->second;
    }

    auto hb = std::make_unique<HandshakeBuffer>();
    Greeting greeting;
    Parse r = co_await readMessage(s->client, *hb,
        [&](const std::uint8_t* d, std::size_t n, std::size_t& used) { return parseGreeting(d, n, used, greeting); });
    if (r != Parse::Good)
        co_return;
    if (!greeting.noAuth) {
        co_await writeAll(s->client, makeMethodChoice(method::kNoAcceptable));
        co_return;
    }
    if (!co_await writeAll(s->client, makeMethodChoice(method::kNoAuth)))
        co_return;

    Request req;
    Reply error = Reply::Succeeded;
    r = co_await readMessage(s->client, *hb,
        [&](const std::uint8_t* d, std::size_t n, std::size_t& used) { return parseRequest(d, n, used, req, error); });
    if (r == Parse::Bad && error != Reply::Succeeded)
        co_await writeAll(s->client, makeReply(error));
    if (r != Parse::Good)
        co_return;
    if (!route) {
        co_await writeAll(s->client, makeReply(Reply::NotAllowed));
        co_return;
    }
    if (req.command != static_cast<std::uint8_t>(Command::Connect)) {
        co_await writeAll(s->client, makeReply(Reply::CommandNotSupported));
        co_return;
    }
    // Bytes the client sent ahead of our answer go to the upstream once it is ready.
    std::string toUpstream = hb->rest();
    hb->begin = hb->end = 0;

    s->setDeadline(engine.timeouts().connect);
    s->connecting = true;
    std::string answer;
    Reply rep = co_await handshakeUpstream(*s, *route, req, *hb, answer);
    s->connecting = false;
    if (s->timedOut)
        rep = Reply::TtlExpired;
    if (s->closed)
        co_return;
    if (rep != Reply::Succeeded) {
        co_await writeAll(s->client, makeReply(rep));
        co_return;
    }
    // The upstream's reply (its bound address) goes to the client as is, then any early bytes.
    answer += hb->rest();
    hb.reset();
    if (!co_await writeAll(s->client, std::move(answer)) || !co_await writeAll(s->upstream, std::move(toUpstream)))
        co_return;
    if (s->closed)
        co_return;
    startRelaying(std::move(s));
}

Task<Reply> Relay::Impl::handshakeUpstream(
    Session& s, const Route& route, const Request& req, HandshakeBuffer& hb, std::string& answer)
{
    const std::error_code ec = co_await connectTo(s.upstream, route.upstreamHost, route.upstreamPort);
    if (ec || s.closed)
        co_return Reply::GeneralFailure;
    tune(s.upstream);

    const bool credentials = !route.username.empty() || !route.password.empty();
    if (!co_await writeAll(s.upstream, makeGreeting(credentials)))
        co_return Reply::GeneralFailure;
    std::uint8_t chosen = method::kNoAcceptable;
    if (co_await readMessage(s.upstream, hb,
            [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                return parseMethodReply(d, n, used, chosen);
            })
        != Parse::Good)
        co_return Reply::GeneralFailure;

    if (chosen == method::kUserPass && credentials) {
        std::string auth = makeAuth(route.username, route.password);
        if (auth.empty() || !co_await writeAll(s.upstream, std::move(auth)))
            co_return Reply::GeneralFailure;
        std::uint8_t status = 0xff;
        if (co_await readMessage(s.upstream, hb,
                [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                    return parseAuthReply(d, n, used, status);
                })
            != Parse::Good)
            co_return Reply::GeneralFailure;
        if (status != 0)
            co_return Reply::NotAllowed;
    } else if (chosen != method::kNoAuth) {
        co_return Reply::NotAllowed;
    }

    if (!co_await writeAll(s.upstream, makeRequest(req)))
        co_return Reply::GeneralFailure;
    std::uint8_t rep = 0xff;
    if (co_await readMessage(s.upstream, hb,
            [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                const Parse p = parseReply(d, n, used, rep);
                if (p == Parse::Good)
                    answer.assign(reinterpret_cast<const char*>(d), used);
                return p;
            })
        != Parse::Good)
        co_return Reply::GeneralFailure;
    co_return rep == 0 ? Reply::Succeeded : upstreamReply(rep);
}

Relay::Relay(unsigned threads)
    : m_impl(std::make_unique<Impl>(threads))
{
}

Relay::~Relay() = default;

std::vector<std::uint16_t> Relay::listen(const std::string& host, const std::vector<std::uint16_t>& ports)
{
    std::vector<std::uint16_t> failed;
    for (auto port : ports) {
        if (listenOne(host, port) == 0)
            failed.push_back(port);
    }
    return failed;
}

std::uint16_t Relay::listenOne(const std::string& host, std::uint16_t port)
{
    std::error_code ec;
    return m_impl->engine.listen(host, port, ec);
}

void Relay::closeListeners()
{
    m_impl->engine.closeListeners();
    m_impl->engine.closeConnections(nullptr);
}

void Relay::setRoutes(std::shared_ptr<const RouteTable> table)
{
    if (!table)
        table = std::make_shared<const RouteTable>();
    m_impl->routes.store(std::move(table));
}

std::shared_ptr<const RouteTable> Relay::routes() const
{
    return m_impl->routes.load();
}

void Relay::closeConnections(const std::vector<std::uint16_t>& ports)
{
    m_impl->engine.closeConnections(&ports);
}

void Relay::setTimeouts(const Timeouts& timeouts)
{
    m_impl->engine.setTimeouts(timeouts);
}

void Relay::start()
{
    m_impl->engine.start();
}

void Relay::stop()
{
    m_impl->engine.stop();
}

std::size_t Relay::connectionCount() const
{
    return m_impl->engine.connectionCount();
}

} // namespace zq::socks
