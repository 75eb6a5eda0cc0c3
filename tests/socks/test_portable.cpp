// The portable data path (Windows' only one) on Linux: Relay and ExitNode copy through their
// buffers instead of splicing, and tell gone peers by peeking. Real loopback sockets, bytes in
// both directions at once, half-closes from either end, and chatty small messages.

#include "exitnode.h"
#include "relay.h"
#include "sysport.h"
#include "testnet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string_view>

using namespace zq::socks;
using namespace testnet;
using namespace std::chrono_literals;

namespace {

// Bytes that differ per connection and per position, so a mix-up or a lost block shows.
std::string pattern(std::size_t n, std::uint32_t seed)
{
    std::string out(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : out) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return out;
}

// Echoes, and on the client's EOF sends "[eof]" before closing.
void echoTarget(int fd, const std::string&)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0)
            sendAll(fd, "[eof]");
        if (n <= 0 || !sendAll(fd, std::string(buf, size_t(n))))
            return;
    }
}

class PortablePath : public ::testing::Test {
protected:
    void SetUp() override
    {
        exitNode.setPortable(true);
        relay.setPortable(true);
        const uint16_t exitPort = exitNode.listen("127.0.0.1", 0);
        ASSERT_NE(exitPort, 0);
        port = relay.listenOne("127.0.0.1", 0);
        ASSERT_NE(port, 0);
        relay.setRoutes(std::make_shared<const RouteTable>(
            RouteTable { { port, std::make_shared<const Route>(Route { "127.0.0.1", exitPort, "line", "pw" }) } }));
        exitNode.start();
        relay.start();
    }

    void TearDown() override
    {
        relay.stop();
        exitNode.stop();
    }

    // `receiveBuffer` > 0: a small fixed window, so the relay meets a full receiver at once.
    Fd open(uint16_t target, int receiveBuffer = 0)
    {
        Fd fd(::socket(AF_INET, SOCK_STREAM, 0));
        setTimeout(fd.get(), 5000);
        if (receiveBuffer > 0)
            ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        socklen_t len = 0;
        const auto ss = endpoint("127.0.0.1", port, len);
        EXPECT_EQ(::connect(fd.get(), reinterpret_cast<const sockaddr*>(&ss), len), 0);
        EXPECT_EQ(socksConnect(fd.get(), wireV4("127.0.0.1", target)), 0);
        return fd;
    }

    std::atomic<uint64_t> counted { 0 };
    ExitNode exitNode { [this](const std::string& user, const std::string& pass) -> std::optional<ExitGrant> {
                           if (user != "line" || pass != "pw")
                               return std::nullopt;
                           return ExitGrant { "127.0.3.9", [this](uint64_t n) { counted += n; } };
                       },
        2 };
    Relay relay { 2 };
    uint16_t port = 0;
};

TEST(PortableDefault, FollowsTheEnvironmentWhereSpliceExists)
{
    const char* v = std::getenv("ZQ_PORTABLE_DATAPLANE");
    const bool forced = v && *v && std::string_view(v) != "0";
    Relay relay(1);
    EXPECT_EQ(relay.portable(), forced);
    relay.setPortable(true);
    EXPECT_TRUE(relay.portable());
}

