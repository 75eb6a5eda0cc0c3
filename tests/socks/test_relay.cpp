// Relay and ExitNode on real loopback sockets: local clients (our raw client, curl) go through
// the Relay to an upstream (our ExitNode, microsocks, or a strict recording server) and on to a
// target that tells which address it saw.

#include "exitnode.h"
#include "relay.h"
#include "testnet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>

#include <dirent.h>
#include <sys/resource.h>

using namespace zq::socks;
using namespace testnet;
using namespace std::chrono_literals;

namespace {

// Greets with the peer address, echoes, and on the client's EOF sends "[eof]" before closing.
void echoTarget(int fd, const std::string& peer)
{
    if (!sendAll(fd, peer + "\n"))
        return;
    char buf[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0)
            sendAll(fd, "[eof]");
        if (n <= 0 || !sendAll(fd, std::string(buf, size_t(n))))
            return;
    }
}

template <class F> bool eventually(F f)
{
    for (int i = 0; i < 500; ++i) {
        if (f())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

struct Line {
    std::string password;
    std::string bindIp;
};

class SocksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Timeouts t;
        t.handshake = 1000ms;
        exitNode.setTimeouts(t);
        relay.setTimeouts(t);
        // Waiting upstream connections retire well before the exit node's handshake time-out.
        PoolSettings pool;
        pool.idle = 500ms;
        relay.setPool(pool);
        exitPort = exitNode.listen("127.0.0.1", 0);
        ASSERT_NE(exitPort, 0);
        exitNode.start();
        relay.start();
        portA = relay.listenOne("127.0.0.1", 0);
        portB = relay.listenOne("127.0.0.1", 0);
        ASSERT_NE(portA, 0);
        ASSERT_NE(portB, 0);
        ASSERT_TRUE(relay.listen("127.0.0.1", { portA }).size() == 1); // already taken
    }

    void TearDown() override
    {
        relay.stop();
        exitNode.stop();
    }

    std::shared_ptr<const Route> line(const std::string& user, const std::string& pass, uint16_t port = 0)
    {
        return std::make_shared<const Route>(Route { "127.0.0.1", port ? port : exitPort, user, pass });
    }

    void route(std::map<uint16_t, std::shared_ptr<const Route>> routes)
    {
        relay.setRoutes(std::make_shared<const RouteTable>(routes.begin(), routes.end()));
    }

    // A relayed connection to the echo target; returns it after the target's peer line.
    Fd open(uint16_t port, std::string* peer, const std::string& host = "127.0.0.1")
    {
        Fd fd = connectTo("127.0.0.1", port);
        const uint16_t target = host == "::1" ? echo6.port() : echo.port();
        const int rep = socksConnect(fd.get(), host == "::1" ? wireV6(host, target) : wireV4(host, target));
        EXPECT_EQ(rep, 0);
        *peer = recvLine(fd.get());
        return fd;
    }

    bool echoes(int fd, const std::string& text) { return sendAll(fd, text) && recvExactly(fd, text.size()) == text; }

    std::map<std::string, Line> lines { { "line1", { "s1", "127.0.3.5" } }, { "line2", { "s2", "127.0.3.7" } },
        { "v6", { "s6", "::1" } } };
    std::atomic<uint64_t> counted { 0 };
    std::atomic<int> countCalls { 0 };
    ExitNode exitNode { [this](const std::string& user, const std::string& pass) -> std::optional<ExitGrant> {
                           auto it = lines.find(user);
                           if (it == lines.end() || it->second.password != pass)
                               return std::nullopt;
                           return ExitGrant { it->second.bindIp, [this](uint64_t n) {
                                                 counted += n;
                                                 ++countCalls;
                                             } };
                       },
        2 };
    Relay relay { 2 };
    Server echo { "127.0.0.1", echoTarget };
    Server echo6 { "::1", echoTarget };
    uint16_t exitPort = 0, portA = 0, portB = 0;
};

