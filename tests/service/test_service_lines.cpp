// Line catalogue: every filter narrows to exactly the matching lines; replies carry what the client reads.
#include "servicefixture.h"

#include "payloadcodeccore.h"

#include <set>

using namespace zqtest;

namespace {

const zq::codec::Codec codec;

class LineListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_unique<ServiceProcess>(std::vector<std::string> { "--data", writeTestData(dir) });
        ASSERT_TRUE(service->running());
        session = service->login("alice", "alice-pw");
        ASSERT_FALSE(session.empty());
    }

    json list(Fields fields, const std::string& path = "/api/get_line_list")
    {
        return service->post(path, fields, session);
    }

    // The ids of the returned lines, or {-code} on a refusal.
    std::vector<int> ids(const Fields& fields, const std::string& path = "/api/get_line_list")
    {
        const json r = list(fields, path);
        if (r.value("code", -1) != 0)
            return { -r.value("code", 1) };
        std::vector<int> out;
        for (const auto& l : r["data"])
            out.push_back(l["id"]);
        return out;
    }

    TempDir dir;
    std::unique_ptr<ServiceProcess> service;
    std::string session;
};

} // namespace

TEST_F(LineListTest, FiltersReturnOnlyMatchingLines)
{
    using V = std::vector<int>;
    const std::vector<std::pair<Fields, V>> cases {
        { {}, V { 1, 2, 3, 4, 5, 6 } },
        { { { "country", "" }, { "city", "" }, { "state", "" }, { "postal", "" }, { "isp", "" } },
            V { 1, 2, 3, 4, 5, 6 } },
        { { { "country", "US" } }, V { 1, 2, 3 } },
        { { { "country", "US" }, { "country", "JP" } }, V { 1, 2, 3, 6 } },
        { { { "country", "Germany" } }, V { 4, 5 } },
        { { { "country", "FR" } }, V {} },
        { { { "state", "California" } }, V { 1, 2 } },
        { { { "state", "random" }, { "city", "random" } }, V { 1, 2, 3, 4, 5, 6 } },
        { { { "city", "los angeles" } }, V { 1 } },
        { { { "country", "US" }, { "state", "Texas" }, { "city", "Houston" } }, V { 3 } },
        { { { "postal", "90001" } }, V { 1 } },
        { { { "postal", "100" } }, V { 6 } },
        { { { "isp", "AS7922" } }, V { 1, 3 } },
        { { { "isp", "7922" } }, V { 1, 3 } },
        { { { "isp", "Deutsche Telekom" } }, V { 4 } },
        { { { "country", "US" }, { "state", "California" }, { "isp", "AS7018" } }, V { 2 } },
        { { { "startip", "127.0.2.2" }, { "endip", "127.0.2.4" } }, V { 2, 3, 4 } },
        { { { "startip", "127.0.2.5" }, { "endip", "" } }, V { 5, 6 } },
        { { { "endip", "127.0.2.1" } }, V { 1 } },
        { { { "num", "2" } }, V { 1, 2 } },
        { { { "num", "2" }, { "country", "DE" } }, V { 4, 5 } },
        { { { "plantype", "flow" } }, V { 8, 9 } },
        { { { "plantype", "flow" }, { "postal", "EC1A" } }, V { 9 } },
        // Refusals carry their code.
        { { { "num", "abc" } }, V { -400 } },
        { { { "num", "0" } }, V { -400 } },
        { { { "num", "-3" } }, V { -400 } },
        { { { "startip", "300.1.1.1" } }, V { -400 } },
        { { { "startip", "127.0.2.5" }, { "endip", "127.0.2.1" } }, V { -400 } },
        { { { "plantype", "unlimit" } }, V { -400 } },
        { { { "plantype", "bogus" } }, V { -400 } },
    };
    for (const auto& [fields, expected] : cases) {
        std::string text;
        for (const auto& [k, v] : fields)
            text += k + "=" + v + " ";
        EXPECT_EQ(ids(fields), expected) << text;
    }
    EXPECT_EQ(ids({}, "/unlimit/get_unlimit_list"), (std::vector<int> { 7 }));
    EXPECT_EQ(ids({ { "num", "x" } }, "/unlimit/get_unlimit_list"), (std::vector<int> { -400 }));
}

