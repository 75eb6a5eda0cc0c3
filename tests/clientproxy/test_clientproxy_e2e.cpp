// clientProxy against the real zq-service and curl: bindings carry traffic through each line's exit
// IP, releases close live connections, and the API answers what the client reads.

#include "testsupport.h"

#include <payloadcodeccore.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using nlohmann::json;
using namespace zq::test;

namespace {

const std::string kUnionId = "0123456789abcdef0123456789abcdef";

struct ServiceFixture {
    std::unique_ptr<Process> process;
    std::string base;
    std::string session;
    std::string statePath;
    std::uint16_t exitPort = 0;
    json s5, unlimit, flow; // line lists
};
ServiceFixture* g_service = nullptr;

json parse(const std::string& text)
{
    auto j = json::parse(text, nullptr, false);
    return j.is_discarded() ? json() : j;
}

json serviceCall(const std::string& path, const Fields& fields)
{
    return parse(postForm(g_service->base, path, fields, g_service->session).second);
}

// Connections the exit node holds open (its side of each, from the kernel's table).
int exitConnections()
{
    FILE* f = std::fopen("/proc/net/tcp", "r");
    if (!f)
        return -1;
    char line[512];
    int n = 0;
    char local[64], remote[64], state[8];
    while (std::fgets(line, sizeof line, f)) {
        unsigned port = 0;
        if (std::sscanf(line, " %*d: %63s %63s %7s", local, remote, state) == 3
            && std::sscanf(std::strchr(local, ':') + 1, "%x", &port) == 1 && port == g_service->exitPort
            && std::string(state) == "01")
            ++n;
    }
    std::fclose(f);
    return n;
}

template <class F> bool eventually(F f, std::chrono::milliseconds limit = 5s)
{
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (f())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return f();
}

int ipCount()
{
    return serviceCall("/api/socks/get_ip", {})["ret_data"]["ip_num"].get<int>();
}

class HelperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_service = new ServiceFixture;
        char tmpl[] = "/tmp/zq_cp_state_XXXXXX";
        const int fd = ::mkstemp(tmpl);
        ::close(fd);
        ::unlink(tmpl);
        g_service->statePath = tmpl;
        g_service->process = std::make_unique<Process>(std::string(ZQ_BIN_DIR) + "/zq-service",
            std::vector<std::string> { "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--data",
                std::string(ZQ_SOURCE_DIR) + "/data/service.json", "--state", g_service->statePath });
        const std::string line = g_service->process->readLine(10s);
        // "listening http://HOST:PORT exit HOST:PORT"
        const auto first = line.find("http://");
        ASSERT_NE(first, std::string::npos) << "zq-service did not start: " << line;
        g_service->base = line.substr(first, line.find(' ', first) - first);
        g_service->exitPort = static_cast<std::uint16_t>(std::stoul(line.substr(line.rfind(':') + 1)));
        const json login
            = parse(postForm(g_service->base, "/api/socks/login", { { "username", "demo" }, { "password", "demo123" } })
                        .second);
        ASSERT_EQ(login.value("code", -1), 0) << login.dump();
        g_service->session = login["ret_data"]["session_id"].get<std::string>();
        const zq::codec::Codec codec;
        const Fields account { { "user", codec.encode("demo") }, { "pwd", codec.encode("demo123") } };
        auto list = [&](const std::string& path, Fields fields) {
            fields.insert(fields.begin(), { "num", "20" });
            for (const auto& f : account)
                fields.push_back(f);
            return serviceCall(path, fields)["data"];
        };
        g_service->s5 = list("/api/get_line_list", {});
        g_service->flow = list("/api/get_line_list", { { "plantype", "flow" } });
        g_service->unlimit = list("/unlimit/get_unlimit_list", { { "plantype", "unlimit" } });
        ASSERT_GE(g_service->s5.size(), 6u);
        ASSERT_GE(g_service->flow.size(), 1u);
        ASSERT_GE(g_service->unlimit.size(), 1u);
    }

    static void TearDownTestSuite()
    {
        if (g_service) {
            g_service->process.reset();
            std::remove(g_service->statePath.c_str());
        }
        delete g_service;
        g_service = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(g_service && !g_service->session.empty());
        m_start = freeRange(kPorts + 1);
        ASSERT_NE(m_start, 0);
        m_apiPort = freePort();
        m_programPort = static_cast<std::uint16_t>(m_start + kPorts); // just past the range
        m_stderr = "/tmp/zq_cp_helper_" + std::to_string(::getpid()) + ".log";
        m_helper = startHelper({});
        ASSERT_TRUE(waitReady()) << "clientProxy did not answer get_server_status";
        m_udp.drain();
    }

    void TearDown() override
    {
        if (m_helper) {
            m_helper->closeStdin();
            m_helper->waitExit(5s);
        }
        if (!HasFailure())
            std::remove(m_stderr.c_str());
        else
            std::fprintf(stderr, "helper log kept in %s\n", m_stderr.c_str());
    }

    std::unique_ptr<Process> startHelper(std::vector<std::string> override)
    {
        std::vector<std::string> args { "-api_port=" + std::to_string(m_apiPort), "-user=demo", "-pwd=demo123",
            "-proxy_port_start=" + std::to_string(m_start), "-proxy_port_num=" + std::to_string(kPorts),
            "-program_port=" + std::to_string(m_programPort), "-uuid=" + kUnionId, "-inner_ip=127.0.0.1",
            "-udp_port=" + std::to_string(m_udp.port()), "-sessionid=" + g_service->session };
        if (!override.empty())
            args = std::move(override);
        ::setenv("ZQ_ACCOUNT_BASE", g_service->base.c_str(), 1);
        ::setenv("ZQ_RESOURCE_BASE", g_service->base.c_str(), 1);
        return std::make_unique<Process>(std::string(ZQ_BIN_DIR) + "/clientProxy", args, m_stderr);
    }

    bool waitReady()
    {
        for (int i = 0; i < 100; ++i) {
            const json r = parse(postForm(api(), "/api/get_server_status", {}).second);
            if (r.is_object())
                return r.value("code", -1) == 0 && r["data"] == "127.0.0.1";
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    std::string api() const { return "http://127.0.0.1:" + std::to_string(m_apiPort); }
    std::uint16_t port(int i) const { return static_cast<std::uint16_t>(m_start + i); }

    // The form the client sends to bind `line` of `plan` ("S5", "unlimit", "flow").
    Fields bindFields(const json& line, std::uint16_t port, const std::string& plan, bool reopen = false) const
    {
        const std::string sn = line["sn"].get<std::string>();
        Fields f { { "user_session", m_codec.encode("demo") }, { "area", line.value("country", "") },
            { "session_id", zq::codec::md5Hex(m_codec.decode(sn) + kUnionId) },
            { "region", line.value("server_region", "") }, { "port", std::to_string(port) } };
        if (reopen)
            f.push_back({ "open_port", m_codec.encode(std::to_string(port)) });
        f.push_back({ "sn", sn });
        f.push_back({ "server", line["server"].get<std::string>() });
        f.push_back({ "client_ip", line["ip"].get<std::string>() });
        if (plan == "unlimit") {
            f.push_back({ "plan_type_key", line.value("plan_type_key", "") });
            f.push_back({ "unlimit_server", "127.0.0.1" });
        } else if (plan == "flow") {
            f.push_back({ "plantypekey", line.value("plan_type_key", "") });
        }
        return f;
    }

    // set_port_session; the reply body is codec text.
    json setPortSession(const Fields& fields) const
    {
        const auto [status, body] = postForm(api(), "/api/set_port_session", fields);
        EXPECT_EQ(status, 200);
        return parse(m_codec.decode(body));
    }

    void bindOk(const json& line, std::uint16_t port, const std::string& plan = "S5", bool reopen = false)
    {
        const json r = setPortSession(bindFields(line, port, plan, reopen));
        ASSERT_EQ(r.value("code", -1), 0) << r.dump();
        EXPECT_EQ(r["data"]["bind_status"], "success") << r.dump();
        EXPECT_EQ(r["data"]["bind_message"], "success");
    }

    json call(const std::string& path, const Fields& fields = {}) const
    {
        return parse(postForm(api(), path, fields).second);
    }

    // The exit IP seen by the target when fetched through a local port.
    std::string exitIpThrough(std::uint16_t localPort, bool hostname = true) const
    {
        const auto r = curl({ hostname ? "--socks5-hostname" : "--socks5", "127.0.0.1:" + std::to_string(localPort),
            "http://127.0.0.1:" + std::to_string(m_target.port()) + "/" });
        return r.exitCode == 0 ? r.out : "curl exit " + std::to_string(r.exitCode);
    }

    bool notified() { return m_udp.receive(5s).has_value(); }

    static constexpr int kPorts = 6;
    zq::codec::Codec m_codec;
    UdpListener m_udp;
    PeerTarget m_target;
    std::uint16_t m_start = 0;
    std::uint16_t m_apiPort = 0;
    std::uint16_t m_programPort = 0;
    std::string m_stderr;
    std::unique_ptr<Process> m_helper;
};

std::string ipOf(const json& line)
{
    return line["ip"].get<std::string>();
}

TEST_F(HelperTest, TwoPortsCarryTwoLinesAndRebindSwitches)
{
    const json& lines = g_service->s5;
    bindOk(lines[0], port(0));
    EXPECT_TRUE(notified());
    bindOk(lines[1], port(1));
    EXPECT_TRUE(notified());
    EXPECT_EQ(exitIpThrough(port(0)), ipOf(lines[0]));
    EXPECT_EQ(exitIpThrough(port(1), false), ipOf(lines[1]));

    // Re-binding ends the connections still riding the old line.
    HoldTarget hold;
    auto [live, reply] = socksConnect(port(0), hold.port());
    ASSERT_GE(live, 0) << "reply " << reply;
    bindOk(lines[2], port(0));
    EXPECT_TRUE(notified());
    EXPECT_TRUE(waitClosed(live, 5s));
    ::close(live);
    EXPECT_EQ(exitIpThrough(port(0)), ipOf(lines[2]));
    EXPECT_EQ(exitIpThrough(port(1)), ipOf(lines[1]));

    // Moving a line to another port releases its old one.
    bindOk(lines[1], port(3), "S5", true);
    EXPECT_EQ(exitIpThrough(port(3)), ipOf(lines[1]));
    EXPECT_NE(curl({ "--socks5-hostname", "127.0.0.1:" + std::to_string(port(1)), "http://127.0.0.1:1/" }).exitCode, 0);
}

TEST_F(HelperTest, EveryPlanWorksEndToEnd)
{
    bindOk(g_service->s5[0], port(0), "S5");
    bindOk(g_service->unlimit[0], port(1), "unlimit");
    bindOk(g_service->flow[0], port(2), "flow");
    // The program port takes a line too (the per-program proxy uses it).
    bindOk(g_service->s5[1], m_programPort, "S5");
    EXPECT_EQ(exitIpThrough(port(0)), ipOf(g_service->s5[0]));
    EXPECT_EQ(exitIpThrough(port(1)), ipOf(g_service->unlimit[0]));
    EXPECT_EQ(exitIpThrough(port(2)), ipOf(g_service->flow[0]));
    EXPECT_EQ(exitIpThrough(m_programPort), ipOf(g_service->s5[1]));
}

TEST_F(HelperTest, UnboundPortRefuses)
{
    const auto [fd, code] = socksConnect(port(4), m_target.port());
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(code, 2); // connection not allowed by ruleset
    EXPECT_NE(curl({ "--socks5-hostname", "127.0.0.1:" + std::to_string(port(4)),
                       "http://127.0.0.1:" + std::to_string(m_target.port()) + "/" })
                  .exitCode,
        0);
    const json status = call("/api/check_port_status", { { "port", std::to_string(port(4)) } });
    EXPECT_EQ(status.value("code", -1), 0);
    EXPECT_NE(status["data"].get<std::string>().find("not bound"), std::string::npos);
}

TEST_F(HelperTest, FreeAndResetCloseLiveConnections)
{
    HoldTarget hold;
    bindOk(g_service->s5[0], port(0));
    bindOk(g_service->s5[1], port(1));
    m_udp.drain();

    auto [one, c1] = socksConnect(port(0), hold.port());
    ASSERT_GE(one, 0) << "reply " << c1;
    auto [two, c2] = socksConnect(port(1), hold.port());
    ASSERT_GE(two, 0) << "reply " << c2;

    const json freed = call("/api/del_port_session", { { "port", std::to_string(port(0)) } });
    EXPECT_EQ(freed.value("code", -1), 0) << freed.dump();
    EXPECT_TRUE(waitClosed(one, 5s));
    EXPECT_TRUE(notified());
    ::close(one);
    EXPECT_EQ(exitIpThrough(port(1)), ipOf(g_service->s5[1])); // the other port keeps serving
    EXPECT_NE(exitIpThrough(port(0)).rfind("curl exit", 0), std::string::npos);

    const json all = call("/api/freed_proxy_port");
    EXPECT_EQ(all.value("code", -1), 0);
    EXPECT_TRUE(waitClosed(two, 5s));
    EXPECT_TRUE(notified());
    ::close(two);

    bindOk(g_service->s5[2], port(2));
    auto [three, c3] = socksConnect(port(2), hold.port());
    ASSERT_GE(three, 0) << "reply " << c3;
    m_udp.drain();
    const json reset = call("/api/reset_port", { { "start_port", std::to_string(m_start) }, { "port_num", "4" } });
    EXPECT_EQ(reset.value("code", -1), 0) << reset.dump();
    EXPECT_TRUE(waitClosed(three, 5s));
    EXPECT_TRUE(notified());
    ::close(three);
    // The binding inside the new range survives the reset and serves again.
    EXPECT_EQ(exitIpThrough(port(2)), ipOf(g_service->s5[2]));
}

TEST_F(HelperTest, ChargedBindCostsAnIpAndReopenDoesNot)
{
    const int before = ipCount();
    bindOk(g_service->s5[3], port(0));
    EXPECT_EQ(ipCount(), before - 1);
    bindOk(g_service->s5[3], port(0), "S5", true);
    EXPECT_EQ(ipCount(), before - 1);
    EXPECT_EQ(exitIpThrough(port(0)), ipOf(g_service->s5[3]));
}

TEST_F(HelperTest, CheckApiPortAndTodayListReportBindings)
{
    bindOk(g_service->s5[0], port(0));
    bindOk(g_service->flow[0], port(1), "flow");
    const json check = call("/api/checkApiPort");
    ASSERT_EQ(check.value("code", -1), 0) << check.dump();
    ASSERT_EQ(check["data"].size(), 2u);
    for (const auto& e : check["data"]) {
        EXPECT_EQ(e["status"], "success") << e.dump();
        EXPECT_EQ(e["msg"], "success");
    }
    EXPECT_EQ(check["data"][0]["ip"], ipOf(g_service->s5[0]));
    EXPECT_EQ(check["data"][0]["port"], port(0));

    const json today = parse(httpGet(api(), "/ip/get_todaylist?isUser=client").second);
    ASSERT_EQ(today.value("code", -1), 1) << today.dump();
    ASSERT_EQ(today["data"].size(), 2u);
    EXPECT_EQ(today["data"][1]["Ip"], ipOf(g_service->flow[0]));
    EXPECT_EQ(today["data"][1]["BindPort"], port(1));
}

TEST_F(HelperTest, CheckApiPortReportsABindingTheExitNodeNoLongerAccepts)
{
    const json& line = g_service->s5[4];
    const Fields f = bindFields(line, port(0), "S5");
    bindOk(line, port(0));
    // The service forgets the binding, so its exit node refuses the credentials from now on.
    const json unbound = serviceCall("/api/session/unbind", { { "sn", line["sn"] }, { "session_id", f[2].second } });
    ASSERT_EQ(unbound.value("code", -1), 0) << unbound.dump();
    const json check = call("/api/checkApiPort");
    ASSERT_EQ(check["data"].size(), 1u) << check.dump();
    EXPECT_EQ(check["data"][0]["port"], port(0));
    EXPECT_NE(check["data"][0]["status"], "success");
    EXPECT_NE(check["data"][0]["msg"], "success");
}

TEST_F(HelperTest, CheckApiPortKeepsBindingsWhoseExitNodeCannotBeAsked)
{
    // The service takes the binding; only the helper's idea of the exit node is unreachable:
    // a closed port (connection refused) and a listener that never answers (time-out).
    HoldTarget silent;
    Fields closed = bindFields(g_service->s5[1], port(0), "S5");
    Fields mute = bindFields(g_service->s5[2], port(1), "S5");
    for (auto& [k, v] : closed)
        if (k == "server")
            v = "127.0.0.1:" + std::to_string(freePort());
    for (auto& [k, v] : mute)
        if (k == "server")
            v = "127.0.0.1:" + std::to_string(silent.port());
    for (const auto& f : { closed, mute }) {
        const json r = setPortSession(f);
        ASSERT_EQ(r["data"]["bind_status"], "success") << r.dump();
    }
    for (int round = 0; round < 2; ++round) { // the second round must not see a remembered failure
        const json check = call("/api/checkApiPort");
        ASSERT_EQ(check["data"].size(), 2u) << check.dump();
        for (const auto& e : check["data"]) {
            EXPECT_EQ(e["status"], "success") << e.dump();
            EXPECT_EQ(e["msg"], "success") << e.dump();
            EXPECT_EQ(e["probe"], "unreachable") << e.dump();
        }
    }
    // The port check is a diagnosis: it says the exit node could not be asked.
    const json status = call("/api/check_port_status", { { "port", std::to_string(port(0)) } });
    EXPECT_NE(status.value("code", 0), 0) << status.dump();
}

TEST_F(HelperTest, CheckApiPortFailsBindingsTheServiceAgedOut)
{
    bindOk(g_service->s5[6], port(0));
    bindOk(g_service->s5[7], port(1));
    auto setClock = [](long long offset) {
        return serviceCall("/api/test/clock", { { "offset", std::to_string(offset) } });
    };
    // A day later the exit node refuses both; the clock is put back whatever happens.
    struct Restore {
        std::function<json(long long)> set;
        ~Restore() { set(0); }
    } restore { setClock };
    ASSERT_EQ(setClock(86401).value("code", -1), 0);
    const json check = call("/api/checkApiPort");
    ASSERT_EQ(check["data"].size(), 2u) << check.dump();
    for (const auto& e : check["data"]) {
        EXPECT_EQ(e["status"], "fail") << e.dump();
        EXPECT_EQ(e["probe"], "refused") << e.dump();
    }
}

TEST_F(HelperTest, NumerousBindAnswersTxtAndJson)
{
    const std::uint16_t first = port(0);
    const auto txt = httpGet(api(),
        "/ip/numerous_bind?num=2&country=random&state=random&city=random&isp=random&zip=random&t=txt&port="
            + std::to_string(first) + "&startip=&endip=");
    ASSERT_EQ(txt.first, 200);
    EXPECT_EQ(txt.second, "127.0.0.1:" + std::to_string(first) + "\n127.0.0.1:" + std::to_string(first + 1) + "\n");
    EXPECT_TRUE(notified());
    const std::string a = exitIpThrough(first), b = exitIpThrough(first + 1);
    EXPECT_EQ(a.rfind("127.", 0), 0u) << a;
    EXPECT_EQ(b.rfind("127.", 0), 0u) << b;
    EXPECT_NE(a, b);

    const auto js = httpGet(api(), "/ip/numerous_bind?num=1&country=random&t=json&port=" + std::to_string(first));
    const json arr = parse(js.second);
    ASSERT_TRUE(arr.is_array()) << js.second;
    ASSERT_EQ(arr.size(), 1u);
    EXPECT_EQ(arr[0]["ip"], "127.0.0.1");
    EXPECT_EQ(arr[0]["port"], first + 2); // the first two are taken
    const json today = parse(httpGet(api(), "/ip/get_todaylist?isUser=client").second);
    ASSERT_EQ(today["data"].size(), 3u);
    EXPECT_EQ(today["data"][0]["BindType"], "API");

    const json bad = parse(httpGet(api(), "/ip/numerous_bind?num=abc&t=txt&port=1").second);
    EXPECT_NE(bad.value("code", 0), 0);
    const json badT = parse(httpGet(api(), "/ip/numerous_bind?num=1&t=xml&port=1").second);
    EXPECT_NE(badT.value("code", 0), 0);
}

TEST_F(HelperTest, NumerousBindDecodesItsQuery)
{
    const zq::codec::Codec codec;
    const json listed = serviceCall("/api/get_line_list",
        { { "num", "50" }, { "city", "New York" }, { "user", codec.encode("demo") },
            { "pwd", codec.encode("demo123") } });
    std::set<std::string> newYork;
    for (const auto& l : listed["data"])
        newYork.insert(ipOf(l));
    ASSERT_GE(newYork.size(), 3u) << listed.dump();

    // "%20" is a blank; so is "+", as in any form-encoded query ("%2B" would be a literal plus).
    // curl sends the link exactly as written, as the programs given this link do.
    const std::string link = api() + "/ip/numerous_bind?num=1&t=txt&port=";
    std::set<std::string> seen;
    for (const auto& [city, local] :
        { std::pair<std::string, std::uint16_t> { "New%20York", port(0) }, { "New+York", port(1) } }) {
        const auto r = curl({ link + std::to_string(local) + "&country=US&city=" + city });
        ASSERT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "127.0.0.1:" + std::to_string(local) + "\n") << city;
        const std::string exit = exitIpThrough(local);
        EXPECT_EQ(newYork.count(exit), 1u) << city << " bound " << exit;
        seen.insert(exit);
    }
    EXPECT_EQ(seen.size(), 2u); // two different New York lines
    const auto none = curl({ link + std::to_string(port(2)) + "&city=New%2BYork" });
    EXPECT_NE(parse(none.out).value("code", 0), 0) << none.out;
}

