// clientProxy: the client's local proxy helper. SOCKS5 listeners on the client's port range, each
// bound port relayed through its line's exit node, and the HTTP API that binds them.

#include "apiserver.h"
#include "dataplane.h"
#include "log.h"
#include "notifier.h"
#include "options.h"
#include "proxycore.h"
#include "serviceclient.h"
#include "sysport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <unistd.h>

using namespace zq::clientproxy;

namespace {
std::atomic<bool> g_signalled { false };
void onSignal(int)
{
    g_signalled = true;
}
} // namespace

int main(int argc, char** argv)
{
    zq::sys::initSockets();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseOptions(args, error);
    const auto pool = options ? poolOptionsFromEnvironment(error) : std::nullopt;
    if (!options || !pool) {
        std::cerr << "clientProxy: " << error << "\n"
                  << "usage: clientProxy -api_port=N -user=NAME -pwd=PASS -proxy_port_start=N -proxy_port_num=N "
                     "-program_port=N -uuid=ID -inner_ip=IP -udp_port=N -sessionid=ID\n"
                  << "environment: ZQ_POOL_IDLE_MS=N  retire a warm upstream connection after N ms unused\n"
                     "                                (default 5000; below the upstream's handshake time-out; 0: off)\n"
                     "             ZQ_POOL_MAX=N      at most N warm upstream connections per bound port\n"
                     "                                (default 8; 0: off)\n"
                     "             ZQ_LINGER_MS=N     close a relay N ms after one direction ended and\n"
                     "                                nothing moved since (default 30000)\n";
        return 2;
    }
    const Options& o = *options;
    logLine("clientProxy starting: api port " + std::to_string(o.apiPort) + ", range " + std::to_string(o.startPort)
        + "+" + std::to_string(o.portNum) + ", program port " + std::to_string(o.programPort) + ", user " + o.user
        + ", notification port " + std::to_string(o.udpPort));
    if (!haveRelay())
        logLine("warning: built without the SOCKS5 relay; no port will be opened");

    PoolSettings poolSettings;
    poolSettings.idle = std::chrono::milliseconds(pool->idleMs);
    poolSettings.maxPerRoute = pool->max;
    if (poolSettings.idle.count() == 0 || poolSettings.maxPerRoute == 0)
        logLine("warm upstream connections off");
    auto plane = makeDataPlane(2, poolSettings, std::chrono::milliseconds(std::max(100LL, pool->lingerMs)));
    if (haveRelay())
        logLine(plane->portable() ? "relay data path: copying" : "relay data path: splicing");
    ProxyCore core(*plane, o.apiPort, o.programPort);
    Notifier notifier(o.udpPort);
    core.setChangeListener([&notifier](const std::string& event, const std::vector<std::uint16_t>& ports) {
        notifier.send(nlohmann::json { { "event", event }, { "ports", ports } }.dump());
    });

    // Listeners first, so the API answers only once the ports are ready.
    const auto failed = core.openRange(o.startPort, o.portNum);
    if (!failed.empty()) {
        std::string list;
        for (auto p : failed)
            list += (list.empty() ? "" : ",") + std::to_string(p);
        logLine("could not open " + std::to_string(failed.size()) + " ports: " + list);
    }
    plane->start();

    ApiServer api(
        o, core, ServiceClient(accountBase(), resourceBase(), o.sessionId, o.user, o.password), proxyServerAddress());
    // All interfaces, so the LAN can reach the bulk-binding link; loopback if that is refused.
    if (!api.bind("0.0.0.0") && !api.bind("127.0.0.1")) {
        logLine("cannot listen on API port " + std::to_string(o.apiPort));
        plane->stop();
        return 3;
    }
    logLine("API on port " + std::to_string(o.apiPort) + ", account base " + accountBase());

    std::thread server([&api] { api.serve(); });

    // The client holds our standard input; when it is gone, so are we.
    std::atomic<bool> stdinClosed { false };
    std::thread watcher([&stdinClosed] {
        char buf[256];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
        }
        stdinClosed = true;
    });
    watcher.detach();

    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    while (!stdinClosed && !g_signalled)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    logLine(stdinClosed ? "standard input closed, exiting" : "signal received, exiting");

    // Whatever the API's peers or the relays are doing, we are gone within a second: a watchdog
    // ends the process should the orderly stop below take longer.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        logLine("stopping took too long, leaving now");
        std::_Exit(0);
    }).detach();
    api.stop();
    plane->stop(); // closes the SOCKS listeners and every live relay
    server.join();
    logLine("exited");
    // The API's workers may still wait on the service for a peer that no longer matters.
    std::_Exit(0);
}