TEST_F(SocksTest, CarriesClientsThroughTheLineAndCountsBytes)
{
    route({ { portA, line("line1", "s1") } });
    std::string peer;
    Fd fd = open(portA, &peer);
    EXPECT_EQ(peer, "127.0.3.5");

    const std::string bulk(3 * 1024 * 1024, 'x');
    std::thread writer([&] { sendAll(fd.get(), bulk); });
    EXPECT_EQ(recvExactly(fd.get(), bulk.size()).size(), bulk.size());
    writer.join();
    fd.reset();
    // Closing passes a half-close on; the target answers it with "[eof]", relayed and counted too.
    const uint64_t expected = peer.size() + 1 + 2 * bulk.size() + 5;
    EXPECT_TRUE(eventually([&] { return counted == expected; })) << counted;
    // Reported in batches, not once at the end: each 3 MiB direction passes the 1 MiB mark at
    // least once before the close report, whatever sizes the splices happen to move.
    EXPECT_GE(countCalls, 3);
    EXPECT_TRUE(eventually([&] { return relay.connectionCount() == 0 && exitNode.connectionCount() == 0; }));
}

TEST_F(SocksTest, CurlResolvesNamesThroughTheLine)
{
    route({ { portA, line("line1", "s1") } });
    Server http("127.0.0.1", [](int fd, const std::string& peer) {
        std::string req;
        char c;
        while (req.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1)
            req.push_back(c);
        sendAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(peer.size()) + "\r\n\r\n" + peer);
    });
    const std::string cmd = "env -u no_proxy -u NO_PROXY curl -s --max-time 10 --socks5-hostname 127.0.0.1:"
        + std::to_string(portA) + " http://localhost:" + std::to_string(http.port()) + "/";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    char buf[256] = {};
    const size_t n = fread(buf, 1, sizeof buf - 1, p);
    pclose(p);
    EXPECT_EQ(std::string(buf, n), "127.0.3.5");
}

TEST_F(SocksTest, AnotherStandardServerServesAsLine)
{
    const uint16_t port = freePort();
    Process microsocks(
        { "microsocks", "-i", "127.0.0.1", "-p", std::to_string(port), "-u", "mu", "-P", "mp", "-b", "127.0.3.9" });
    ASSERT_TRUE(microsocks.running());
    ASSERT_TRUE(waitListening("127.0.0.1", port));
    route({ { portA, line("mu", "mp", port) }, { portB, line("mu", "wrong", port) } });
    std::string peer;
    Fd fd = open(portA, &peer);
    EXPECT_EQ(peer, "127.0.3.9");
    EXPECT_TRUE(echoes(fd.get(), "through microsocks"));

    Fd refused = connectTo("127.0.0.1", portB);
    EXPECT_EQ(socksConnect(refused.get(), wireV4("127.0.0.1", echo.port())), 0x02);
}

