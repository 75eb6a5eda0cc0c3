#include "upstreampool.h"

#include "sysport.h"

#include <algorithm>
#include <cmath>

namespace zq::socks::detail {

namespace {
// Reaches host:port, resolving names on the socket's own context.
Task<std::error_code> connectTo(Socket& sock, const std::string& host, std::uint16_t port, const bool& gone)
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
    // Closing the socket does not cancel a lookup; connecting would open it again.
    if (gone)
        co_return asio::error::operation_aborted;
    auto [cec, ep] = co_await asio::async_connect(sock, results, nothrow);
    co_return cec;
}
} // namespace

bool sameRoute(const Route& a, const Route& b)
{
    return a.upstreamHost == b.upstreamHost && a.upstreamPort == b.upstreamPort && a.username == b.username
        && a.password == b.password;
}

Task<Reply> openUpstream(Socket& sock, const Route& route, HandshakeBuffer& hb, const bool& gone)
{
    const std::error_code ec = co_await connectTo(sock, route.upstreamHost, route.upstreamPort, gone);
    if (ec || gone)
        co_return Reply::GeneralFailure;
    tune(sock);

    const bool credentials = !route.username.empty() || !route.password.empty();
    if (!co_await writeAll(sock, makeGreeting(credentials)))
        co_return Reply::GeneralFailure;
    std::uint8_t chosen = method::kNoAcceptable;
    if (co_await readMessage(sock, hb,
            [&](const std::uint8_t* d, std::size_t n, std::size_t& used) {
                return parseMethodReply(d, n, used, chosen);
            })
        != Parse::Good)
        co_return Reply::GeneralFailure;

    if (chosen == method::kUserPass && credentials) {
        std::string auth = makeAuth(route.username, route.password);
        if (auth.empty() || !co_await writeAll(sock, std::move(auth)))
            co_return Reply::GeneralFailure;
        std::uint8_t status = 0xff;
        if (co_await readMessage(sock, hb,
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
    co_return Reply::Succeeded;
}

// ---- Pools

struct UpstreamPools::Member {
    explicit Member(asio::io_context& ctx)
        : sock(ctx)
    {
    }
    void close()
    {
        closed = true;
        std::error_code ec;
        sock.close(ec);
    }
    Socket sock;
    Clock::time_point born;
    bool waiting = false; // in the ready list
    bool closed = false;
};

struct UpstreamPools::PortPool {
    std::shared_ptr<const Route> route;
    std::deque<std::shared_ptr<Member>> ready; // oldest first
    std::vector<std::shared_ptr<Member>> filling;
    Clock::time_point lastDemand;
    unsigned arrivals = 0; // since the last tick
    double rate = 0; // clients per second, smoothed
    double fillSeconds = 0; // how long one connection takes to get ready, smoothed
    Clock::time_point retryAfter; // a fill failed: no new ones before this
    bool dropped = false;
};

UpstreamPools::UpstreamPools(
    Worker& w, const PoolSettings& settings, std::chrono::milliseconds connectLimit, unsigned threads)
    : m_worker(w)
    , m_settings(settings)
    , m_connectLimit(connectLimit)
    , m_tick(std::clamp(settings.idle / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(500)))
    , m_cap(std::max(1u, (settings.maxPerRoute + std::max(1u, threads) - 1) / std::max(1u, threads)))
    , m_timer(w.ctx)
{
}

bool UpstreamPools::enabled() const
{
    return !m_stopped && m_settings.maxPerRoute > 0 && m_settings.idle.count() > 0;
}

void UpstreamPools::start()
{
    if (enabled())
        asio::co_spawn(m_worker.ctx, tickLoop(shared_from_this()), asio::detached);
}

bool UpstreamPools::take(std::uint16_t port, const std::shared_ptr<const Route>& route, Socket& out)
{
    if (!enabled() || !route)
        return false;
    const auto now = Clock::now();
    auto& slot = m_pools[port];
    if (!slot) {
        slot = std::make_shared<PortPool>();
        slot->route = route;
    } else if (!sameRoute(*slot->route, *route)) {
        // A client accepted under an older table; the pool already follows the new one, or is
        // about to be dropped for it.
        return false;
    }
    PortPool& p = *slot;
    p.lastDemand = now;
    ++p.arrivals;
    bool got = false;
    while (!got && !p.ready.empty()) {
        auto m = std::move(p.ready.front());
        p.ready.pop_front();
        m->waiting = false;
        if (m->closed || now - m->born >= m_settings.idle) {
            m->close();
            continue;
        }
        std::error_code ec;
        m->sock.cancel(ec); // ends its watch
        out = std::move(m->sock);
        got = true;
    }
    topUp(slot, now);
    return got;
}

void UpstreamPools::noteDemand(std::uint16_t port, const std::shared_ptr<const Route>& route)
{
    if (!enabled() || !route)
        return;
    auto& slot = m_pools[port];
    if (!slot) {
        slot = std::make_shared<PortPool>();
        slot->route = route;
    } else if (!sameRoute(*slot->route, *route)) {
        return;
    }
    const auto now = Clock::now();
    slot->lastDemand = now;
    topUp(slot, now);
}

unsigned UpstreamPools::target(const PortPool& p, Clock::time_point now) const
{
    if (now - p.lastDemand >= m_settings.idle)
        return 0; // an idle route keeps nothing
    // Enough to cover the clients expected while replacements get ready, plus one.
    const double tickSeconds = std::chrono::duration<double>(m_tick).count();
    const double rate = std::max(p.rate, p.arrivals / tickSeconds);
    const double needed = std::ceil(rate * p.fillSeconds * 1.5);
    return static_cast<unsigned>(std::min<double>(m_cap, 1 + needed));
}

void UpstreamPools::topUp(const std::shared_ptr<PortPool>& p, Clock::time_point now)
{
    if (p->dropped || !enabled() || now < p->retryAfter)
        return;
    const unsigned want = target(*p, now);
    for (std::size_t have = p->ready.size() + p->filling.size(); have < want; ++have)
        asio::co_spawn(m_worker.ctx, fill(shared_from_this(), p), asio::detached);
}

Task<void> UpstreamPools::fill(std::shared_ptr<UpstreamPools> self, std::shared_ptr<PortPool> p)
{
    auto m = std::make_shared<Member>(self->m_worker.ctx);
    m->born = Clock::now();
    p->filling.push_back(m);
    auto hb = std::make_unique<HandshakeBuffer>();
    const Reply r = co_await openUpstream(m->sock, *p->route, *hb, m->closed);
    std::erase(p->filling, m);
    // Anything sent beyond the answers would belong to nobody.
    const bool clean = hb->begin == hb->end;
    hb.reset();
    const auto now = Clock::now();
    if (r != Reply::Succeeded || !clean || m->closed || p->dropped || self->m_stopped) {
        if (!p->dropped && !self->m_stopped)
            p->retryAfter = now + self->m_tick; // a failing upstream is not hammered
        m->close();
        co_return;
    }
    const double took = std::chrono::duration<double>(now - m->born).count();
    p->fillSeconds = p->fillSeconds == 0 ? took : 0.7 * p->fillSeconds + 0.3 * took;
    m->waiting = true;
    p->ready.push_back(m);

    // Waiting for a client; the upstream must stay silent meanwhile. Readable means it closed (or
    // spoke out of turn): the connection goes and another takes its place. A wake-up with nothing
    // to read is an edge left over from the handshake's last answer.
    for (;;) {
        auto [ec] = co_await m->sock.async_wait(Socket::wait_read, nothrow);
        if (!m->waiting)
            co_return; // taken, retired or dropped
        if (ec || sys::peekPeer(m->sock.native_handle()) != sys::PeerState::Quiet)
            break;
    }
    m->waiting = false;
    std::erase(p->ready, m);
    m->close();
    self->topUp(p, Clock::now());
}

Task<void> UpstreamPools::tickLoop(std::shared_ptr<UpstreamPools> self)
{
    for (;;) {
        self->m_timer.expires_after(self->m_tick);
        auto [ec] = co_await self->m_timer.async_wait(nothrow);
        if (ec || self->m_stopped)
            co_return;
        self->tick();
    }
}

void UpstreamPools::tick()
{
    const auto now = Clock::now();
    const double tickSeconds = std::chrono::duration<double>(m_tick).count();
    for (auto it = m_pools.begin(); it != m_pools.end();) {
        PortPool& p = *it->second;
        p.rate = 0.5 * p.rate + 0.5 * (p.arrivals / tickSeconds);
        p.arrivals = 0;
        // Retired before the upstream would time them out.
        while (!p.ready.empty() && now - p.ready.front()->born >= m_settings.idle) {
            p.ready.front()->waiting = false;
            p.ready.front()->close();
            p.ready.pop_front();
        }
        for (auto& m : p.filling)
            if (now - m->born >= m_connectLimit)
                m->close(); // its fill gives up
        if (now - p.lastDemand >= m_settings.idle && p.ready.empty() && p.filling.empty()) {
            it = m_pools.erase(it);
            continue;
        }
        topUp(it->second, now);
        ++it;
    }
}

void UpstreamPools::dropPool(PortPool& p)
{
    p.dropped = true;
    for (auto& m : p.ready) {
        m->waiting = false;
        m->close();
    }
    p.ready.clear();
    for (auto& m : p.filling)
        m->close();
}

void UpstreamPools::drop(std::uint16_t port)
{
    const auto it = m_pools.find(port);
    if (it == m_pools.end())
        return;
    dropPool(*it->second);
    m_pools.erase(it);
}

void UpstreamPools::keepOnly(const RouteTable& table)
{
    for (auto it = m_pools.begin(); it != m_pools.end();) {
        const auto r = table.find(it->first);
        if (r != table.end() && r->second && sameRoute(*r->second, *it->second->route)) {
            ++it;
            continue;
        }
        dropPool(*it->second);
        it = m_pools.erase(it);
    }
}

void UpstreamPools::dropAll()
{
    for (auto& [port, p] : m_pools)
        dropPool(*p);
    m_pools.clear();
}

void UpstreamPools::stop()
{
    m_stopped = true;
    m_timer.cancel();
    dropAll();
}

std::size_t UpstreamPools::readyCount() const
{
    std::size_t n = 0;
    for (const auto& [port, p] : m_pools)
        n += p->ready.size();
    return n;
}

} // namespace zq::socks::detail
