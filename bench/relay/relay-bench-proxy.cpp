// Hosts one Relay or one ExitNode for the relay benchmark, standing in for clientProxy and the
// service's exit node. Prints "listening PORT" once ready; runs until standard input closes.
// Any line on standard input is answered with "heap BYTES" (heap in use).
//
//   relay-bench-proxy relay HOST:PORT UPSTREAM_HOST:UPSTREAM_PORT USER PASS [THREADS]
//   relay-bench-proxy exit HOST:PORT BIND_IP USER PASS [THREADS]
//
// The relay's warm upstream connections follow ZQ_POOL_IDLE_MS and ZQ_POOL_MAX as in clientProxy.

#include "exitnode.h"
#include "relay.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {
std::atomic<std::uint64_t> relayed { 0 };

bool splitHostPort(const std::string& s, std::string& host, std::uint16_t& port)
{
    const auto colon = s.rfind(':');
    if (colon == std::string::npos)
        return false;
    host = s.substr(0, colon);
    try {
        port = static_cast<std::uint16_t>(std::stoul(s.substr(colon + 1)));
    } catch (...) {
        return false;
    }
    return true;
}

// Each line on standard input asks for the heap in use; end of input stops the program.
void serveStdin()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        const auto m = mallinfo2();
        std::cout << "heap " << m.uordblks + m.hblkhd << std::endl;
    }
}

int usage()
{
    std::cerr << "usage: relay-bench-proxy relay HOST:PORT UPSTREAM:PORT USER PASS [THREADS]\n"
                 "       relay-bench-proxy exit HOST:PORT BIND_IP USER PASS [THREADS]\n";
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 6)
        return usage();
    const std::string mode = argv[1];
    std::string host;
    std::uint16_t port = 0;
    if (!splitHostPort(argv[2], host, port))
        return usage();
    const unsigned threads = argc > 6 ? static_cast<unsigned>(std::stoul(argv[6])) : 0;
    const std::string user = argv[4], pass = argv[5];

    if (mode == "relay") {
        zq::socks::Route route;
        if (!splitHostPort(argv[3], route.upstreamHost, route.upstreamPort))
            return usage();
        route.username = user;
        route.password = pass;
        zq::socks::Relay relay(threads);
        zq::socks::PoolSettings pool;
        if (const char* v = std::getenv("ZQ_POOL_IDLE_MS"))
            pool.idle = std::chrono::milliseconds(std::stoll(v));
        if (const char* v = std::getenv("ZQ_POOL_MAX"))
            pool.maxPerRoute = static_cast<unsigned>(std::stoul(v));
        relay.setPool(pool);
        const std::uint16_t bound = relay.listenOne(host, port);
        if (!bound) {
            std::cerr << "cannot listen on " << argv[2] << "\n";
            return 1;
        }
        auto table = std::make_shared<zq::socks::RouteTable>();
        (*table)[bound] = std::make_shared<const zq::socks::Route>(route);
        relay.setRoutes(table);
        relay.start();
        std::cout << "listening " << bound << std::endl;
        serveStdin();
        relay.stop();
        return 0;
    }
    if (mode == "exit") {
        const std::string bindIp = argv[3];
        zq::socks::ExitNode node(
            [&](const std::string& u, const std::string& p) -> std::optional<zq::socks::ExitGrant> {
                if (u != user || p != pass)
                    return std::nullopt;
                // Counted like the service counts a residential line.
                return zq::socks::ExitGrant { bindIp, [](std::uint64_t n) { relayed += n; } };
            },
            threads);
        const std::uint16_t bound = node.listen(host, port);
        if (!bound) {
            std::cerr << "cannot listen on " << argv[2] << "\n";
            return 1;
        }
        node.start();
        std::cout << "listening " << bound << std::endl;
        serveStdin();
        node.stop();
        return 0;
    }
    return usage();
}
