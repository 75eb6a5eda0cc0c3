// Bindings registered by the local helper: charging, refusals, today list, favourites, exit node.
#include "servicefixture.h"

#include "payloadcodeccore.h"

#include <atomic>
#include <thread>

using namespace zqtest;

namespace {

const zq::codec::Codec codec;

class BindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_unique<ServiceProcess>(std::vector<std::string> { "--data", writeTestData(dir) });
        ASSERT_TRUE(service->running());
        alice = service->login("alice", "alice-pw");
        bob = service->login("bob", "bob-pw");
        ASSERT_FALSE(alice.empty());
        ASSERT_FALSE(bob.empty());
    }

    static Fields bindFields(const std::string& user, int line, const std::string& ip, const std::string& plan,
        const std::string& charge, const std::string& session = "sess")
    {
        return { { "username", user }, { "sn", codec.encode("SN-T-" + std::to_string(line)) }, { "ip", ip },
            { "server", "127.0.0.1:1" }, { "port", "1005" }, { "session_id", session }, { "plan", plan },
            { "charge", charge }, { "bind_type", "Manual" } };
    }

    json bind(const std::string& session, const Fields& fields) const
    {
        return service->post("/api/session/bind", fields, session);
    }

    int ipNums(const std::string& session) const
    {
        return service->post("/api/socks/get_ip", {}, session)["ret_data"]["ip_num"];
    }

    std::string curlThroughExit(const std::string& user, const std::string& password, int targetPort) const
    {
        const std::string cmd = "curl -s --max-time 5 -x socks5://" + user + ":" + password + "@127.0.0.1:"
            + std::to_string(service->exitPort()) + " http://127.0.0.1:" + std::to_string(targetPort) + "/ 2>/dev/null";
        return runCommand(cmd);
    }

    TempDir dir;
    std::unique_ptr<ServiceProcess> service;
    std::string alice;
    std::string bob;
};

