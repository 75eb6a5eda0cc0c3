#pragma once
// SOCKS5 relay: local SOCKS5 listeners whose clients are carried through an upstream SOCKS5
// server chosen per listening port. The control plane swaps the route table; the data plane
// reads it once per new connection.

#include "timeouts.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zq::socks {

// Where a bound port sends its clients: a SOCKS5 server that wants username/password.
struct Route {
    std::string upstreamHost;
    std::uint16_t upstreamPort = 0;
    std::string username;
    std::string password;
};

// Immutable once published; replaced whole.
using RouteTable = std::unordered_map<std::uint16_t, std::shared_ptr<const Route>>;

// Warm upstream connections: per bound port, a few already connected, greeted and authenticated,
// each waiting for a client's CONNECT, so a new client costs one round trip to the upstream.
struct PoolSettings {
    // A waiting connection is retired at this age; keep it below the upstream's own handshake
    // time-out (our exit node's is 10 s). Zero turns the pool off.
    std::chrono::milliseconds idle { 5000 };
    // Most waiting connections per bound port; the pool follows recent demand up to this. Zero
    // turns the pool off.
    unsigned maxPerRoute = 8;
};

class Relay {
public:
    // threads == 0 picks the number of cores.
    explicit Relay(unsigned threads = 0);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    // Opens SOCKS5 listeners on host:port for each port; returns the ports that could not be opened.
    std::vector<std::uint16_t> listen(const std::string& host, const std::vector<std::uint16_t>& ports);
    // One listener; port 0 picks a free port. Returns the bound port, 0 on failure.
    std::uint16_t listenOne(const std::string& host, std::uint16_t port);
    // Closes every listener and every live connection (range reset).
    void closeListeners();
    // Publishes a new table; connections accepted from now on use it. Waiting upstream
    // connections of ports whose route changed or went are closed.
    void setRoutes(std::shared_ptr<const RouteTable> table);
    std::shared_ptr<const RouteTable> routes() const;
    // Ends the live connections that arrived on these ports, and their waiting upstream ones.
    void closeConnections(const std::vector<std::uint16_t>& ports);

    // Before start().
    void setTimeouts(const Timeouts& timeouts);
    void setPool(const PoolSettings& pool);
    // Most clients relayed at once (0: no limit). At the limit, new clients wait in the listen
    // queue while clients that have gone and the oldest half-closed relays are ended.
    void setMaxConnections(std::size_t n);
    // The copying data path of systems without splice (Windows), here too; the default there, or
    // everywhere with ZQ_PORTABLE_DATAPLANE=1. Before start().
    void setPortable(bool on);
    bool portable() const;
    void start();
    // Closes every listener and connection and ends the threads; final.
    void stop();

    // Live connection count, for tests and the benchmark.
    std::size_t connectionCount() const;
    // Upstream connections ready and waiting for a client, for tests and the benchmark.
    std::size_t pooledCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zq::socks
