// Start-up, login and sessions, account calls, update offer and download.
#include "servicefixture.h"

#include "payloadcodeccore.h"

using namespace zqtest;

namespace {

const zq::codec::Codec codec;

int runStatus(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ServiceStart, ArgumentsAndFirstLine)
{
    const std::string bin = std::string(ZQ_BIN_DIR) + "/zq-service";
    for (const char* bad : { "--listen", "--listen 127.0.0.1", "--listen 127.0.0.1:99999", "--bogus 1",
             "--tls-cert only.pem", "--state ''" })
        EXPECT_EQ(runStatus("timeout 10 " + bin + " " + bad + " >/dev/null 2>&1"), 2) << bad;
    EXPECT_NE(runCommand(bin + " --frobnicate 1 2>&1").find("unknown argument --frobnicate"), std::string::npos);
    EXPECT_EQ(runStatus("timeout 10 " + bin
                  + " --listen 127.0.0.1:0 --exit-listen 127.0.0.1:0 --data /nonexistent/service.json >/dev/null 2>&1"),
        1);
    EXPECT_EQ(
        runStatus("timeout 10 " + bin
            + " --listen 127.0.0.1:0 --exit-listen 127.0.0.1:0 --state /nonexistent/dir/state.json >/dev/null 2>&1"),
        1);

    // Default data file, found next to the build.
    ServiceProcess service({});
    ASSERT_TRUE(service.running()) << service.firstLine();
    EXPECT_NE(service.port(), service.exitPort());
    EXPECT_EQ(service.stop(), 0);
}

TEST(ServiceLogin, DemoAccountAndRefusals)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    const json ok = service.post("/api/socks/login", { { "username", "demo" }, { "password", "demo123" } });
    ASSERT_EQ(ok["code"], 0) << ok;
    const json& ret = ok["ret_data"];
    EXPECT_EQ(codec.decode(ret["info"]["pwd"].get<std::string>()), "demo123");
    EXPECT_EQ(ret["info"]["username"], "demo");
    EXPECT_GT(ret["info"]["ip_nums"].get<int>(), 0);
    EXPECT_GT(ret["expire_time"].get<long long>(), std::time(nullptr));
    EXPECT_EQ(ret["session_id"].get<std::string>().size(), 32u);
    EXPECT_FALSE(ret["token"].get<std::string>().empty());

    const json wrong = service.post("/api/socks/login", { { "username", "demo" }, { "password", "nope" } });
    EXPECT_NE(wrong["code"], 0);
    EXPECT_EQ(wrong["msg"], "Username or password is incorrect");
    const json unknown = service.post("/api/socks/login", { { "username", "nobody" }, { "password", "x" } });
    EXPECT_NE(unknown["code"], 0);
    EXPECT_EQ(unknown["msg"], "This user does not exist");
    const json empty = service.post("/api/socks/login", { { "username", "demo" } });
    EXPECT_EQ(empty["code"], 400);
}

TEST(ServiceLogin, CurlAndReferenceCodec)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    const std::string reply = runCommand("curl -s -F username=demo -F password=demo123 http://127.0.0.1:"
        + std::to_string(service.port()) + "/api/socks/login");
    const json r = json::parse(reply, nullptr, false);
    ASSERT_EQ(r.value("code", -1), 0) << reply;
    TempDir dir;
    writeAll(dir.file("pwd.txt"), r["ret_data"]["info"]["pwd"].get<std::string>());
    const std::string decoded = runCommand(
        "python3 " + std::string(ZQ_SOURCE_DIR) + "/tests/codec/reference_codec.py decode < " + dir.file("pwd.txt"));
    EXPECT_EQ(decoded, "demo123");
}

TEST(ServiceSession, HeaderRules)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    // Calls that need no session.
    EXPECT_EQ(service.post("/api/socks/config")["code"], 0);
    EXPECT_EQ(service.post("/api/get_area_list")["code"], 0);
    EXPECT_EQ(service.post("/api/check/ip")["ret_data"]["ip"], "127.0.0.1");
    EXPECT_EQ(service.post("/api/client/socks_qt_check_update", { { "version", "207" } })["code"], 1);

    const json none = service.post("/api/socks/get_ip");
    EXPECT_EQ(none["code"], 401);
    EXPECT_NE(none["msg"].get<std::string>().find("session-id"), std::string::npos);
    const json stale = service.post("/api/socks/get_ip", {}, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(stale["code"], 401);
    EXPECT_NE(stale["msg"].get<std::string>().find("log in again"), std::string::npos);

    const std::string first = service.login("demo", "demo123");
    const std::string second = service.login("demo", "demo123");
    ASSERT_FALSE(first.empty());
    ASSERT_NE(first, second);
    EXPECT_EQ(service.post("/api/socks/get_ip", {}, first)["code"], 0); // a second login leaves the first valid
    EXPECT_EQ(service.post("/api/checkProxy", {}, first)["code"], 1);
    EXPECT_EQ(service.post("/api/socks/logout", {}, first)["code"], 1);
    EXPECT_EQ(service.post("/api/socks/get_ip", {}, first)["code"], 401);
    EXPECT_NE(service.post("/api/socks/logout", {}, first)["code"], 1);
    EXPECT_EQ(service.post("/api/socks/get_ip", {}, second)["code"], 0);
}