TEST_F(SocksTest, LocalClientHandshakeVariants)
{
    route({ { portA, line("line1", "s1") } });
    // One byte per segment.
    Fd slow = connectTo("127.0.0.1", portA);
    const std::string greeting("\x05\x01\x00", 3);
    for (char c : greeting) {
        sendAll(slow.get(), std::string(1, c));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(recvExactly(slow.get(), 2), std::string("\x05\x00", 2));
    for (char c : std::string("\x05\x01\x00", 3) + wireV4("127.0.0.1", echo.port())) {
        sendAll(slow.get(), std::string(1, c));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(readReply(slow.get()), 0);
    EXPECT_EQ(recvLine(slow.get()), "127.0.3.5");

    // GSSAPI offered beside no-auth: no-auth is chosen; GSSAPI alone is refused.
    Fd both = connectTo("127.0.0.1", portA);
    sendAll(both.get(), std::string("\x05\x02\x01\x00", 4));
    EXPECT_EQ(recvExactly(both.get(), 2), std::string("\x05\x00", 2));
    Fd gssapi = connectTo("127.0.0.1", portA);
    sendAll(gssapi.get(), std::string("\x05\x01\x01", 3));
    EXPECT_EQ(recvExactly(gssapi.get(), 2), std::string("\x05\xff", 2));

    // Greeting, request and first data in one segment.
    Fd eager = connectTo("127.0.0.1", portA);
    sendAll(eager.get(), greeting + std::string("\x05\x01\x00", 3) + wireV4("127.0.0.1", echo.port()) + "early");
    EXPECT_EQ(recvExactly(eager.get(), 2), std::string("\x05\x00", 2));
    EXPECT_EQ(readReply(eager.get()), 0);
    EXPECT_EQ(recvLine(eager.get()), "127.0.3.5");
    EXPECT_EQ(recvExactly(eager.get(), 5), "early");
}

TEST_F(SocksTest, UpstreamGetsTargetUnchangedOneStepAtATime)
{
    // Reads one message per receive, as some servers do: anything sent ahead would be lost.
    std::mutex m;
    std::vector<std::string> requests;
    std::atomic<bool> inOrder { true };
    Server strict("127.0.0.1", [&](int fd, const std::string&) {
        char buf[1024];
        auto once = [&] {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            return std::string(buf, size_t(std::max<ssize_t>(n, 0)));
        };
        std::this_thread::sleep_for(20ms); // give a pipelining client the chance to send ahead
        if (once() != std::string("\x05\x01\x02", 3))
            inOrder = false;
        sendAll(fd, std::string("\x05\x02", 2));
        std::this_thread::sleep_for(20ms);
        if (once() != std::string("\x01\x02up\x02pw", 7))
            inOrder = false;
        sendAll(fd, std::string("\x01\x00", 2));
        std::string req = once();
        if (req.empty())
            return; // a warm connection retired unused
        {
            std::lock_guard lock(m);
            requests.push_back(req);
        }
        sendAll(fd, std::string("\x05\x00\x00\x01\x7f\x09\x09\x09\x10\x92", 10) + "hi");
        char c;
        while (::recv(fd, &c, 1, 0) == 1)
            sendAll(fd, std::string(1, c));
    });
    route({ { portA, line("up", "pw", strict.port()) } });

    const std::vector<std::string> targets { wireDomain(std::string(255, 'd'), 443), wireV6("::1", 8080),
        wireV4("10.1.2.3", 80) };
    for (const auto& wire : targets) {
        // After the first, each client finds a warm connection waiting for its CONNECT.
        if (&wire != &targets.front())
            ASSERT_TRUE(eventually([&] { return relay.pooledCount() > 0; }));
        Fd fd = connectTo("127.0.0.1", portA);
        std::string bound;
        ASSERT_EQ(socksConnect(fd.get(), wire, nullptr, nullptr, &bound), 0);
        EXPECT_EQ(bound, std::string("\x01\x7f\x09\x09\x09\x10\x92", 7)); // the upstream's own reply
        EXPECT_EQ(recvExactly(fd.get(), 2), "hi");
        EXPECT_TRUE(echoes(fd.get(), "z"));
    }
    EXPECT_TRUE(inOrder);
    std::lock_guard lock(m);
    ASSERT_EQ(requests.size(), targets.size());
    for (size_t i = 0; i < targets.size(); ++i)
        EXPECT_EQ(requests[i], std::string("\x05\x01\x00", 3) + targets[i]);
}

TEST_F(SocksTest, UpstreamReachedEarlyGoesWhenTheClientGivesUp)
{
    // The relay reaches the upstream while its client is still greeting. This upstream never
    // answers: a client that fails or leaves must still take that connection with it.
    std::atomic<int> ended { 0 };
    Server upstream("127.0.0.1", [&](int fd, const std::string&) {
        recvUntilClosed(fd);
        ++ended;
    });
    // No time-out may end them for us.
    Relay patient(1);
    Timeouts t;
    t.handshake = t.connect = 3600s;
    patient.setTimeouts(t);
    const uint16_t port = patient.listenOne("127.0.0.1", 0);
    patient.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("up", "pw", upstream.port()) } }));
    patient.start();

    const std::vector<std::string> quitters { "GET / HTTP/1.1\r\n\r\n",
        std::string("\x05\x01\x00\x05\x02\x00\x01\x7f\x00\x00\x01\x00\x50", 13), "" };
    for (const auto& sent : quitters) {
        Fd fd = connectTo("127.0.0.1", port);
        sendAll(fd.get(), sent);
        if (sent.empty())
            ::shutdown(fd.get(), SHUT_WR);
        EXPECT_TRUE(recvUntilClosed(fd.get()));
    }
    // Bounded wait for the upstream threads to see their connections end (not a timing check).
    for (int i = 0; i < 500 && ended < int(quitters.size()); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ended.load(), int(quitters.size()));
    patient.stop();
}

