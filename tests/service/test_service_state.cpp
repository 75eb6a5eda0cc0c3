// State across restarts, damaged state files, and bad or heavy input.
#include "servicefixture.h"

#include "payloadcodeccore.h"

#include <atomic>
#include <thread>

using namespace zqtest;

namespace {

const zq::codec::Codec codec;

Fields bindFields(const std::string& session)
{
    return { { "username", "alice" }, { "sn", codec.encode("SN-T-1") }, { "ip", "127.0.2.1" }, { "port", "1001" },
        { "session_id", session }, { "plan", "S5" }, { "charge", "1" }, { "bind_type", "Manual" } };
}

std::vector<fs::path> filesIn(const fs::path& dir, const std::string& containing)
{
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().find(containing) != std::string::npos)
            out.push_back(e.path());
    return out;
}

} // namespace

TEST(ServiceState, SurvivesRestartAndKill)
{
    TempDir dir;
    const std::string data = writeTestData(dir);
    const std::string state = dir.file("state.json");
    std::string session;
    {
        ServiceProcess service({ "--data", data, "--state", state });
        ASSERT_TRUE(service.running());
        session = service.login("alice", "alice-pw");
        ASSERT_EQ(service.post("/api/session/bind", bindFields("persist"), session)["code"], 0);
        ASSERT_EQ(service.post(
                      "/api/favouriteList/test", { { "username", "alice" }, { "ip", "127.0.2.2" } }, session)["code"],
            1);
        ASSERT_EQ(service.post("/api/favouriteList/remark",
                      { { "username", "alice" }, { "ip", "127.0.2.2" }, { "remarks", "kept" } }, session)["code"],
            1);
        EXPECT_EQ(service.stop(SIGTERM), 0);
    }
    {
        ServiceProcess service({ "--data", data, "--state", state });
        ASSERT_TRUE(service.running());
        EXPECT_EQ(service.post("/api/socks/get_ip", {}, session)["ret_data"]["ip_num"], 1); // same session, charged
        const json fav
            = service.post("/api/todayList/getFavouriteInfo", { { "username", codec.encode("alice") } }, session);
        ASSERT_EQ(fav["ret_data"].size(), 1u);
        EXPECT_EQ(fav["ret_data"][0]["remarks"], "kept");
        const json today = service.post("/api/todayList/getInfo", { { "username", codec.encode("alice") } }, session);
        ASSERT_EQ(today["ret_data"].size(), 1u);
        EXPECT_EQ(today["ret_data"][0]["session_id"], "persist");
        // A change acknowledged to the client survives even a hard kill.
        EXPECT_EQ(service.post("/api/session/bind", bindFields("second"), session)["ret_data"]["ip_nums"], 0);
        service.stop(SIGKILL);
    }
    ServiceProcess service({ "--data", data, "--state", state });
    ASSERT_TRUE(service.running());
    EXPECT_EQ(service.post("/api/socks/get_ip", {}, session)["ret_data"]["ip_num"], 0);
    EXPECT_TRUE(filesIn(dir.path(), ".tmp.").empty());
}

TEST(ServiceState, StaleTemporaryFilesOfDeadWritersAreRemovedAtStart)
{
    TempDir dir;
    const std::string data = writeTestData(dir);
    const std::string state = dir.file("state.json");
    // What a writer killed mid-save leaves, one of a live process, and look-alikes that are not ours.
    const std::string dead = state + ".tmp.999999999", live = state + ".tmp." + std::to_string(::getpid());
    const std::string other = state + ".tmp.12ab", unrelated = dir.file("other.json.tmp.999999999");
    for (const auto& f : { dead, live, other, unrelated })
        writeAll(f, "{");
    ServiceProcess service({ "--data", data, "--state", state });
    ASSERT_TRUE(service.running());
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(unrelated));
}

TEST(ServiceState, DamagedFileIsKeptAndReported)
{
    TempDir dir;
    const std::string data = writeTestData(dir);
    const std::string state = dir.file("state.json");
    for (const std::string damaged : { std::string("{\"version\":1,\"accounts\":{\"alice\":{\"ip_nums\":"),
             std::string("{\"version\":1,\"accounts\":{\"alice\":{\"ip_nums\":\"many\"}},\"bindings\":[]}"),
             std::string("\x00\x01garbage", 9) }) {
        for (const auto& old : filesIn(dir.path(), "damaged"))
            fs::remove(old);
        writeAll(state, damaged);
        ServiceProcess service({ "--data", data, "--state", state }, dir.file("stderr.txt"));
        ASSERT_TRUE(service.running());
        const std::string session = service.login("alice", "alice-pw");
        EXPECT_EQ(service.post("/api/socks/get_ip", {}, session)["ret_data"]["ip_num"], 2); // from the data file
        service.stop();
        const std::string err = readAll(dir.file("stderr.txt"));
        EXPECT_NE(err.find("damaged"), std::string::npos) << err;
        const auto aside = filesIn(dir.path(), "state.json.damaged-");
        ASSERT_EQ(aside.size(), 1u) << err;
        EXPECT_EQ(readAll(aside[0].string()), damaged); // the damaged bytes are never lost
        EXPECT_NE(err.find(aside[0].string()), std::string::npos);
        EXPECT_FALSE(json::parse(readAll(state), nullptr, false).is_discarded()); // fresh state written
    }
}