TEST_F(PortablePath, BulkBothWaysOnSeveralConnectionsWithSlowReaders)
{
    Server echo("127.0.0.1", echoTarget);
    // More than the kernel's (self-growing) send buffers take, into a small window read late: the
    // relay's writes to the client are cut short and it must keep the rest, in order, aside.
    constexpr std::size_t kBytes = 12 * 1024 * 1024;
    constexpr int kConnections = 3;
    std::vector<std::future<std::string>> results;
    for (int i = 0; i < kConnections; ++i) {
        results.push_back(std::async(std::launch::async, [&, i] {
            Fd fd = open(echo.port(), 4096);
            const std::string sent = pattern(kBytes, uint32_t(i));
            std::thread writer([&] {
                sendAll(fd.get(), sent);
                ::shutdown(fd.get(), SHUT_WR);
            });
            std::this_thread::sleep_for(200ms);
            std::string back = recvExactly(fd.get(), 1000);
            back += recvExactly(fd.get(), kBytes - back.size());
            std::string tail;
            recvUntilClosed(fd.get(), &tail);
            writer.join();
            if (back == sent)
                return tail;
            const auto differ = std::mismatch(back.begin(), back.end(), sent.begin(), sent.end());
            return "got " + std::to_string(back.size()) + " bytes, first wrong at "
                + std::to_string(differ.first - back.begin());
        }));
    }
    for (auto& r : results)
        EXPECT_EQ(r.get(), "[eof]");
    // Every byte in either direction is counted once, the "[eof]" too.
    const uint64_t expected = kConnections * (2 * kBytes + 5);
    for (int i = 0; i < 500 && counted != expected; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(counted, expected);
}

TEST_F(PortablePath, HalfClosesPassFromEitherEnd)
{
    // The client ends first: the target still answers after its EOF.
    {
        Server echo("127.0.0.1", echoTarget);
        Fd fd = open(echo.port());
        ASSERT_TRUE(sendAll(fd.get(), "last words"));
        ::shutdown(fd.get(), SHUT_WR);
        std::string rest;
        EXPECT_TRUE(recvUntilClosed(fd.get(), &rest));
        EXPECT_EQ(rest, "last words[eof]");
    }
    // The target ends first: the client reads the end and may still send.
    std::promise<std::string> heard;
    Server early("127.0.0.1", [&](int fd, const std::string&) {
        sendAll(fd, "bye");
        ::shutdown(fd, SHUT_WR);
        std::string got;
        recvUntilClosed(fd, &got);
        heard.set_value(got);
    });
    Fd fd = open(early.port());
    std::string first;
    EXPECT_TRUE(recvUntilClosed(fd.get(), &first));
    EXPECT_EQ(first, "bye");
    ASSERT_TRUE(sendAll(fd.get(), "still talking"));
    ::shutdown(fd.get(), SHUT_WR);
    auto got = heard.get_future();
    ASSERT_EQ(got.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(got.get(), "still talking");
}

TEST_F(PortablePath, SmallMessagesGoAtOnce)
{
    Server echo("127.0.0.1", echoTarget);
    Fd fd = open(echo.port());
    const auto began = std::chrono::steady_clock::now();
    for (int i = 1; i <= 300; ++i) {
        const std::string msg = pattern(std::size_t(i), uint32_t(1000 + i));
        ASSERT_TRUE(sendAll(fd.get(), msg));
        ASSERT_EQ(recvExactly(fd.get(), msg.size()), msg) << "round " << i;
    }
    // A relay that waited for more bytes (Nagle, delayed ACKs) would take 40 ms a round.
    EXPECT_LT(std::chrono::steady_clock::now() - began, 3s);
}

// The peek that tells a gone client without a hang-up event.
TEST(SysPort, PeekTellsQuietDataEndAndReset)
{
    std::promise<int> accepted;
    std::promise<void> release;
    auto done = release.get_future().share();
    Server server("127.0.0.1", [&](int fd, const std::string&) {
        accepted.set_value(fd);
        done.wait_for(10s);
    });
    Fd a = connectTo("127.0.0.1", server.port());
    auto got = accepted.get_future();
    ASSERT_EQ(got.wait_for(5s), std::future_status::ready);
    const int b = got.get();
    using zq::sys::PeerState;
    EXPECT_EQ(zq::sys::peekPeer(b), PeerState::Quiet);
    sendAll(a.get(), "x");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(zq::sys::peekPeer(b), PeerState::Data);
    EXPECT_EQ(zq::sys::peekPeer(b), PeerState::Data) << "a peek must not take the byte";
    recvExactly(b, 1);
    ::shutdown(a.get(), SHUT_WR);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(zq::sys::peekPeer(b), PeerState::Ended);
    // Closing with unread bytes resets.
    sendAll(b, "unread");
    std::this_thread::sleep_for(50ms);
    a.reset();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(zq::sys::peekPeer(b), PeerState::Failed);
    release.set_value();
}

TEST(SysPort, ProcessesAreToldAliveOrGone)
{
    EXPECT_TRUE(zq::sys::processAlive(zq::sys::processId()));
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(zq::sys::processAlive(int(child)));
    zq::sys::ParentWatch parent;
    EXPECT_TRUE(parent.alive());
}

} // namespace