TEST_F(SocksTest, Ipv6TargetsLeaveFromIpv6Lines)
{
    route({ { portA, line("v6", "s6") }, { portB, line("line1", "s1") } });
    std::string peer;
    Fd fd = open(portA, &peer, "::1");
    EXPECT_EQ(peer, "::1");
    EXPECT_TRUE(echoes(fd.get(), "six"));
    // An IPv4 line cannot carry an IPv6 target from its own address.
    Fd v4 = connectTo("127.0.0.1", portB);
    EXPECT_EQ(socksConnect(v4.get(), wireV6("::1", echo6.port())), 0x08);
}

TEST_F(SocksTest, RefusalsGetTheirReplyCodes)
{
    route({ { portA, line("line1", "wrong") } });
    const auto target = wireV4("127.0.0.1", echo.port());
    Fd unbound = connectTo("127.0.0.1", portB);
    EXPECT_EQ(socksConnect(unbound.get(), target), 0x02);
    Fd badCredentials = connectTo("127.0.0.1", portA);
    EXPECT_EQ(socksConnect(badCredentials.get(), target), 0x02);

    // Straight at the exit node.
    const std::string user = "line1", wrong = "nope", right = "s1";
    Fd direct = connectTo("127.0.0.1", exitPort);
    EXPECT_EQ(socksConnect(direct.get(), target, &user, &wrong), -1);
    Fd noAuth = connectTo("127.0.0.1", exitPort);
    sendAll(noAuth.get(), std::string("\x05\x01\x00", 3));
    EXPECT_EQ(recvExactly(noAuth.get(), 2), std::string("\x05\xff", 2));
    Fd closedPort = connectTo("127.0.0.1", exitPort);
    EXPECT_EQ(socksConnect(closedPort.get(), wireV4("127.0.0.1", freePort()), &user, &right), 0x05);

    // Refusal codes of the exit node reach the local client as they are.
    route({ { portA, line("line1", "s1") } });
    Fd viaRelay = connectTo("127.0.0.1", portA);
    EXPECT_EQ(socksConnect(viaRelay.get(), wireV4("127.0.0.1", freePort())), 0x05);
    Fd bind = connectTo("127.0.0.1", portA);
    sendAll(bind.get(), std::string("\x05\x01\x00\x05\x02\x00", 6) + target);
    EXPECT_EQ(recvExactly(bind.get(), 2), std::string("\x05\x00", 2));
    EXPECT_EQ(readReply(bind.get()), 0x07);
}

TEST_F(SocksTest, RerouteAndCloseConnections)
{
    route({ { portA, line("line1", "s1") }, { portB, line("line1", "s1") } });
    std::string peer;
    Fd before = open(portA, &peer);
    Fd other = open(portB, &peer);

    route({ { portA, line("line2", "s2") }, { portB, line("line1", "s1") } });
    EXPECT_TRUE(echoes(before.get(), "still here")); // live connections keep their line
    Fd after = open(portA, &peer);
    EXPECT_EQ(peer, "127.0.3.7");

    relay.closeConnections({ portA });
    EXPECT_TRUE(recvUntilClosed(before.get()));
    EXPECT_TRUE(recvUntilClosed(after.get()));
    EXPECT_TRUE(echoes(other.get(), "untouched"));
    Fd again = open(portA, &peer);
    EXPECT_TRUE(echoes(again.get(), "new ones still work"));

    relay.closeListeners();
    EXPECT_TRUE(recvUntilClosed(other.get()));
    EXPECT_FALSE(connectTo("127.0.0.1", portA));
    EXPECT_EQ(relay.listenOne("127.0.0.1", portA), portA); // the port is free again at once
}