TEST(ServiceState, KeepsStateOfAccountsMissingFromTheData)
{
    TempDir dir;
    const std::string data = writeTestData(dir);
    const std::string state = dir.file("state.json");
    const json zed { { "ip_nums", 7 }, { "note", "from an older data file" } };
    writeAll(
        state, json { { "version", 1 }, { "accounts", { { "zed", zed } } }, { "bindings", json::array() } }.dump());
    ServiceProcess service({ "--data", data, "--state", state });
    ASSERT_TRUE(service.running());
    ASSERT_FALSE(service.login("alice", "alice-pw").empty()); // forces a save
    service.stop();
    const json saved = json::parse(readAll(state));
    EXPECT_EQ(saved["accounts"]["zed"], zed);
    EXPECT_EQ(saved["accounts"]["alice"]["sessions"].size(), 1u);
}

TEST(ServiceInput, BadRequestsGetEnvelopes)
{
    TempDir dir;
    ServiceProcess service({ "--data", writeTestData(dir) });
    ASSERT_TRUE(service.running());
    auto c = service.client();
    auto expectEnvelope = [](const httplib::Result& res, const std::string& hint) {
        ASSERT_TRUE(res);
        const json r = json::parse(res->body, nullptr, false);
        ASSERT_TRUE(r.is_object()) << res->body;
        EXPECT_NE(r.value("code", 0), 0);
        EXPECT_NE(r.value("msg", "").find(hint), std::string::npos) << r.value("msg", "");
    };
    expectEnvelope(c.Post("/api/socks/login", "{\"username\":\"alice\"}", "application/json"), "multipart");
    expectEnvelope(c.Post("/api/socks/login", "--x\r\nbroken", "multipart/form-data; boundary=x"), "malformed");
    expectEnvelope(c.Post("/api/socks/login", std::string(2 << 20, 'a'), "text/plain"), "too large");
    expectEnvelope(c.Post("/api/socks/get_ip", { { "session-id", std::string(10000, 'a') } }, "", ""), "");
    expectEnvelope(c.Post("/api/nowhere", "", "text/plain"), "unknown path");
    const std::string session = service.login("alice", "alice-pw");
    expectEnvelope(c.Post("/api/get_line_list", { { "session-id", session } },
                       httplib::MultipartFormDataItems { { "num", "many", "", "" } }),
        "num");
    // A form with no parts at all is what a call without fields sends.
    auto empty = c.Post("/api/socks/config", httplib::MultipartFormDataItems {});
    ASSERT_TRUE(empty);
    EXPECT_EQ(json::parse(empty->body)["code"], 0);
    EXPECT_EQ(service.post("/api/socks/get_ip", {}, session)["code"], 0); // still serving
}

TEST(ServiceInput, BurstOfConcurrentRequests)
{
    TempDir dir;
    const std::string state = dir.file("state.json");
    ServiceProcess service({ "--data", writeTestData(dir), "--state", state });
    ASSERT_TRUE(service.running());
    const std::string session = service.login("alice", "alice-pw");
    std::atomic<int> envelopes { 0 }, logins { 0 }, failures { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 250; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 4; ++i) {
                json r;
                switch ((t + i) % 4) {
                case 0:
                    r = service.post("/api/socks/login", { { "username", "alice" }, { "password", "alice-pw" } });
                    if (r.value("code", -1) == 0)
                        ++logins;
                    break;
                case 1:
                    r = service.post("/api/get_line_list", { { "country", "US" } }, session);
                    break;
                case 2:
                    r = service.post("/api/get_line_list", { { "num", "x" } }, session);
                    break;
                default:
                    r = service.post("/api/socks/get_ip", {}, "stale");
                    break;
                }
                (r.is_object() && r.contains("code") && r["code"].is_number_integer() ? envelopes : failures)++;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(envelopes, 1000);
    EXPECT_EQ(logins, 250);
    EXPECT_EQ(service.post("/api/get_line_list", { { "country", "US" } }, session)["data"].size(), 3u);
    service.stop();
    // Every login of the burst reached the state file.
    const json saved = json::parse(readAll(state));
    EXPECT_EQ(saved["accounts"]["alice"]["sessions"].size(), 251u);
    EXPECT_TRUE(filesIn(dir.path(), ".tmp.").empty());
}
