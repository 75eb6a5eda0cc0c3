// The helper's parsers (command line, multipart forms, addresses) and its probe cache.

#include "apiserver.h"
#include "exitprobe.h"
#include "form.h"
#include "options.h"
#include "proxycore.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

using namespace zq::clientproxy;

namespace {

std::vector<std::string> clientArgs()
{
    return { "-api_port=10005", "-user=demo", "-pwd=a=b c", "-proxy_port_start=1000", "-proxy_port_num=100",
        "-program_port=300", "-uuid=abc", "-inner_ip=192.168.1.7", "-udp_port=100", "-sessionid=s1" };
}

TEST(Options, ParsesTheClientsTenArguments)
{
    std::string error;
    const auto o = parseOptions(clientArgs(), error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->apiPort, 10005);
    EXPECT_EQ(o->password, "a=b c"); // only the first '=' separates
    EXPECT_EQ(o->startPort, 1000);
    EXPECT_EQ(o->portNum, 100);
    EXPECT_EQ(o->programPort, 300);
    EXPECT_EQ(o->innerIp, "192.168.1.7");
    EXPECT_EQ(o->udpPort, 100);
    EXPECT_EQ(o->sessionId, "s1");
    EXPECT_EQ(o->rangePorts().size(), 100u);

    auto args = clientArgs();
    args[0] = "-api_port=1050"; // inside the range: not a SOCKS port
    const auto inside = parseOptions(args, error);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->rangePorts().size(), 99u);
}

TEST(Options, RefusesBadArguments)
{
    const std::vector<std::pair<std::size_t, std::string>> bad {
        { 0, "-api_port=0" },
        { 0, "-api_port=65536" },
        { 0, "-api_port=12a" },
        { 0, "-api_port=-5" },
        { 0, "-api_port=" },
        { 3, "-proxy_port_start=65500" }, // with 100 ports: past 65535
        { 8, "-udp_port=x" },
        { 1, "-colour=blue" },
        { 1, "user=demo" },
        { 1, "-user" },
        { 2, "-user=again" },
    };
    for (const auto& [index, value] : bad) {
        auto args = clientArgs();
        args[index] = value;
        std::string error;
        EXPECT_FALSE(parseOptions(args, error)) << value;
        EXPECT_FALSE(error.empty()) << value;
    }
    std::string error;
    EXPECT_FALSE(parseOptions({ "-user=demo" }, error)); // API port and range are required
}

TEST(FormParser, ReadsFieldsAndTheClientsEmptyForm)
{
    using zq::peers::FormFields;
    const std::string type = "multipart/form-data; boundary=XyZ";
    std::string error;
    const auto empty = FormFields::parse(type, "--XyZ--\r\n", &error);
    ASSERT_TRUE(empty) << error;
    EXPECT_EQ(empty->size(), 0u);

    const std::string body = "--XyZ\r\nContent-Disposition: form-data; name=\"port\"\r\n\r\n1005\r\n"
                             "--XyZ\r\nContent-Disposition: form-data; name=\"sn\"; filename=\"x\"\r\n"
                             "Content-Type: text/plain\r\n\r\nline\r\none\r\n--XyZ--\r\n";
    const auto f = FormFields::parse(type, body, &error);
    ASSERT_TRUE(f) << error;
    EXPECT_EQ(f->value("port"), "1005");
    EXPECT_EQ(f->value("sn"), "line\r\none");

    const auto quoted = FormFields::parse("multipart/form-data; boundary=\"a b\"", "--a b--\r\n", &error);
    EXPECT_TRUE(quoted) << error;
    for (const std::string& broken : { std::string("--XyZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nno end"),
             std::string("--XyZ\r\nno headers end"), std::string("garbage"),
             std::string("--XyZ\r\nContent-Type: text/plain\r\n\r\nv\r\n--XyZ--") }) {
        error.clear();
        EXPECT_FALSE(FormFields::parse(type, broken, &error)) << broken;
        EXPECT_FALSE(error.empty());
    }
}

TEST(Addresses, LoopbackHostPortAndIpv4)
{
    EXPECT_TRUE(isLoopbackAddress("127.0.0.1"));
    EXPECT_TRUE(isLoopbackAddress("127.3.4.5"));
    EXPECT_TRUE(isLoopbackAddress("::1"));
    EXPECT_TRUE(isLoopbackAddress("::ffff:127.0.0.1"));
    EXPECT_FALSE(isLoopbackAddress("192.168.1.7"));
    EXPECT_FALSE(isLoopbackAddress("::ffff:10.0.0.1"));
    EXPECT_FALSE(isLoopbackAddress("127.example.com"));
    EXPECT_FALSE(isLoopbackAddress(""));

    std::string host;
    std::uint16_t port = 0;
    EXPECT_TRUE(splitHostPort("127.0.2.17:18090", host, port));
    EXPECT_EQ(host, "127.0.2.17");
    EXPECT_EQ(port, 18090);
    EXPECT_TRUE(splitHostPort("[::1]:80", host, port));
    EXPECT_EQ(host, "::1");
    for (const char* bad : { "127.0.0.1", "127.0.0.1:", ":80", "h:0", "h:65536", "::1:80", "h:8x" })
        EXPECT_FALSE(splitHostPort(bad, host, port)) << bad;

    EXPECT_TRUE(isDottedIpv4("10.0.0.255"));
    for (const char* bad : { "10.0.0", "10.0.0.256", "1.2.3.4.5", "a.b.c.d", "1..2.3", "0001.1.1.1" })
        EXPECT_FALSE(isDottedIpv4(bad)) << bad;
}