TEST(ServiceAccount, BalancesAndPackages)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    const std::string s = service.login("demo", "demo123");
    const json ip = service.post("/api/socks/get_ip", {}, s);
    EXPECT_EQ(ip["code"], 0);
    EXPECT_GT(ip["ret_data"]["ip_num"].get<int>(), 0);

    const json limit = service.post("/api/limitInfo", { { "username", "demo" } }, s);
    EXPECT_EQ(limit["code"], 0);
    EXPECT_EQ(limit["ret_data"]["uid"], 10001);
    EXPECT_GT(limit["ret_data"]["expire_time"].get<long long>(), std::time(nullptr));
    EXPECT_EQ(service.post("/api/limitInfo", { { "username", "trial" } }, s)["code"], 403);

    const json flow = service.post("/api/userflow", { { "uid", "10001" } }, s);
    EXPECT_EQ(flow["code"], 1);
    EXPECT_GT(flow["data"]["balance"].get<long long>(), 0);
    EXPECT_GE(flow["data"]["all_buy"].get<long long>(), flow["data"]["balance"].get<long long>());
    EXPECT_EQ(service.post("/api/userflow", { { "uid", "10002" } }, s)["code"], 403);
    EXPECT_EQ(service.post("/api/userflow", { { "uid", "ten" } }, s)["code"], 400);

    const json packages = service.post("/api/get_ips_package", { { "username", codec.encode("demo") } }, s);
    ASSERT_EQ(packages["code"], 1) << packages;
    ASSERT_EQ(packages["data"].size(), 9u);
    for (const auto& p : packages["data"]) {
        EXPECT_GT(p["num"].get<int>(), 0);
        EXPECT_TRUE(p["limit_sale_price"].is_string());
        EXPECT_TRUE(p["money"].is_string());
    }
    // The name is codec text here; plain text does not decode.
    EXPECT_EQ(service.post("/api/get_ips_package", { { "username", "demo" } }, s)["code"], 400);
}

TEST(ServiceUpdate, OfferAndDownload)
{
    ServiceProcess service({});
    ASSERT_TRUE(service.running());
    const json offer
        = service.post("/api/client/socks_qt_check_update", { { "version", "207" }, { "type", "install" } });
    ASSERT_EQ(offer["code"], 1);
    const json& u = offer["ret_data"];
    EXPECT_GT(std::stoi(u["version"].get<std::string>()), 207);
    EXPECT_TRUE(u["force_update"] == "false" || u["force_update"] == "true");
    const std::string url = u["down_url"];
    const std::string prefix = "http://127.0.0.1:" + std::to_string(service.port());
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    auto c = service.client();
    auto res = c.Get(url.substr(prefix.size()).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, readAll(std::string(ZQ_SOURCE_DIR) + "/data/update/ZQ_S5_Proxy_setup.exe"));
    EXPECT_EQ(c.Get("/download/other.exe")->status, 404);

    const int newest = std::stoi(u["version"].get<std::string>());
    EXPECT_EQ(service.post("/api/client/socks_qt_check_update", { { "version", std::to_string(newest) } })["code"], 0);
    EXPECT_EQ(service.post("/api/client/socks_qt_check_update", { { "version", "2.0.7" } })["code"], 400);
    EXPECT_EQ(service.post("/api/client/socks_qt_check_update")["code"], 400);
}

TEST(ServiceStart, ServesTls)
{
    TempDir dir;
    const std::string cert = dir.file("cert.pem");
    const std::string key = dir.file("key.pem");
    ASSERT_EQ(runStatus("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj "
                        "/CN=127.0.0.1 -keyout "
                  + key + " -out " + cert + " >/dev/null 2>&1"),
        0);
    ServiceProcess service({ "--tls-cert", cert, "--tls-key", key });
    ASSERT_TRUE(service.running()) << service.firstLine();
    EXPECT_EQ(service.firstLine().rfind("listening https://", 0), 0u);
    const std::string reply
        = runCommand("curl -sk --cacert " + cert + " -F username=demo -F password=demo123 https://127.0.0.1:"
            + std::to_string(service.port()) + "/api/socks/login");
    EXPECT_EQ(json::parse(reply, nullptr, false).value("code", -1), 0) << reply;
    const json offer = json::parse(runCommand("curl -sk -F version=1 https://127.0.0.1:"
                                       + std::to_string(service.port()) + "/api/client/socks_qt_check_update"),
        nullptr, false);
    EXPECT_EQ(offer["ret_data"]["down_url"].get<std::string>().rfind("https://", 0), 0u);
    EXPECT_EQ(runStatus("timeout 10 " + std::string(ZQ_BIN_DIR)
                  + "/zq-service --listen 127.0.0.1:0 --exit-listen 127.0.0.1:0 --tls-cert " + key + " --tls-key "
                  + cert + " >/dev/null 2>&1"),
        1); // key and certificate swapped
}
