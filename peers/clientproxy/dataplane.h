#pragma once
// What the control plane needs from the SOCKS5 relay. The real one wraps zq::socks::Relay; the
// null one lets the HTTP side run (and be tested) where the relay is not built.

#include "../socks/relay.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace zq::clientproxy {

using socks::PoolSettings;
using socks::Route;
using socks::RouteTable;

class DataPlane {
public:
    virtual ~DataPlane() = default;
    // Returns the ports that could not be opened.
    virtual std::vector<std::uint16_t> listen(const std::string& host, const std::vector<std::uint16_t>& ports) = 0;
    virtual void closeListeners() = 0;
    virtual void setRoutes(std::shared_ptr<const RouteTable> table) = 0;
    virtual void closeConnections(const std::vector<std::uint16_t>& ports) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    // Bytes copied through buffers rather than spliced (see socks::Relay::setPortable).
    virtual bool portable() const { return false; }
};

// The relay when it is built in, else a stand-in that opens nothing.
std::unique_ptr<DataPlane> makeDataPlane(
    unsigned threads, const PoolSettings& pool = {}, std::chrono::milliseconds linger = std::chrono::seconds(30));
bool haveRelay();

} // namespace zq::clientproxy
