#include "relay.h"

#include "engine.h"
#include "upstreampool.h"

#include <atomic>

namespace zq::socks {

using namespace detail;

namespace {
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

    ~Impl()
    {
        stopPools();
        engine.stop();
        pools.clear(); // what is left goes with the last handlers, before the threads' contexts
    }

    Task<void> serve(std::shared_ptr<Session> s);
    // Connects and authenticates towards the upstream; the request follows once the client has
    // sent its own.
    Task<void> prepareUpstream(
        std::shared_ptr<Session> s, std::shared_ptr<const Route> route, std::shared_ptr<UpstreamPrep> prep);
    // Returns Succeeded with the upstream's own reply in `answer`, or the reply for our client.
    // `dead`: the upstream closed or failed before answering at all.
    Task<Reply> requestUpstream(Session& s, const Request& req, HandshakeBuffer& hb, std::string& answer, bool& dead);
    void stopPools();
    // Clients of one port are spread over the threads; each thread's pool hears of them all.
    void noteDemandElsewhere(std::size_t self, std::uint16_t port, const std::shared_ptr<const Route>& route);

    std::atomic<std::shared_ptr<const RouteTable>> routes { std::make_shared<const RouteTable>() };
    PoolSettings poolSettings;
    std::vector<std::shared_ptr<UpstreamPools>> pools; // by worker; set up by start()
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
    // A warm upstream connection of this route is taken at once; otherwise the upstream is
    // reached at once, so its round trips overlap the client's instead of following them.
    std::shared_ptr<UpstreamPrep> prep;
    bool pooled = false;
    if (route) {
        prep = std::make_shared<UpstreamPrep>(s->worker.ctx.get_executor());
        noteDemandElsewhere(s->worker.index, s->port, route);
        if (s->worker.index < pools.size() && pools[s->worker.index]->take(s->port, route, s->upstream)) {
            pooled = true;
            prep->done = true;
            prep->result = Reply::Succeeded;
        } else {
            asio::co_spawn(s->worker.ctx, prepareUpstream(s, route, prep), asio::detached);
        }
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
    if (rep == Reply::Succeeded && !s->closed) {
        bool dead = false;
        rep = co_await requestUpstream(*s, req, prep->hb, answer, dead);
        if (dead && pooled && !s->closed && !s->timedOut) {
            // The upstream had given the waiting connection up unseen: a fresh one takes its
            // place, and the client never knows.
            std::error_code ec;
            s->upstream.close(ec);
            prep = std::make_shared<UpstreamPrep>(s->worker.ctx.get_executor());
            co_await prepareUpstream(s, route, prep);
            rep = prep->result;
            if (rep == Reply::Succeeded && !s->closed)
                rep = co_await requestUpstream(*s, req, prep->hb, answer, dead);
        }
    }
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
    const Reply r = co_await openUpstream(s->upstream, *route, prep->hb, s->closed);
    prep->result = s->closed ? Reply::GeneralFailure : r;
    prep->done = true;
    prep->ready.cancel();
}

Task<Reply> Relay::Impl::requestUpstream(
    Session& s, const Request& req, HandshakeBuffer& hb, std::string& answer, bool& dead)
{
    dead = false;
    if (!co_await writeAll(s.upstream, makeRequest(req))) {
        dead = true;
        co_return Reply::GeneralFailure;
    }
    const std::size_t had = hb.end - hb.begin;
    std::uint8_t rep = 0xff;
    const Parse r = co_await readMessage(s.upstream, hb, [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
        const Parse p = parseReply(d, n, used, rep);
        if (p == Parse::Good)
            answer.assign(reinterpret_cast<const char*>(d), used);
        return p;
    });
    if (r != Parse::Good) {
        dead = r == Parse::NeedMore && hb.end - hb.begin == had;
        co_return Reply::GeneralFailure;
    }
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
    m_impl->engine.runOnEach([this](Worker& w) {
        if (w.index < m_impl->pools.size())
            m_impl->pools[w.index]->dropAll();
    });
}

void Relay::setRoutes(std::shared_ptr<const RouteTable> table)
{
    if (!table)
        table = std::make_shared<const RouteTable>();
    m_impl->routes.store(table);
    // After the store: a client accepted from here on sees the new table, and each thread drops
    // the pools the new table no longer backs before it serves anything else.
    m_impl->engine.runOnEach([&](Worker& w) {
        if (w.index < m_impl->pools.size())
            m_impl->pools[w.index]->keepOnly(*table);
    });
}

std::shared_ptr<const RouteTable> Relay::routes() const
{
    return m_impl->routes.load();
}

void Relay::closeConnections(const std::vector<std::uint16_t>& ports)
{
    m_impl->engine.closeConnections(&ports);
    m_impl->engine.runOnEach([&](Worker& w) {
        if (w.index < m_impl->pools.size())
            for (auto port : ports)
                m_impl->pools[w.index]->drop(port);
    });
}

void Relay::setTimeouts(const Timeouts& timeouts)
{
    m_impl->engine.setTimeouts(timeouts);
}

void Relay::setPool(const PoolSettings& pool)
{
    m_impl->poolSettings = pool;
}

void Relay::setMaxConnections(std::size_t n)
{
    m_impl->engine.setMaxSessions(n);
}

void Relay::setPortable(bool on)
{
    m_impl->engine.setPortable(on);
}

bool Relay::portable() const
{
    return m_impl->engine.portable();
}

void Relay::start()
{
    auto& impl = *m_impl;
    if (impl.pools.empty()) {
        const auto n = impl.engine.workerCount();
        for (std::size_t i = 0; i < n; ++i)
            impl.pools.push_back(std::make_shared<UpstreamPools>(
                impl.engine.worker(i), impl.poolSettings, impl.engine.timeouts().connect, unsigned(n)));
        for (auto& p : impl.pools)
            p->start();
    }
    impl.engine.start();
}

void Relay::Impl::noteDemandElsewhere(std::size_t self, std::uint16_t port, const std::shared_ptr<const Route>& route)
{
    for (std::size_t i = 0; i < pools.size(); ++i) {
        if (i == self)
            continue;
        asio::post(engine.worker(i).ctx, [this, i, port, route] {
            // Only for the route still published: a stale one must not start a pool.
            const auto table = routes.load();
            const auto it = table->find(port);
            if (i < pools.size() && it != table->end() && it->second && sameRoute(*it->second, *route))
                pools[i]->noteDemand(port, route);
        });
    }
}

void Relay::Impl::stopPools()
{
    engine.runOnEach([this](Worker& w) {
        if (w.index < pools.size())
            pools[w.index]->stop();
    });
}

void Relay::stop()
{
    m_impl->stopPools();
    m_impl->engine.stop();
}

std::size_t Relay::connectionCount() const
{
    return m_impl->engine.connectionCount();
}

std::size_t Relay::pooledCount() const
{
    std::atomic<std::size_t> n { 0 };
    m_impl->engine.runOnEach([&](Worker& w) {
        if (w.index < m_impl->pools.size())
            n += m_impl->pools[w.index]->readyCount();
    });
    return n;
}

} // namespace zq::socks