TEST_F(SocksTest, TimeLimitsEndStalledAndIdleConnections)
{
    Relay quick(1);
    Timeouts t;
    t.connect = 300ms;
    t.idle = 300ms;
    quick.setTimeouts(t);
    const uint16_t port = quick.listenOne("127.0.0.1", 0);
    // Accepts and never answers.
    Server silent("127.0.0.1", [](int fd, const std::string&) { recvUntilClosed(fd); });
    quick.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("line1", "s1") } }));
    quick.start();

    std::string peer;
    Fd idle = connectTo("127.0.0.1", port);
    ASSERT_EQ(socksConnect(idle.get(), wireV4("127.0.0.1", echo.port())), 0);
    EXPECT_EQ(recvLine(idle.get()), "127.0.3.5");
    EXPECT_TRUE(recvUntilClosed(idle.get())); // closed by the idle sweep

    quick.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("x", "y", silent.port()) } }));
    Fd stalled = connectTo("127.0.0.1", port);
    EXPECT_EQ(socksConnect(stalled.get(), wireV4("127.0.0.1", echo.port())), 0x06);
    quick.stop();
}

TEST_F(SocksTest, HalfClosePassesThrough)
{
    route({ { portA, line("line1", "s1") } });
    std::string peer;
    Fd fd = open(portA, &peer);
    sendAll(fd.get(), "last words");
    ::shutdown(fd.get(), SHUT_WR);
    std::string rest;
    EXPECT_TRUE(recvUntilClosed(fd.get(), &rest));
    EXPECT_EQ(rest, "last words[eof]");
}

TEST_F(SocksTest, BrokenClientsAreRefusedAndServiceGoesOn)
{
    route({ { portA, line("line1", "s1") } });
    const std::string ok("\x05\x01\x00", 3);
    struct Case {
        const char* name;
        std::string sent;
        std::string answer;
        bool halfClose;
    };
    const std::vector<Case> cases {
        { "HTTP request", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", "", false },
        { "SOCKS4", std::string("\x04\x01\x00\x50\x7f\x00\x00\x01\x00", 9), "", false },
        { "no methods", std::string("\x05\x00", 2), "", false },
        { "request of another version", ok + std::string("\x04\x01\x00\x01\x7f\x00\x00\x01\x00\x50", 10),
            std::string("\x05\x00", 2), false },
        { "unknown address type", ok + std::string("\x05\x01\x00\x07\x7f\x00\x00\x01\x00\x50", 10),
            std::string("\x05\x00", 2) + std::string("\x05\x08\x00\x01\x00\x00\x00\x00\x00\x00", 10), false },
        { "truncated request",
            ok
                + std::string("\x05\x01\x00\x03\x10"
                              "abc",
                    8),
            std::string("\x05\x00", 2), true },
        { "stalled greeting", std::string("\x05", 1), "", false },
    };
    for (const auto& c : cases) {
        Fd fd = connectTo("127.0.0.1", portA);
        sendAll(fd.get(), c.sent);
        if (c.halfClose)
            ::shutdown(fd.get(), SHUT_WR);
        std::string answer;
        EXPECT_TRUE(recvUntilClosed(fd.get(), &answer)) << c.name;
        EXPECT_EQ(answer, c.answer) << c.name;
    }
    std::string peer;
    Fd fd = open(portA, &peer);
    EXPECT_TRUE(echoes(fd.get(), "still serving"));
}

TEST_F(SocksTest, WarmConnectionsServeOnlyTheirOwnRoute)
{
    route({ { portA, line("line1", "s1") }, { portB, line("line2", "s2") } });
    std::string peer;
    open(portA, &peer);
    EXPECT_EQ(peer, "127.0.3.5");
    open(portB, &peer);
    EXPECT_EQ(peer, "127.0.3.7");
    ASSERT_TRUE(eventually([&] { return relay.pooledCount() >= 2; }));

    // A burst on a warm port: every client leaves through its line.
    std::atomic<int> right { 0 };
    std::vector<std::thread> burst;
    for (int i = 0; i < 12; ++i)
        burst.emplace_back([&] {
            std::string p;
            Fd fd = open(portA, &p);
            if (p == "127.0.3.5" && echoes(fd.get(), "burst"))
                ++right;
        });
    for (auto& t : burst)
        t.join();
    EXPECT_EQ(right, 12);

    // Re-routed and unbound ports keep nothing prepared for the old line.
    route({ { portA, line("line2", "s2") } });
    EXPECT_EQ(relay.pooledCount(), 0u);
    for (int i = 0; i < 5; ++i) {
        open(portA, &peer);
        EXPECT_EQ(peer, "127.0.3.7");
    }
    Fd unbound = connectTo("127.0.0.1", portB);
    EXPECT_EQ(socksConnect(unbound.get(), wireV4("127.0.0.1", echo.port())), 0x02);

    // Closing a port's connections drains its pool, down to the exit node.
    ASSERT_TRUE(eventually([&] { return relay.pooledCount() > 0; }));
    relay.closeConnections({ portA });
    EXPECT_EQ(relay.pooledCount(), 0u);
    EXPECT_TRUE(eventually([&] { return exitNode.connectionCount() == 0; }));
}

TEST_F(SocksTest, UpstreamThatDropsWaitingConnectionsCostsNoClient)
{
    // The exit node ends handshakes after 1 s; this relay would keep them 10 s.
    Relay patient(1);
    PoolSettings pool;
    pool.idle = 10s;
    patient.setPool(pool);
    const uint16_t port = patient.listenOne("127.0.0.1", 0);
    patient.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("line1", "s1") } }));
    patient.start();
    int served = 0;
    for (int i = 0; i < 8; ++i) {
        std::string peer;
        Fd fd = open(port, &peer);
        served += peer == "127.0.3.5" && echoes(fd.get(), "late");
        std::this_thread::sleep_for(400ms);
    }
    EXPECT_EQ(served, 8);
    patient.stop();

    // This upstream drops a CONNECT that comes after 100 ms of waiting, without having closed the
    // connection before: the relay finds out only when it uses it.
    std::atomic<int> dropped { 0 };
    Server moody("127.0.0.1", [&](int fd, const std::string&) {
        auto once = [&] {
            char buf[512];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            return n > 0;
        };
        if (!once() || !sendAll(fd, std::string("\x05\x02", 2)) || !once() || !sendAll(fd, std::string("\x01\x00", 2)))
            return;
        const auto ready = std::chrono::steady_clock::now();
        if (!once())
            return;
        if (std::chrono::steady_clock::now() - ready > 100ms) {
            ++dropped;
            return;
        }
        sendAll(fd, std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x00", 10) + "up\n");
    });
    route({ { portA, line("any", "any", moody.port()) } });
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(i == 0 || eventually([&] { return relay.pooledCount() > 0; }));
        std::this_thread::sleep_for(150ms);
        Fd fd = connectTo("127.0.0.1", portA);
        EXPECT_EQ(socksConnect(fd.get(), wireV4("127.0.0.1", 80)), 0) << i;
        EXPECT_EQ(recvLine(fd.get()), "up") << i;
    }
    EXPECT_GE(dropped, 2);
}

