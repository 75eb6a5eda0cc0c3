// The helper's parsers: command line, multipart forms, addresses.

#include "apiserver.h"
#include "form.h"
#include "options.h"
#include "proxycore.h"

#include <gtest/gtest.h>

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

} // namespace