TEST_F(HelperTest, BadInputIsRefusedAndOtherPortsKeepServing)
{
    bindOk(g_service->s5[0], port(0));
    const json& line = g_service->s5[1];

    auto withField = [&](const std::string& name, const std::string& value) {
        Fields f = bindFields(line, port(1), "S5");
        for (auto& [k, v] : f)
            if (k == name)
                v = value;
        return setPortSession(f);
    };
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>> { { "port", "12ab" },
             { "port", "" }, { "port", "70000" }, { "port", std::to_string(m_apiPort) }, // the API port
             { "port", std::to_string(port(0) - 1) }, // outside the range
             { "sn", "not codec text" }, { "user_session", "demo" }, { "server", "nohostport" } }) {
        const json r = withField(name, value);
        EXPECT_NE(r.value("code", 0), 0) << name << "=" << value << " -> " << r.dump();
        EXPECT_FALSE(r.value("msg", "").empty());
    }
    // The service refuses a line whose IP does not match its sn; the reason reaches the client.
    const json wrongIp = withField("client_ip", "127.9.9.9");
    EXPECT_EQ(wrongIp.value("code", -1), 0);
    EXPECT_NE(wrongIp["data"]["bind_status"], "success");
    EXPECT_NE(wrongIp["data"]["bind_message"], "success");

    EXPECT_NE(call("/api/del_port_session", { { "port", "x" } }).value("code", 0), 0);
    EXPECT_NE(call("/api/del_port_session", { { "port", std::to_string(port(0) - 1) } }).value("code", 0), 0);
    EXPECT_EQ(call("/api/del_port_session", { { "port", std::to_string(port(5)) } }).value("code", -1), 0); // unbound
    EXPECT_NE(call("/api/reset_port", { { "start_port", "65530" }, { "port_num", "10" } }).value("code", 0), 0);
    EXPECT_NE(call("/api/check_port_status", { { "port", "-1" } }).value("code", 0), 0);

    const auto huge = postForm(api(), "/api/set_port_session", { { "sn", std::string(400000, 'A') } });
    EXPECT_EQ(huge.first, 413);
    EXPECT_NE(parse(m_codec.decode(huge.second)).value("code", 0), 0);
    const json bigField = withField("area", std::string(5000, 'x'));
    EXPECT_NE(bigField.value("code", 0), 0);

    const json unknown = parse(postForm(api(), "/api/nothing", {}).second);
    EXPECT_EQ(unknown.value("code", 0), 404);

    EXPECT_EQ(exitIpThrough(port(0)), ipOf(g_service->s5[0]));
}