TEST_F(LineListTest, ReplyFieldsAndAccountCheck)
{
    const json r
        = list({ { "plantype", "flow" }, { "user", codec.encode("alice") }, { "pwd", codec.encode("alice-pw") } });
    ASSERT_EQ(r["code"], 0) << r;
    ASSERT_EQ(r["data"].size(), 2u);
    const json& l = r["data"][0];
    EXPECT_EQ(codec.decode(l["sn"].get<std::string>()), "SN-T-8");
    EXPECT_EQ(l["ip"], "127.0.4.1");
    EXPECT_EQ(l["server"], "127.0.0.1:" + std::to_string(service->exitPort()));
    EXPECT_EQ(l["iso"], "US");
    EXPECT_EQ(l["country"], "United States");
    EXPECT_EQ(l["state"], "California");
    EXPECT_EQ(l["city"], "Los Angeles");
    EXPECT_EQ(l["postal"], "90001");
    EXPECT_EQ(l["isp"], "Comcast");
    EXPECT_EQ(l["plan_type_key"], "flow_test_key");
    EXPECT_TRUE(l.contains("server_region"));
    EXPECT_FALSE(list({})["data"][0].contains("plan_type_key")); // S5 lines have none

    EXPECT_EQ(list({ { "user", "alice" } })["code"], 400); // not codec text
    EXPECT_EQ(list({ { "user", codec.encode("bob") } })["code"], 403);
    EXPECT_EQ(list({ { "pwd", codec.encode("wrong") } })["code"], 403);

    // Tests may ask what the service received.
    const json echo = service->post("/api/get_line_list", { { "country", "US" }, { "country", "DE" }, { "num", "3" } },
        session, { { "x-echo", "1" } });
    EXPECT_EQ(echo["echo"]["country"], json({ "US", "DE" }));
    EXPECT_EQ(echo["echo"]["num"], "3");
}

TEST(DefaultCatalogue, AreasAndLinesAreConsistent)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    const json areas = service.post("/api/get_area_list");
    ASSERT_EQ(areas["code"], 0);
    std::set<std::string> countries;
    for (const auto& c : areas["data"]) {
        countries.insert(c["code"].get<std::string>());
        ASSERT_FALSE(c["state_list"].empty()) << c["name"];
        for (const auto& s : c["state_list"])
            EXPECT_FALSE(s["city_list"].empty()) << s["name"];
    }
    EXPECT_GE(countries.size(), 25u);

    const std::string s = service.login("demo", "demo123");
    std::set<std::string> ips;
    std::size_t total = 0;
    for (const auto& [path, plan] : std::vector<std::pair<std::string, std::string>> { { "/api/get_line_list", "" },
             { "/api/get_line_list", "flow" }, { "/unlimit/get_unlimit_list", "unlimit" } }) {
        const json r = service.post(path, { { "num", "500" }, { "plantype", plan } }, s);
        ASSERT_EQ(r["code"], 0) << path << plan;
        EXPECT_GE(r["data"].size(), 30u);
        for (const auto& l : r["data"]) {
            ++total;
            const std::string ip = l["ip"];
            EXPECT_EQ(ip.rfind("127.", 0), 0u) << ip;
            EXPECT_TRUE(ips.insert(ip).second) << "duplicate " << ip;
            EXPECT_TRUE(countries.count(l["iso"].get<std::string>())) << l["iso"];
            EXPECT_FALSE(codec.decode(l["sn"].get<std::string>()).empty());
        }
    }
    EXPECT_GE(total, 300u);

    for (const char* iso : { "US", "DE", "JP", "BR" }) {
        const json r = service.post("/api/get_line_list", { { "country", iso }, { "num", "50" } }, s);
        ASSERT_FALSE(r["data"].empty()) << iso;
        for (const auto& l : r["data"])
            EXPECT_EQ(l["iso"], iso);
    }
}
