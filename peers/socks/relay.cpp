#include "relay.h"

#include "engine.h"

#include <atomic>

namespace zq::socks {

using namespace detail;

namespace {
// Reaches host:port, resolving names on this thread's context.
Task<std::error_code> connectTo(Session& s, const std::string& host, std::uint16_t port)
{
    std::error_code ec;
    const auto addr = asio::ip::make_address(host, ec);
    if (!ec) {
        auto [cec] = co_await s.upstream.async_connect(tcp::endpoint(addr, port), nothrow);
        co_return cec;
    }
    Resolver resolver(s.upstream.get_executor());
    auto [rec, results] = co_await resolver.async_resolve(host, std::to_string(port), nothrow);
    if (rec)
        co_return rec;
    // Closing the session does not cancel a lookup; connecting would open the socket again.
    if (s.closed)
        co_return asio::error::operation_aborted;
    auto [cec, ep] = co_await asio::async_connect(s.upstream, results, nothrow);
    co_return cec;
}

// The upstream's connect, greeting and credentials, run while the client is still greeting us.
struct UpstreamPrep {
    explicit UpstreamPrep(Executor ex)
        : ready(ex, Timer::time_point::max())
    {
    }
    HandshakeBuffer hb;
    Timer ready; // cancelled once `result` is known
    bool done = false;
    Reply result = Reply::GeneralFailure;
};

// Ends the session when a handshake gives up early, so a prepared upstream goes with it.
struct CloseUnlessKept {
    Session& s;
    bool keep = false;
    ~CloseUnlessKept()
    {
        if (!keep)
            s.close();
    }
};

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
    // Client side towards the upstream: each step waits for its answer before the next is sent
    // (some servers read one message per receive). Connects and authenticates; the request
    // follows once the client has sent its own.
    Task<void> prepareUpstream(
        std::shared_ptr<Session> s, std::shared_ptr<const Route> route, std::shared_ptr<UpstreamPrep> prep);
    // Returns Succeeded with the upstream's own reply in `answer`, or the reply for our client.
    Task<Reply> requestUpstream(Session& s, const Request& req, HandshakeBuffer& hb, std::string& answer);

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
    // The upstream is reached at once: its round trips overlap the client's instead of
    // following them.
    std::shared_ptr<UpstreamPrep> prep;
    if (route) {
        prep = std::make_shared<UpstreamPrep>(s->worker.ctx.get_executor());
        asio::co_spawn(s->worker.ctx, prepareUpstream(s, route, prep), asio::detached);
    }
    CloseUnlessKept guard { *s };

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
    hb.reset();

    s->setDeadline(engine.timeouts().connect);
    s->connecting = true;
    if (!prep->done)
        co_await prep->ready.async_wait(nothrow);
    std::string answer;
    Reply rep = prep->result;
    if (rep == Reply::Succeeded && !s->closed)
        rep = co_await requestUpstream(*s, req, prep->hb, answer);
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
    answer += prep->hb.rest();
    prep.reset();
    if (!co_await writeAll(s->client, std::move(answer)) || !co_await writeAll(s->upstream, std::move(toUpstream)))
        co_return;
    if (s->closed)
        co_return;
    guard.keep = true;
    startRelaying(std::move(s));
}

Task<void> Relay::Impl::prepareUpstream(
    std::shared_ptr<Session> s, std::shared_ptr<const Route> route, std::shared_ptr<UpstreamPrep> prep)
{
    auto finish = [&](Reply r) {
        prep->result = r;
        prep->done = true;
        prep->ready.cancel();
    };
    const std::error_code ec = co_await connectTo(*s, route->upstreamHost, route->upstreamPort);
    if (ec || s->closed)
        co_return finish(Reply::GeneralFailure);
    tune(s->upstream);

    const bool credentials = !route->username.empty() || !route->password.empty();
    if (!co_await writeAll(s->upstream, makeGreeting(credentials)))
        co_return finish(Reply::GeneralFailure);
    std::uint8_t chosen = method::kNoAcceptable;
    if (co_await readMessage(s->upstream, prep->hb,
            [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                return parseMethodReply(d, n, used, chosen);
            })
        != Parse::Good)
        co_return finish(Reply::GeneralFailure);

    if (chosen == method::kUserPass && credentials) {
        std::string auth = makeAuth(route->username, route->password);
        if (auth.empty() || !co_await writeAll(s->upstream, std::move(auth)))
            co_return finish(Reply::GeneralFailure);
        std::uint8_t status = 0xff;
        if (co_await readMessage(s->upstream, prep->hb,
                [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                    return parseAuthReply(d, n, used, status);
                })
            != Parse::Good)
            co_return finish(Reply::GeneralFailure);
        if (status != 0)
            co_return finish(Reply::NotAllowed);
    } else if (chosen != method::kNoAuth) {
        co_return finish(Reply::NotAllowed);
    }
    finish(Reply::Succeeded);
}

Task<Reply> Relay::Impl::requestUpstream(Session& s, const Request& req, HandshakeBuffer& hb, std::string& answer)
{
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
