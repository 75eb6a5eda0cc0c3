// The helper as a LAN peer sees it: requests from a network namespace of the test's own over a veth
// pair, and relays whose client has gone while the far end stays silent.

#include "helperfixture.h"

#include <payloadcodeccore.h>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

using namespace std::chrono_literals;
using namespace zq::test;

namespace {

bool run(const std::string& cmd)
{
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace holding one end of a veth pair; the other end stays here. Deleting the namespace
// removes both ends.
class LanNamespace {
public:
    LanNamespace()
    {
        const int pid = ::getpid();
        const int x = pid % 250 + 1;
        m_name = "zqlan" + std::to_string(pid);
        m_hostIf = "zqh" + std::to_string(pid);
        m_peerIf = "zqp" + std::to_string(pid);
        m_hostIp = "10.250." + std::to_string(x) + ".1";
        m_peerIp = "10.250." + std::to_string(x) + ".2";
    }
    ~LanNamespace()
    {
        if (m_made)
            run("ip netns del " + m_name);
        run("ip link del " + m_hostIf); // only there when moving the peer end failed
    }

    // Empty on success, else what could not be set up.
    std::string make()
    {
        if (!run("ip netns add " + m_name))
            return "ip netns add failed";
        m_made = true;
        const std::string in = "ip netns exec " + m_name + " ";
        if (!run("ip link add " + m_hostIf + " type veth peer name " + m_peerIf)
            || !run("ip link set " + m_peerIf + " netns " + m_name)
            || !run("ip addr add " + m_hostIp + "/30 dev " + m_hostIf) || !run("ip link set " + m_hostIf + " up")
            || !run(in + "ip addr add " + m_peerIp + "/30 dev " + m_peerIf)
            || !run(in + "ip link set " + m_peerIf + " up") || !run(in + "ip link set lo up"))
            return "cannot set up the veth pair";
        return {};
    }

    // GET from inside the namespace; the HTTP status (0 when none) and the body.
    std::pair<int, std::string> get(std::uint16_t port, const std::string& pathAndQuery) const
    {
        const std::string cmd = "ip netns exec " + m_name + " curl -s --max-time 5 -w '\\n%{http_code}' 'http://"
            + m_hostIp + ":" + std::to_string(port) + pathAndQuery + "' 2>/dev/null";
        std::string out;
        if (FILE* f = ::popen(cmd.c_str(), "r")) {
            char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                out.append(buf, n);
            ::pclose(f);
        }
        const auto nl = out.rfind('\n');
        if (nl == std::string::npos)
            return { 0, out };
        return { std::atoi(out.c_str() + nl + 1), out.substr(0, nl) };
    }

private:
    std::string m_name, m_hostIf, m_peerIf, m_hostIp, m_peerIp;
    bool m_made = false;
};

using LanPeer = HelperWithService;

TEST_F(LanPeer, OnlyKeyedBulkBindingIsAnswered)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a network namespace and a veth pair";
    LanNamespace lan;
    if (const std::string why = lan.make(); !why.empty())
        GTEST_SKIP() << "no LAN namespace: " << why;
    startPrograms();
    if (HasFatalFailure())
        return;

    const std::string bind = "/ip/numerous_bind?num=1&t=txt&port=" + std::to_string(m_start);
    auto r = lan.get(m_apiPort, bind);
    EXPECT_EQ(r.first, 403) << r.second;
    EXPECT_NE(r.second.find("link key"), std::string::npos) << r.second;
    r = lan.get(m_apiPort, bind + "&key=" + zq::codec::md5Hex("wrong|" + kUnionId));
    EXPECT_EQ(r.first, 403) << r.second;
    EXPECT_EQ(boundCount(), 0u);

    for (const char* path : { "/ip/get_todaylist?isUser=client", "/api/get_server_status" }) {
        r = lan.get(m_apiPort, path);
        EXPECT_EQ(r.first, 403) << path << ": " << r.second;
        EXPECT_EQ(r.second.find("\"data\""), std::string::npos) << path << " leaked: " << r.second;
    }

    r = lan.get(m_apiPort, bind + "&key=" + zq::codec::md5Hex(m_session + "|" + kUnionId));
    EXPECT_EQ(r.first, 200) << r.second;
    EXPECT_EQ(r.second, "127.0.0.1:" + std::to_string(m_start) + "\n");
    EXPECT_EQ(boundCount(), 1u);
}

using HalfClosedRelay = HelperWithService;

TEST_F(HalfClosedRelay, FreesItsDescriptorsWithinTheLinger)
{
    // No warm upstream connections, so the helper's descriptors are its relays alone.
    ::setenv("ZQ_LINGER_MS", "1000", 1);
    ::setenv("ZQ_POOL_MAX", "0", 1);
    startPrograms();
    ::unsetenv("ZQ_LINGER_MS");
    ::unsetenv("ZQ_POOL_MAX");
    if (HasFatalFailure())
        return;
    const auto bound = httpGet(api(), "/ip/numerous_bind?num=1&t=txt&port=" + std::to_string(m_start));
    ASSERT_EQ(bound.second, "127.0.0.1:" + std::to_string(m_start) + "\n") << bound.second;

    HoldTarget silent; // accepts at the kernel level, never reads, writes or closes
    const int pid = m_helper->pid();
    const int before = fdCount(pid);
    std::vector<int> clients;
    for (int i = 0; i < 40; ++i) {
        const auto [fd, code] = socksConnect(m_start, silent.port());
        ASSERT_GE(fd, 0) << "connection " << i << " refused with " << code;
        clients.push_back(fd);
    }
    const int peak = fdCount(pid);
    EXPECT_GE(peak, before + 40);
    for (int fd : clients)
        ::shutdown(fd, SHUT_WR);

    // Only the other direction's linger keeps them now.
    int now = fdCount(pid);
    for (auto end = std::chrono::steady_clock::now() + 5s; now > before + 2 && std::chrono::steady_clock::now() < end;
         now = fdCount(pid))
        std::this_thread::sleep_for(100ms);
    EXPECT_LE(now, before + 2) << "peak " << peak;
    for (int fd : clients)
        EXPECT_TRUE(waitClosed(fd, 200ms));
    for (int fd : clients)
        ::close(fd);
    EXPECT_EQ(httpGet(api(), "/api/get_server_status").first, 200);
}

} // namespace