// A target that answers with the address the connection came from.
class PeerEcho {
public:
    PeerEcho()
    {
        m_server.Get("/", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.remote_addr + "\n" + std::string(1500, '.'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~PeerEcho()
    {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace

TEST_F(BindTest, ChargesOneIpPerChargedS5Binding)
{
    const json first = bind(alice, bindFields("alice", 1, "127.0.2.1", "S5", "1"));
    ASSERT_EQ(first["code"], 0) << first;
    EXPECT_EQ(first["msg"], "success");
    EXPECT_EQ(first["ret_data"]["ip_nums"], 1);
    EXPECT_EQ(first["ret_data"]["exit_user"], "SN-T-1");

    const json free = bind(alice, bindFields("alice", 2, "127.0.2.2", "S5", "0"));
    EXPECT_EQ(free["code"], 0);
    EXPECT_EQ(free["ret_data"]["ip_nums"], 1);
    EXPECT_EQ(bind(alice, bindFields("alice", 3, "127.0.2.3", "S5", "1"))["ret_data"]["ip_nums"], 0);

    const json refused = bind(alice, bindFields("alice", 4, "127.0.2.4", "S5", "1"));
    EXPECT_EQ(refused["code"], 403);
    EXPECT_NE(refused["msg"].get<std::string>().find("No IPs left"), std::string::npos);
    EXPECT_EQ(ipNums(alice), 0);
    // Re-binding without a charge still works at zero.
    EXPECT_EQ(bind(alice, bindFields("alice", 4, "127.0.2.4", "S5", "0"))["code"], 0);
}

TEST_F(BindTest, RefusesExhaustedTrafficAndExpiredPlan)
{
    const json flow = bind(bob, bindFields("bob", 8, "127.0.4.1", "flow", "0"));
    EXPECT_EQ(flow["code"], 403);
    EXPECT_NE(flow["msg"].get<std::string>().find("traffic"), std::string::npos);
    const json unlimit = bind(bob, bindFields("bob", 7, "127.0.3.1", "unlimit", "0"));
    EXPECT_EQ(unlimit["code"], 403);
    EXPECT_NE(unlimit["msg"].get<std::string>().find("expired"), std::string::npos);
    EXPECT_EQ(bind(bob, bindFields("bob", 1, "127.0.2.1", "S5", "1"))["code"], 403);
    // The same lines bind for an account with traffic and a valid plan.
    EXPECT_EQ(bind(alice, bindFields("alice", 8, "127.0.4.1", "flow", "0"))["code"], 0);
    EXPECT_EQ(bind(alice, bindFields("alice", 7, "127.0.3.1", "unlimit", "0"))["code"], 0);
}

TEST_F(BindTest, RefusesBadFields)
{
    const Fields good = bindFields("alice", 1, "127.0.2.1", "S5", "1");
    auto with = [&](const std::string& name, const std::string& value) {
        Fields f;
        for (const auto& [k, v] : good)
            if (k != name)
                f.emplace_back(k, v);
        if (value != "<absent>")
            f.emplace_back(name, value);
        return f;
    };
    const std::vector<std::tuple<std::string, std::string, std::string>> cases {
        { "username", "<absent>", "username" },
        { "username", "bob", "does not match" },
        { "sn", "<absent>", "sn" },
        { "sn", "plain-text", "codec" },
        { "sn", codec.encode("SN-nope"), "unknown line" },
        { "ip", "127.0.2.9", "not the exit IP" },
        { "plan", "flow", "S5 line" },
        { "plan", "gold", "plan" },
        { "charge", "2", "charge" },
        { "port", "abc", "port" },
        { "port", "70000", "port" },
        { "bind_type", "Auto", "bind_type" },
        { "session_id", "", "session_id" },
        { "session_id", std::string(10000, 'a'), "too long" },
    };
    for (const auto& [field, value, hint] : cases) {
        const json r = bind(alice, with(field, value));
        EXPECT_NE(r.value("code", 0), 0) << field << "=" << value.substr(0, 20);
        EXPECT_NE(r.value("msg", "").find(hint), std::string::npos) << r.value("msg", "") << " / " << hint;
    }
    EXPECT_EQ(ipNums(alice), 2); // nothing was charged
    EXPECT_EQ(bind("", good)["code"], 401);
}

TEST_F(BindTest, TodayListRecordsBindings)
{
    ASSERT_EQ(bind(alice, bindFields("alice", 1, "127.0.2.1", "S5", "1", "s-one"))["code"], 0);
    Fields api = bindFields("alice", 2, "127.0.2.2", "S5", "0", "s-two");
    api.back().second = "API";
    ASSERT_EQ(bind(alice, api)["code"], 0);
    ASSERT_EQ(bind(alice, bindFields("alice", 8, "127.0.4.1", "flow", "0", "s-flow"))["code"], 0);

    const long long now = std::time(nullptr);
    const json s5 = service->post("/api/todayList/getInfo", { { "username", codec.encode("alice") } }, alice);
    ASSERT_EQ(s5["code"], 0) << s5;
    ASSERT_EQ(s5["ret_data"].size(), 2u);
    std::map<std::string, json> byIp;
    for (const auto& e : s5["ret_data"])
        byIp[e["ip"]] = e;
    EXPECT_EQ(byIp["127.0.2.1"]["session_id"], "s-one");
    EXPECT_EQ(byIp["127.0.2.1"]["bind_type"], 0);
    EXPECT_EQ(byIp["127.0.2.2"]["bind_type"], 1);
    EXPECT_EQ(codec.decode(byIp["127.0.2.2"]["sn"].get<std::string>()), "SN-T-2");
    EXPECT_EQ(byIp["127.0.2.1"]["status"], "Online");
    EXPECT_LE(std::llabs(byIp["127.0.2.1"]["bind_time"].get<long long>() - now), 5);

    const json flow = service->post(
        "/api/todayList/getInfo", { { "username", codec.encode("alice") }, { "plantype", "flow" } }, alice);
    ASSERT_EQ(flow["ret_data"].size(), 1u);
    EXPECT_EQ(flow["ret_data"][0]["plan_type_key"], "flow_test_key");
    EXPECT_TRUE(
        service->post("/api/todayList/getInfo", { { "username", codec.encode("bob") } }, bob)["ret_data"].empty());
    EXPECT_EQ(service->post("/api/todayList/getInfo", { { "username", "alice" } }, alice)["code"], 400);
    EXPECT_EQ(service->post("/api/todayList/getInfo", { { "username", codec.encode("alice") } }, bob)["code"], 403);
}

TEST_F(BindTest, FavouritesRemarksAndDislikes)
{
    const std::string user = codec.encode("alice");
    auto favourites = [&](const std::string& plan) {
        return service->post("/api/todayList/getFavouriteInfo", { { "username", user }, { "plantype", plan } }, alice);
    };
    const Fields add { { "area", "US-Los Angeles-California" }, { "session_id", "s-fav" }, { "username", "alice" },
        { "ip", "127.0.2.1" }, { "sn", codec.encode("SN-T-1") }, { "server", "127.0.0.1:1" } };
    const json added = service->post("/api/favouriteList/test", add, alice);
    EXPECT_EQ(added["code"], 1);
    EXPECT_EQ(added["msg"], "success;127.0.2.1");
    EXPECT_EQ(service->post("/api/favouriteList/test", add, alice)["code"], 0);

    ASSERT_EQ(bind(alice, bindFields("alice", 1, "127.0.2.1", "S5", "1", "s-fav"))["code"], 0);
    const json remark = service->post("/api/favouriteList/remark",
        { { "username", "alice" }, { "ip", "127.0.2.1" }, { "remarks", "office: 東京" } }, alice);
    EXPECT_EQ(remark["code"], 1);
    const json list = favourites("");
    ASSERT_EQ(list["code"], 0);
    ASSERT_EQ(list["ret_data"].size(), 1u);
    const json& f = list["ret_data"][0];
    EXPECT_EQ(f["remarks"], "office: 東京");
    EXPECT_EQ(f["session_id"], "s-fav");
    EXPECT_GT(f["bind_time"].get<long long>(), 0);
    EXPECT_EQ(codec.decode(f["sn"].get<std::string>()), "SN-T-1");
    EXPECT_TRUE(favourites("flow")["ret_data"].empty());

    // A remark needs a favourite of that plan; an S5 line is not a residential favourite.
    EXPECT_EQ(service->post("/api/favouriteList/remark",
                  { { "username", "alice" }, { "ip", "127.0.2.2" }, { "remarks", "x" } }, alice)["code"],
        404);
    Fields wrongPlan = add;
    wrongPlan.emplace_back("plantype", "flow");
    EXPECT_EQ(service->post("/api/favouriteList/test", wrongPlan, alice)["code"], 400);

    const Fields dislike { { "session_id", "s-fav" }, { "username", "alice" }, { "ip", "127.0.2.1" },
        { "sn", codec.encode("SN-T-1") }, { "server", "127.0.0.1:1" } };
    EXPECT_EQ(service->post("/api/favouriteList/dislike", dislike, alice)["code"], 1);
    EXPECT_TRUE(favourites("")["ret_data"].empty());
    // A disliked line leaves the line list until it becomes a favourite again.
    const json lines = service->post("/api/get_line_list", { { "country", "US" } }, alice);
    for (const auto& l : lines["data"])
        EXPECT_NE(l["ip"], "127.0.2.1");
    EXPECT_EQ(service->post("/api/favouriteList/test", add, alice)["code"], 1);
    EXPECT_EQ(service->post("/api/get_line_list", { { "country", "US" } }, alice)["data"].size(), 3u);
}

TEST_F(BindTest, LineExistence)
{
    const Fields ok { { "sn", codec.encode("SN-T-5") }, { "forward_ip", "127.0.0.1:1" }, { "user_name", "alice" },
        { "session_id", "x" } };
    EXPECT_EQ(service->post("/api/sn_is_exist", ok, alice)["code"], 0);
    EXPECT_EQ(service->post("/api/sn_is_exist", { { "sn", codec.encode("SN-none") } }, alice)["code"], 404);
    EXPECT_EQ(service->post("/api/sn_is_exist", { { "sn", "%%%" } }, alice)["code"], 400);
}

TEST_F(BindTest, ConcurrentChargesNeverOverspend)
{
    const std::string carol = service->login("carol", "carol-pw");
    std::atomic<int> ok { 0 }, refused { 0 }, other { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 200; ++t)
        threads.emplace_back([&, t] {
            const int line = 1 + t % 6;
            const json r = bind(carol,
                bindFields("carol", line, "127.0.2." + std::to_string(line), "S5", "1", "c" + std::to_string(t)));
            (r.value("code", -1) == 0 ? ok : r.value("code", -1) == 403 ? refused : other)++;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ok, 150);
    EXPECT_EQ(refused, 50);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(ipNums(carol), 0);
}

TEST_F(BindTest, ExitNodeLeavesFromTheLineAddress)
{
    PeerEcho target;
    ASSERT_GT(target.port(), 0);
    ASSERT_EQ(bind(alice, bindFields("alice", 1, "127.0.2.1", "S5", "1", "s5sess"))["code"], 0);
    EXPECT_EQ(curlThroughExit("SN-T-1", "s5sess", target.port()).substr(0, 10), "127.0.2.1\n");
    EXPECT_EQ(curlThroughExit("SN-T-1", "wrong", target.port()), "");
    EXPECT_EQ(curlThroughExit("SN-T-2", "s5sess", target.port()), ""); // not bound
    const Fields unbind { { "sn", codec.encode("SN-T-1") }, { "session_id", "s5sess" } };
    EXPECT_EQ(service->post("/api/session/unbind", unbind, bob)["code"], 404); // not bob's binding
    EXPECT_EQ(service->post("/api/session/unbind", unbind, alice)["code"], 0);
    EXPECT_EQ(curlThroughExit("SN-T-1", "s5sess", target.port()), "");

    // Residential traffic is billed by the bytes relayed; an exhausted balance closes the line.
    ASSERT_EQ(bind(alice, bindFields("alice", 8, "127.0.4.1", "flow", "0", "flowsess"))["code"], 0);
    EXPECT_EQ(curlThroughExit("SN-T-8", "flowsess", target.port()).substr(0, 10), "127.0.4.1\n");
    auto balance = [&] {
        return service->post("/api/userflow", { { "uid", "1" } }, alice)["data"]["balance"].get<long long>();
    };
    for (int i = 0; i < 100 && balance() == 2000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LT(balance(), 2000);
    curlThroughExit("SN-T-8", "flowsess", target.port());
    for (int i = 0; i < 100 && balance() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_LE(balance(), 0);
    EXPECT_EQ(curlThroughExit("SN-T-8", "flowsess", target.port()), "");
    EXPECT_EQ(bind(alice, bindFields("alice", 9, "127.0.4.2", "flow", "0", "flow2"))["code"], 403);
}
