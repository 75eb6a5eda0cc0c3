// The multipart reader the peers use instead of httplib's (which refuses forms without parts).
#include "form.h"
#include "hostport.h"

#include <gtest/gtest.h>

using zq::peers::FormFields;

namespace {

const std::string kType = "multipart/form-data; boundary=\"b_.oOo._X\"";

std::string part(const std::string& name, const std::string& value)
{
    return "--b_.oOo._X\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

} // namespace

TEST(FormFields, ReadsWhatTheClientSends)
{
    std::string error;
    // No parts at all: what a call without fields sends.
    auto empty = FormFields::parse(kType, "--b_.oOo._X--\r\n", &error);
    ASSERT_TRUE(empty) << error;
    EXPECT_EQ(empty->size(), 0u);

    const std::string body = part("country", "US") + part("country", "DE") + part("user", "a\r\nb--c")
        + part("empty", "") + "--b_.oOo._X--\r\n";
    auto form = FormFields::parse(kType, body, &error);
    ASSERT_TRUE(form) << error;
    EXPECT_EQ(form->all("country"), (std::vector<std::string> { "US", "DE" }));
    EXPECT_EQ(form->value("user"), "a\r\nb--c"); // CRLF and dashes inside a value survive
    EXPECT_TRUE(form->has("empty"));
    EXPECT_EQ(form->value("empty", "x"), "");
    EXPECT_FALSE(form->get("missing"));
    EXPECT_EQ(form->toJson()["country"], nlohmann::json({ "US", "DE" }));

    // Unquoted boundary, preamble, part Content-Type header, epilogue.
    auto other = FormFields::parse("multipart/form-data; boundary=xyz",
        "preamble\r\n--xyz\r\nContent-Disposition: form-data; name=\"a\"\r\n"
        "Content-Type: text/plain\r\n\r\n1\r\n--xyz--\r\nepilogue",
        &error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(other->value("a"), "1");
}

TEST(FormFields, RefusesBrokenBodies)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "multipart/form-data", "--x--\r\n" }, // no boundary parameter
        { kType, "no delimiter here" },
        { kType, "--b_.oOo._X\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nvalue" }, // never closed
        { kType, "--b_.oOo._X\r\nContent-Disposition: form-data\r\n\r\nv\r\n--b_.oOo._X--" }, // no name
        { kType, "--b_.oOo._X\r\nContent-Disposition: form-data; name=\"a\"" }, // headers cut
        { kType, "--b_.oOo._Xjunk\r\n" },
    };
    for (const auto& [type, body] : cases) {
        std::string error;
        EXPECT_FALSE(FormFields::parse(type, body, &error)) << body;
        EXPECT_NE(error.find("malformed multipart form"), std::string::npos) << body;
    }
}

TEST(HostPort, ParsesListenArguments)
{
    auto hp = zq::peers::parseHostPort("127.0.0.1:0");
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "127.0.0.1");
    EXPECT_EQ(hp->port, 0);
    auto v6 = zq::peers::parseHostPort("[::1]:18080");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 18080);
    for (const char* bad : { "", "127.0.0.1", ":80", "host:", "host:65536", "host:8o", "[::1]80", "host:-1" })
        EXPECT_FALSE(zq::peers::parseHostPort(bad)) << bad;
}