// Closed by the relay within the time: EOF or a reset.
bool closedWithin(int fd, std::chrono::milliseconds limit)
{
    pollfd p { fd, POLLIN, 0 };
    if (::poll(&p, 1, int(limit.count())) != 1)
        return false;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

// A target that takes everything, answers nothing and keeps the connection (up to 5 s).
struct SilentTarget {
    std::atomic<bool> release { false };
    std::atomic<int> ended { 0 }; // connections whose sender has finished
    Server server { "127.0.0.1", [this](int fd, const std::string&) {
                       recvUntilClosed(fd);
                       ++ended;
                       for (int i = 0; i < 500 && !release; ++i)
                           std::this_thread::sleep_for(10ms);
                   } };
    ~SilentTarget() { release = true; }
};

TEST_F(SocksTest, AtTheConnectionLimitOldHalfClosedRelaysMakeRoom)
{
    SilentTarget silent;
    Relay full(1);
    Timeouts t;
    t.handshake = 400ms; // sweeps every 100 ms, so half-close times differ between the rounds
    full.setTimeouts(t);
    full.setPool({ 500ms, 0 });
    full.setMaxConnections(12);
    const uint16_t port = full.listenOne("127.0.0.1", 0);
    full.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("line1", "s1") } }));
    full.start();
    auto relayed = [&](uint16_t target) {
        Fd fd = connectTo("127.0.0.1", port);
        EXPECT_EQ(socksConnect(fd.get(), wireV4("127.0.0.1", target)), 0);
        return fd;
    };

    std::vector<Fd> old, live;
    for (int i = 0; i < 10; ++i) {
        old.push_back(relayed(silent.server.port()));
        ::shutdown(old.back().get(), SHUT_WR);
    }
    ASSERT_TRUE(eventually([&] { return silent.ended == 10; }));
    std::this_thread::sleep_for(300ms);
    Fd young = relayed(silent.server.port());
    ::shutdown(young.get(), SHUT_WR);
    ASSERT_TRUE(eventually([&] { return silent.ended == 11; }));
    live.push_back(relayed(silent.server.port()));
    ASSERT_EQ(full.connectionCount(), 12u);

    // A newcomer at the limit: the oldest half-closed relays go, no one else.
    std::string peer;
    Fd newcomer = open(port, &peer);
    EXPECT_EQ(peer, "127.0.3.5");
    int shed = 0;
    for (auto& fd : old)
        shed += closedWithin(fd.get(), 500ms);
    EXPECT_EQ(shed, 8);
    EXPECT_FALSE(closedWithin(young.get(), 100ms));
    EXPECT_FALSE(closedWithin(live.back().get(), 100ms));
    EXPECT_TRUE(echoes(newcomer.get(), "still here"));

    // Full of live relays: a newcomer waits, unanswered, until one of them ends. (Filling up
    // sheds the half-closed ones left.)
    newcomer.reset();
    while (live.size() < 12)
        live.push_back(relayed(silent.server.port()));
    ASSERT_TRUE(eventually([&] { return full.connectionCount() == 12; }));
    Fd waiting = connectTo("127.0.0.1", port);
    ASSERT_TRUE(sendAll(waiting.get(), std::string("\x05\x01\x00", 3)));
    pollfd p { waiting.get(), POLLIN, 0 };
    EXPECT_EQ(::poll(&p, 1, 300), 0) << "answered beyond the limit";
    live.front().reset();
    EXPECT_EQ(recvExactly(waiting.get(), 2), std::string("\x05\x00", 2));
    full.stop();
}

