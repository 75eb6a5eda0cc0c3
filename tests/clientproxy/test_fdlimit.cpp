// The helper under a small descriptor limit: a burst of relays towards a silent target uses up
// its descriptors; once the attacker has gone, new clients and the API are served again within
// seconds, with the default linger of half-closed relays.

#include "helperfixture.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;
using namespace zq::test;

namespace {

constexpr int kHelperLimit = 256;
constexpr int kAttempts = 1000;
const char* const kPrlimit = "/usr/bin/prlimit";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A client that greets and asks for `target` in one send, without waiting for any answer.
// Returns -1 when the connection does not complete within the timeout.
int pipelinedConnect(std::uint16_t proxyPort, std::uint16_t target, std::chrono::milliseconds timeout)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(proxyPort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    pollfd p { fd, POLLOUT, 0 };
    int err = 0;
    socklen_t len = sizeof err;
    if (::poll(&p, 1, int(timeout.count())) != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err) {
        ::close(fd);
        return -1;
    }
    const unsigned char hello[] = { 5, 1, 0, 5, 1, 0, 1, 127, 0, 0, 1, static_cast<unsigned char>(target >> 8),
        static_cast<unsigned char>(target & 0xff) };
    ::send(fd, hello, sizeof hello, MSG_NOSIGNAL);
    return fd;
}

// Reads what the helper answered so far, so that closing sends a plain FIN (the slow case for the
// helper: it cannot tell a full close from a half-close) rather than a reset.
void drain(int fd)
{
    char buf[256];
    while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) { }
}

// A short plain request through the bound port; the exit address that reached the target, or
// empty when the helper did not carry it.
std::string fetchThrough(std::uint16_t proxyPort, std::uint16_t target)
{
    const auto r = curl({ "--max-time", "2", "--socks5", "127.0.0.1:" + std::to_string(proxyPort),
        "http://127.0.0.1:" + std::to_string(target) + "/" });
    return r.exitCode == 0 ? r.out : std::string();
}

// Whether the helper sent anything yet (its method choice), without taking it.
bool answered(int fd)
{
    char c;
    return ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

class DescriptorExhaustion : public HelperWithService {
protected:
    int apiStatus()
    {
        httplib::Client cli(api());
        cli.set_connection_timeout(2, 0);
        cli.set_read_timeout(2, 0);
        const auto res = cli.Get("/api/get_server_status");
        return res ? res->status : 0;
    }
};

TEST_F(DescriptorExhaustion, HelperServesAgainSoonAfterTheAttackerLeaves)
{
    if (::access(kPrlimit, X_OK) != 0)
        GTEST_SKIP() << kPrlimit << " is missing";
    // The attacker's own sockets need room above the helper's.
    rlimit own {};
    ::getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = own.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &own);
    if (own.rlim_cur < rlim_t(kHelperLimit * 2))
        GTEST_SKIP() << "the test itself may open only " << own.rlim_cur << " descriptors";
    const int attempts = int(std::min<rlim_t>(kAttempts, own.rlim_cur - 64));

    // Default linger and pool: the helper as the client starts it.
    ::unsetenv("ZQ_LINGER_MS");
    ::unsetenv("ZQ_POOL_MAX");
    startPrograms({ kPrlimit, "--nofile=" + std::to_string(kHelperLimit) });
    if (HasFatalFailure())
        return;
    const auto bound = httpGet(api(), "/ip/numerous_bind?num=1&t=txt&port=" + std::to_string(m_start));
    ASSERT_EQ(bound.second, "127.0.0.1:" + std::to_string(m_start) + "\n") << bound.second;
    PeerTarget target;
    const std::string exitIp = fetchThrough(m_start, target.port());
    ASSERT_FALSE(exitIp.empty()) << "no relay before the attack";

    HoldTarget silent;
    const int pid = m_helper->pid();
    std::vector<int> attackers;
    const auto attackStart = Clock::now();
    for (int i = 0; i < attempts && Clock::now() - attackStart < 10s; ++i) {
        const int fd = pipelinedConnect(m_start, silent.port(), 500ms);
        if (fd >= 0)
            attackers.push_back(fd);
    }
    // The helper takes what it can and leaves the rest waiting.
    int peak = fdCount(pid);
    for (auto end = Clock::now() + 2s; Clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
        peak = std::max(peak, fdCount(pid));
    }
    const auto served = std::count_if(attackers.begin(), attackers.end(), answered);
    ASSERT_LT(served, long(attackers.size())) << "the helper was never full";
    ASSERT_GE(peak, kHelperLimit * 3 / 4) << "the attack did not tie up the helper's descriptors";
    EXPECT_TRUE(m_helper->waitExit(0ms) == std::nullopt) << "the helper died under the attack";
    EXPECT_EQ(apiStatus(), 200) << "the API did not answer during the attack (" << served << " of " << attackers.size()
                                << " attackers served, " << peak << " descriptors)";

    for (int fd : attackers) {
        drain(fd);
        ::close(fd);
    }
    const auto gone = Clock::now();

    // A well-behaved client gets through within a few seconds, not after the linger.
    std::string got;
    while (got.empty() && Clock::now() - gone < 5s) {
        got = fetchThrough(m_start, target.port());
        if (got.empty())
            std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(got, exitIp) << "no relay " << secondsSince(gone) << " s after the attacker left; helper holds "
                           << fdCount(pid) << " descriptors";
    std::printf("%zu attacker connections, %ld served, peak %d descriptors; served again after %.1f s\n",
        attackers.size(), long(served), peak, secondsSince(gone));

    if (got.empty())
        return;
    EXPECT_EQ(apiStatus(), 200) << "the API did not answer after the attack";
    // And keeps serving: a few clients in a row, none refused.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(fetchThrough(m_start, target.port()), exitIp) << "client " << i << " after recovery";
}

} // namespace