TEST_F(HelperTest, SignsInAgainWhenItsSessionIsGone)
{
    // A helper started with a session the service no longer knows still registers its bindings.
    m_helper->closeStdin();
    m_helper->waitExit(5s);
    m_helper = startHelper({ "-api_port=" + std::to_string(m_apiPort), "-user=demo", "-pwd=demo123",
        "-proxy_port_start=" + std::to_string(m_start), "-proxy_port_num=" + std::to_string(kPorts),
        "-uuid=" + kUnionId, "-udp_port=" + std::to_string(m_udp.port()), "-sessionid=ffffffffffffffff" });
    ASSERT_TRUE(waitReady());
    bindOk(g_service->s5[5], port(0));
    EXPECT_EQ(exitIpThrough(port(0)), ipOf(g_service->s5[5]));
}

TEST_F(HelperTest, PortHeldByAnotherProgramIsReported)
{
    m_helper->closeStdin();
    m_helper->waitExit(5s);
    // Another program holds the third port of the range on all interfaces.
    const int blocker = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port(2));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(blocker, 4), 0);
    m_helper = startHelper({});
    ASSERT_TRUE(waitReady());

    const json status = call("/api/check_port_status", { { "port", std::to_string(port(2)) } });
    EXPECT_NE(status.value("code", 0), 0);
    EXPECT_NE(status["data"].get<std::string>().find("could not be opened"), std::string::npos) << status.dump();
    const json r = setPortSession(bindFields(g_service->s5[0], port(2), "S5"));
    EXPECT_NE(r.value("code", 0), 0);
    bindOk(g_service->s5[0], port(3));
    EXPECT_EQ(exitIpThrough(port(3)), ipOf(g_service->s5[0]));
    ::close(blocker);
}

