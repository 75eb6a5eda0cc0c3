#pragma once
// The relay's side towards an upstream SOCKS5 server: the connect, greeting and credentials, and
// the warm connections kept per bound port so that a new client only waits for its CONNECT.

#include "engine.h"
#include "relay.h"

#include <deque>

namespace zq::socks::detail {

// Same upstream and same credentials: a connection prepared for one serves the other.
bool sameRoute(const Route& a, const Route& b);

// Connects `sock` to the route's upstream, greets and authenticates. Each step waits for its
// answer before the next is sent (some servers read one message per receive). `gone` is the
// owner's flag that it gave up (checked where closing the socket cannot stop the step).
Task<Reply> openUpstream(Socket& sock, const Route& route, HandshakeBuffer& hb, const bool& gone);

// One relay thread's warm connections, by bound port. Used only on that thread.
class UpstreamPools : public std::enable_shared_from_this<UpstreamPools> {
public:
    UpstreamPools(Worker& w, const PoolSettings& settings, std::chrono::milliseconds connectLimit, unsigned threads);

    // Moves a ready connection of `route` on `port` into `out` (true), counts the demand and tops
    // the pool up. A pool only ever serves the route it was filled for.
    bool take(std::uint16_t port, const std::shared_ptr<const Route>& route, Socket& out);
    // A client of `route` arrived on another thread: this thread keeps a connection ready too, as
    // the next client may be handed here. The caller checks that `route` is still current.
    void noteDemand(std::uint16_t port, const std::shared_ptr<const Route>& route);
    void drop(std::uint16_t port);
    // Drops the pools of ports that have no route in `table`, or another one.
    void keepOnly(const RouteTable& table);
    void dropAll();
    // Ends the maintenance loop and closes everything; final.
    void stop();
    void start();
    std::size_t readyCount() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Member;
    struct PortPool;

    bool enabled() const;
    unsigned target(const PortPool& p, Clock::time_point now) const;
    void topUp(const std::shared_ptr<PortPool>& p, Clock::time_point now);
    void dropPool(PortPool& p);
    static Task<void> fill(std::shared_ptr<UpstreamPools> self, std::shared_ptr<PortPool> p);
    static Task<void> tickLoop(std::shared_ptr<UpstreamPools> self);
    void tick();

    Worker& m_worker;
    const PoolSettings m_settings;
    const std::chrono::milliseconds m_connectLimit;
    const std::chrono::milliseconds m_tick;
    const unsigned m_cap; // this thread's share of maxPerRoute
    bool m_stopped = false;
    Timer m_timer;
    std::unordered_map<std::uint16_t, std::shared_ptr<PortPool>> m_pools;
};

} // namespace zq::socks::detail
