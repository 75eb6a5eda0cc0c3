// Handshake parsers: every message must parse the same whether it arrives whole, byte by byte,
// or followed by the next message; broken input must be told apart from input not yet complete.

#include "handshake.h"

#include <gtest/gtest.h>

using namespace zq::socks;

namespace {
std::string bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s.push_back(char(c));
    return s;
}

// Feeds growing prefixes: NeedMore for each, Good at the full message with `used` == its size.
template <class F> void expectIncremental(const std::string& msg, F parse)
{
    const std::string withNext = msg + "NEXT";
    for (size_t n = 0; n < msg.size(); ++n) {
        size_t used = 0;
        ASSERT_EQ(parse(reinterpret_cast<const uint8_t*>(withNext.data()), n, used), Parse::NeedMore) << "prefix " << n;
    }
    size_t used = 0;
    ASSERT_EQ(parse(reinterpret_cast<const uint8_t*>(withNext.data()), withNext.size(), used), Parse::Good);
    EXPECT_EQ(used, msg.size());
}

Parse request(const std::string& msg, Request& out, Reply& error)
{
    size_t used = 0;
    return parseRequest(reinterpret_cast<const uint8_t*>(msg.data()), msg.size(), used, out, error);
}
} // namespace

TEST(Handshake, MessagesParseIncrementally)
{
    Greeting g;
    auto greeting = [&](const uint8_t* d, size_t n, size_t& u) { return parseGreeting(d, n, u, g); };
    expectIncremental(bytes({ 5, 2, 1, 0 }), greeting); // GSSAPI beside no-auth
    EXPECT_TRUE(g.noAuth);
    EXPECT_FALSE(g.userPass);
    expectIncremental(bytes({ 5, 3, 0x80, 2, 0xfe }), greeting);
    EXPECT_FALSE(g.noAuth);
    EXPECT_TRUE(g.userPass);

    std::string user, pass;
    auto auth = [&](const uint8_t* d, size_t n, size_t& u) { return parseAuth(d, n, u, user, pass); };
    expectIncremental(bytes({ 1, 3, 'a', 'b', 'c', 2, 'x', 'y' }), auth);
    EXPECT_EQ(user, "abc");
    EXPECT_EQ(pass, "xy");
    expectIncremental(bytes({ 1, 1, 'u', 0 }), auth); // empty password
    EXPECT_EQ(pass, "");

    Request req;
    Reply err;
    auto req4 = [&](const uint8_t* d, size_t n, size_t& u) { return parseRequest(d, n, u, req, err); };
    const std::string v4 = bytes({ 5, 1, 0, 1, 127, 0, 0, 1, 0x1f, 0x90 });
    expectIncremental(v4, req4);
    EXPECT_EQ(req.command, 1);
    EXPECT_EQ(req.target.port, 8080);
    EXPECT_EQ(req.target.wire, v4.substr(3));

    std::string v6 = bytes({ 5, 1, 0, 4 }) + std::string(15, '\0') + bytes({ 1, 0, 80 });
    expectIncremental(v6, req4);
    EXPECT_EQ(req.target.type, AddressType::IPv6);
    EXPECT_EQ(req.target.ip[15], 1);

    const std::string longName(255, 'a');
    const std::string domain = bytes({ 5, 1, 0, 3, 255 }) + longName + bytes({ 0, 80 });
    expectIncremental(domain, req4);
    EXPECT_EQ(req.target.host, longName);
    EXPECT_EQ(makeRequest(req), domain); // forwarded unchanged

    std::uint8_t code = 0;
    auto reply = [&](const uint8_t* d, size_t n, size_t& u) { return parseReply(d, n, u, code); };
    expectIncremental(makeReply(Reply::ConnectionRefused), reply);
    EXPECT_EQ(code, 0x05);
    expectIncremental(bytes({ 5, 0, 0, 3, 4, 'h', 'o', 's', 't', 0, 1 }), reply);
    EXPECT_EQ(code, 0x00);
}

TEST(Handshake, BrokenInputIsBadWithTheRightReply)
{
    struct Case {
        const char* name;
        std::string msg;
        Reply error;
    };
    const std::vector<Case> cases {
        { "SOCKS4 request", bytes({ 4, 1, 0, 80, 127, 0, 0, 1, 0 }), Reply::Succeeded },
        { "HTTP", "GET / HTTP/1.1\r\n\r\n", Reply::Succeeded },
        { "unknown address type", bytes({ 5, 1, 0, 9, 1, 2, 3, 4, 0, 80 }), Reply::AddressTypeNotSupported },
        { "empty domain", bytes({ 5, 1, 0, 3, 0, 0, 80 }), Reply::GeneralFailure },
        { "NUL in domain", bytes({ 5, 1, 0, 3, 2, 'a', 0, 0, 80 }), Reply::GeneralFailure },
    };
    for (const auto& c : cases) {
        Request req;
        Reply err = Reply::Succeeded;
        EXPECT_EQ(request(c.msg, req, err), Parse::Bad) << c.name;
        EXPECT_EQ(err, c.error) << c.name;
    }

    Greeting g;
    size_t used = 0;
    const std::string noMethods = bytes({ 5, 0 });
    EXPECT_EQ(parseGreeting(reinterpret_cast<const uint8_t*>(noMethods.data()), 2, used, g), Parse::Bad);
    const std::string v4 = bytes({ 4, 1 });
    EXPECT_EQ(parseGreeting(reinterpret_cast<const uint8_t*>(v4.data()), 2, used, g), Parse::Bad);
    std::string user, pass;
    const std::string badAuth = bytes({ 5, 1, 'a', 1, 'b' });
    EXPECT_EQ(
        parseAuth(reinterpret_cast<const uint8_t*>(badAuth.data()), badAuth.size(), used, user, pass), Parse::Bad);
    EXPECT_TRUE(makeAuth(std::string(256, 'u'), "p").empty());
}