TEST_F(HelperTest, ExitsWhenStandardInputCloses)
{
    m_helper->closeStdin();
    const auto code = m_helper->waitExit(5s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
    m_helper.reset();
}

TEST_F(HelperTest, WarmPortsServeBurstsAndFollowRebinds)
{
    const json& lines = g_service->s5;
    bindOk(lines[0], port(0));
    // The first requests warm the port up; the exit node then holds connections made ready.
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(exitIpThrough(port(0)), ipOf(lines[0]));
    ASSERT_TRUE(eventually([] { return exitConnections() > 0; }));

    std::vector<std::future<std::string>> burst;
    for (int i = 0; i < 16; ++i)
        burst.push_back(std::async(std::launch::async, [&] { return exitIpThrough(port(0)); }));
    for (auto& f : burst)
        EXPECT_EQ(f.get(), ipOf(lines[0]));

    // Requests keep coming while the port moves to another line: once the re-bind has answered,
    // none leaves through the old one.
    std::atomic<bool> rebound { false }, done { false };
    std::mutex m;
    std::vector<std::string> after;
    std::vector<std::thread> clients;
    for (int c = 0; c < 3; ++c)
        clients.emplace_back([&] {
            while (!done) {
                const bool late = rebound;
                const std::string ip = exitIpThrough(port(0));
                if (late) {
                    std::lock_guard lock(m);
                    after.push_back(ip);
                }
            }
        });
    std::this_thread::sleep_for(300ms);
    bindOk(lines[1], port(0));
    rebound = true;
    std::this_thread::sleep_for(700ms);
    done = true;
    for (auto& t : clients)
        t.join();
    ASSERT_FALSE(after.empty());
    for (const auto& ip : after)
        EXPECT_EQ(ip, ipOf(lines[1]));

    // Freeing the port leaves nothing open at the exit node.
    ASSERT_TRUE(eventually([] { return exitConnections() > 0; }));
    const json freed = call("/api/del_port_session", { { "port", std::to_string(port(0)) } });
    EXPECT_EQ(freed.value("code", -1), 0) << freed.dump();
    EXPECT_TRUE(eventually([] { return exitConnections() == 0; }, 2s)) << exitConnections();
}

TEST_F(HelperTest, RefusesBadPoolSettings)
{
    for (const char* bad : { "ZQ_POOL_IDLE_MS=soon", "ZQ_POOL_MAX=-1", "ZQ_POOL_MAX=1000" }) {
        const std::string assignment = bad;
        const auto eq = assignment.find('=');
        const std::string name = assignment.substr(0, eq);
        ::setenv(name.c_str(), assignment.substr(eq + 1).c_str(), 1);
        Process p(std::string(ZQ_BIN_DIR) + "/clientProxy",
            { "-api_port=" + std::to_string(freePort()), "-proxy_port_start=" + std::to_string(freeRange(2)),
                "-proxy_port_num=2" });
        const auto code = p.waitExit(5s);
        ::unsetenv(name.c_str());
        ASSERT_TRUE(code.has_value()) << bad;
        EXPECT_EQ(*code, 2) << bad;
    }
}

TEST_F(HelperTest, RefusesBadCommandLines)
{
    for (const auto& args :
        std::vector<std::vector<std::string>> { { "-api_port=abc", "-proxy_port_start=30000", "-proxy_port_num=5" },
            { "-api_port=30000", "-proxy_port_start=30001", "-proxy_port_num=5", "-colour=blue" }, { "api_port=30000" },
            { "-proxy_port_start=30001", "-proxy_port_num=5" },
            { "-api_port=30000", "-proxy_port_start=65530", "-proxy_port_num=10" } }) {
        Process p(std::string(ZQ_BIN_DIR) + "/clientProxy", args);
        const auto code = p.waitExit(5s);
        ASSERT_TRUE(code.has_value());
        EXPECT_NE(*code, 0);
    }
}

} // namespace
