#include "dataplane.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>

namespace zq::clientproxy {

#ifdef ZQ_HAVE_SOCKS_RELAY
namespace {
// Relayed clients take two descriptors each; an eighth of the limit (at least 64) stays for the
// API, the service, warm upstream connections and pipes. 0: no limit. Windows sockets have none
// to keep to: running out there shows as an accept error, which the relay answers by shedding.
std::size_t relayLimit()
{
#ifndef _WIN32
    rlimit lim {};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) {
        const rlim_t reserve = std::max<rlim_t>(64, lim.rlim_cur / 8);
        return lim.rlim_cur > reserve + 2 ? (lim.rlim_cur - reserve) / 2 : 1;
    }
#endif
    return 0;
}

class RelayPlane : public DataPlane {
public:
    RelayPlane(unsigned threads, const PoolSettings& pool, std::chrono::milliseconds linger)
        : m_relay(threads)
    {
        m_relay.setPool(pool);
        socks::Timeouts t;
        t.linger = linger;
        m_relay.setTimeouts(t);
        m_relay.setMaxConnections(relayLimit());
    }
    std::vector<std::uint16_t> listen(const std::string& host, const std::vector<std::uint16_t>& ports) override
    {
        return m_relay.listen(host, ports);
    }
    void closeListeners() override { m_relay.closeListeners(); }
    void setRoutes(std::shared_ptr<const RouteTable> table) override { m_relay.setRoutes(std::move(table)); }
    void closeConnections(const std::vector<std::uint16_t>& ports) override { m_relay.closeConnections(ports); }
    void start() override { m_relay.start(); }
    void stop() override { m_relay.stop(); }
    bool portable() const override { return m_relay.portable(); }

private:
    socks::Relay m_relay;
};
} // namespace

std::unique_ptr<DataPlane> makeDataPlane(unsigned threads, const PoolSettings& pool, std::chrono::milliseconds linger)
{
    return std::make_unique<RelayPlane>(threads, pool, linger);
}
bool haveRelay()
{
    return true;
}
#else
namespace {
class NullPlane : public DataPlane {
public:
    std::vector<std::uint16_t> listen(const std::string&, const std::vector<std::uint16_t>& ports) override
    {
        return ports;
    }
    void closeListeners() override { }
    void setRoutes(std::shared_ptr<const RouteTable>) override { }
    void closeConnections(const std::vector<std::uint16_t>&) override { }
    void start() override { }
    void stop() override { }
};
} // namespace

std::unique_ptr<DataPlane> makeDataPlane(unsigned, const PoolSettings&, std::chrono::milliseconds)
{
    return std::make_unique<NullPlane>();
}
bool haveRelay()
{
    return false;
}
#endif

} // namespace zq::clientproxy