// A prober that answers from a script and counts the questions.
struct ScriptedProber {
    std::vector<ProbeVerdict> answers;
    int asked = 0;
    ProbeCache::Prober fn()
    {
        return [this](const std::string&, const std::string&, const std::string&) {
            const auto v = answers.at(std::min<std::size_t>(asked++, answers.size() - 1));
            return ProbeResult { v, v == ProbeVerdict::Accepted ? "success" : verdictWord(v) };
        };
    }
};

TEST(ProbeCache, KeepsOnlyDefiniteAnswers)
{
    using V = ProbeVerdict;
    const auto ttl = std::chrono::seconds(10);
    const auto pause = std::chrono::milliseconds(1);
    struct Case {
        const char* what;
        std::vector<V> answers;
        V first; // verdict of the first probe
        int askedFirst;
        V second; // verdict of a probe right after
        int askedTotal;
    };
    const std::vector<Case> cases {
        { "accepted is remembered", { V::Accepted }, V::Accepted, 1, V::Accepted, 1 },
        { "unreachable is asked again", { V::Unreachable, V::Accepted }, V::Unreachable, 1, V::Accepted, 2 },
        { "confirmed refusal is remembered", { V::Refused, V::Refused }, V::Refused, 2, V::Refused, 2 },
        { "refusal not confirmed", { V::Refused, V::Accepted }, V::Accepted, 2, V::Accepted, 2 },
        { "refusal then outage stays open", { V::Refused, V::Unreachable, V::Accepted }, V::Unreachable, 2, V::Accepted,
            3 },
    };
    for (const auto& c : cases) {
        ScriptedProber prober { c.answers };
        ProbeCache cache(ttl, prober.fn(), pause);
        EXPECT_EQ(cache.probe("127.0.0.1:1", "u", "p").verdict, c.first) << c.what;
        EXPECT_EQ(prober.asked, c.askedFirst) << c.what;
        EXPECT_EQ(cache.probe("127.0.0.1:1", "u", "p").verdict, c.second) << c.what;
        EXPECT_EQ(prober.asked, c.askedTotal) << c.what;
    }

    // A new binding of the same credentials is asked afresh.
    ScriptedProber prober { { V::Refused, V::Refused, V::Accepted } };
    ProbeCache cache(ttl, prober.fn(), pause);
    EXPECT_TRUE(cache.probe("127.0.0.1:1", "u", "p").refused());
    cache.forget("127.0.0.1:1", "u", "p");
    EXPECT_TRUE(cache.probe("127.0.0.1:1", "u", "p").accepted());
}

// One-connection exit node on loopback: answers the greeting and the credentials with the given
// bytes; an empty answer closes the connection at that point.
class ScriptedExitNode {
public:
    ScriptedExitNode(std::string greetingReply, std::string authReply)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, greetingReply, authReply] {
            pollfd p { m_fd, POLLIN, 0 };
            if (::poll(&p, 1, 3000) != 1)
                return;
            const int c = ::accept(m_fd, nullptr, nullptr);
            char buf[600];
            timeval tv { 3, 0 };
            ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            for (const std::string* reply : { &greetingReply, &authReply }) {
                if (reply->empty() || ::recv(c, buf, sizeof buf, 0) <= 0)
                    break;
                ::send(c, reply->data(), reply->size(), MSG_NOSIGNAL);
            }
            ::close(c);
        });
    }
    ~ScriptedExitNode()
    {
        m_thread.join();
        ::close(m_fd);
    }
    std::uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
};

TEST(ExitProbe, OnlyACredentialRefusalIsDefinite)
{
    using V = ProbeVerdict;
    const std::string userPass("\x05\x02", 2);
    const struct {
        const char* what;
        std::string greeting, auth;
        V expected;
    } cases[] {
        { "accepted", userPass, std::string("\x01\x00", 2), V::Accepted },
        { "credentials refused", userPass, std::string("\x01\x01", 2), V::Refused },
        { "closed after accept", "", "", V::Unreachable },
        { "closed after the greeting", userPass, "", V::Unreachable },
        { "no acceptable method", std::string("\x05\xff", 2), "", V::Unreachable },
        { "not SOCKS5", "HTTP/1.1 400 Bad Request\r\n\r\n", "", V::Unreachable },
    };
    for (const auto& c : cases) {
        ScriptedExitNode node(c.greeting, c.auth);
        const auto r = probeExitNode("127.0.0.1", node.port(), "SN-1", "sess", std::chrono::milliseconds(2000));
        EXPECT_EQ(r.verdict, c.expected) << c.what << ": " << r.msg;
        EXPECT_EQ(r.msg == "success", c.expected == V::Accepted) << c.what;
    }

    // Nothing listens on a port just released.
    std::uint16_t closedPort;
    {
        ScriptedExitNode node("", "");
        closedPort = node.port();
        probeExitNode("127.0.0.1", closedPort, "u", "p", std::chrono::milliseconds(500)); // lets it finish
    }
    EXPECT_EQ(probeExitNode("127.0.0.1", closedPort, "u", "p", std::chrono::milliseconds(500)).verdict, V::Unreachable);
    ProbeCache cache(std::chrono::seconds(10));
    EXPECT_EQ(cache.probe("not-an-address", "u", "p").verdict, V::Unreachable);
}

} // namespace