TEST_F(SocksTest, OutOfDescriptorsOldHalfClosedRelaysMakeRoom)
{
    SilentTarget silent;
    Relay lean(1);
    lean.setPool({ 500ms, 0 });
    const uint16_t port = lean.listenOne("127.0.0.1", 0);
    lean.setRoutes(std::make_shared<const RouteTable>(RouteTable { { port, line("line1", "s1") } }));
    lean.start();
    std::vector<Fd> lingering;
    for (int i = 0; i < 12; ++i) {
        Fd fd = connectTo("127.0.0.1", port);
        ASSERT_EQ(socksConnect(fd.get(), wireV4("127.0.0.1", silent.server.port())), 0);
        ::shutdown(fd.get(), SHUT_WR);
        lingering.push_back(std::move(fd));
    }
    ASSERT_TRUE(eventually([&] { return silent.ended == 12; }));

    // This process may open nothing more: holes below the highest descriptor are filled, and the
    // limit is set just above it.
    Fd client(::socket(AF_INET, SOCK_STREAM, 0));
    setTimeout(client.get(), 5000);
    int highest = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(d);
        while (const dirent* e = ::readdir(d))
            if (std::atoi(e->d_name) != own)
                highest = std::max(highest, std::atoi(e->d_name));
        ::closedir(d);
    }
    std::vector<Fd> fillers;
    for (;;) {
        Fd f(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        if (f.get() < 0 || f.get() > highest)
            break;
        fillers.push_back(std::move(f));
    }
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(highest) + 1;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool exhausted = ::open("/dev/null", O_RDONLY) < 0 && errno == EMFILE;

    socklen_t len = 0;
    const auto ss = endpoint("127.0.0.1", port, len);
    const bool reached = ::connect(client.get(), reinterpret_cast<const sockaddr*>(&ss), len) == 0;
    const int rep = reached ? socksConnect(client.get(), wireV4("127.0.0.1", echo.port())) : -1;
    const std::string peer = rep == 0 ? recvLine(client.get()) : std::string();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    fillers.clear();

    ASSERT_TRUE(exhausted);
    EXPECT_EQ(rep, 0);
    EXPECT_EQ(peer, "127.0.3.5");
    int shed = 0;
    for (auto& fd : lingering)
        shed += closedWithin(fd.get(), 200ms);
    EXPECT_GE(shed, 8);
    lean.stop();
}

} // namespace
