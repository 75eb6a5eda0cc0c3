// The service's clock offset: a day of binding life passes at once, by option or at run time.
#include "servicefixture.h"

#include "hostport.h"
#include "payloadcodeccore.h"

#include <arpa/inet.h>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace zqtest;

namespace {

const zq::codec::Codec codec;
constexpr long long kUnlimitedUntil = 4102444800LL; // alice's plan in the test data

Fields bindFields(int line, const std::string& ip, const std::string& plan, const std::string& session)
{
    return { { "username", "alice" }, { "sn", codec.encode("SN-T-" + std::to_string(line)) }, { "ip", ip },
        { "port", "1005" }, { "session_id", session }, { "plan", plan }, { "charge", "0" }, { "bind_type", "Manual" } };
}

// The exit node's status for the credentials (0 accepted), or -1 when it gave none.
int exitAuthStatus(int exitPort, const std::string& user, const std::string& password)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv { 5, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(exitPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    unsigned char reply[2] = {};
    std::string auth { '\x01', char(user.size()) };
    auth += user + char(password.size()) + password;
    int status = -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::send(fd, "\x05\x01\x02", 3, 0) == 3
        && ::recv(fd, reply, 2, MSG_WAITALL) == 2 && reply[1] == 0x02
        && ::send(fd, auth.data(), auth.size(), 0) == ssize_t(auth.size()) && ::recv(fd, reply, 2, MSG_WAITALL) == 2)
        status = reply[1];
    ::close(fd);
    return status;
}

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        start({});
        ASSERT_TRUE(service->running());
    }

    void start(std::vector<std::string> extra, const std::string& stderrFile = {})
    {
        std::vector<std::string> args { "--data", data };
        args.insert(args.end(), extra.begin(), extra.end());
        service.reset();
        service = std::make_unique<ServiceProcess>(args, stderrFile);
        alice = service->running() ? service->login("alice", "alice-pw") : std::string();
    }

    json setClock(const std::string& offset) const
    {
        return service->post("/api/test/clock", { { "offset", offset } });
    }

    json bind(const Fields& fields) const { return service->post("/api/session/bind", fields, alice); }

    // Today entries of alice's S5 lines, by sn.
    std::map<std::string, json> today() const
    {
        const json reply = service->post("/api/todayList/getInfo", { { "username", codec.encode("alice") } }, alice);
        std::map<std::string, json> out;
        for (const auto& e : reply["ret_data"])
            out[codec.decode(e["sn"].get<std::string>())] = e;
        return out;
    }

    struct Seen {
        bool listed = false;
        int exitStatus = -1;
    };
    // What the today list and the exit node say about a binding `age` seconds after bindTime. The
    // clock keeps ticking, so a look that straddles a second boundary is taken again.
    Seen seenAtAge(long long bindTime, long long age, const std::string& sn, const std::string& session) const
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::string offset = std::to_string(bindTime + age - std::time(nullptr));
            const json before = setClock(offset);
            if (before["data"]["now"].get<long long>() - bindTime != age)
                continue;
            Seen seen { today().count(sn) > 0, exitAuthStatus(service->exitPort(), sn, session) };
            // A slow look may cross a second; it still counts while the age stayed on its side
            // of the one-day line.
            const long long after = setClock(offset)["data"]["now"].get<long long>() - bindTime;
            if ((age < 86400) == (after < 86400))
                return seen;
        }
        ADD_FAILURE() << "could not hold the clock at age " << age;
        return {};
    }

    TempDir dir;
    const std::string data = writeTestData(dir);
    std::unique_ptr<ServiceProcess> service;
    std::string alice;
};

TEST_F(ClockTest, BindingsLastOneDay)
{
    ASSERT_EQ(bind(bindFields(1, "127.0.2.1", "S5", "day"))["code"], 0);
    const long long bindTime = today().at("SN-T-1")["bind_time"];

    const Seen young = seenAtAge(bindTime, 86397, "SN-T-1", "day");
    EXPECT_TRUE(young.listed);
    EXPECT_EQ(young.exitStatus, 0);
    const Seen old = seenAtAge(bindTime, 86401, "SN-T-1", "day");
    EXPECT_FALSE(old.listed);
    EXPECT_EQ(old.exitStatus, 1);

    // A binding made on the moved clock carries its time, and drops the day-old one for good.
    const json moved = setClock("86401");
    ASSERT_EQ(bind(bindFields(2, "127.0.2.2", "S5", "next"))["code"], 0);
    const json later = setClock("0");
    const auto list = today();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_GE(list.at("SN-T-2")["bind_time"].get<long long>(), moved["data"]["now"].get<long long>());
    EXPECT_LE(list.at("SN-T-2")["bind_time"].get<long long>(), later["data"]["now"].get<long long>() + 86401);
    EXPECT_EQ(exitAuthStatus(service->exitPort(), "SN-T-1", "day"), 1);
    EXPECT_EQ(exitAuthStatus(service->exitPort(), "SN-T-2", "next"), 0);
}

TEST_F(ClockTest, UnlimitedPlanExpiresByTheClock)
{
    const long long now = std::time(nullptr);
    ASSERT_EQ(setClock(std::to_string(kUnlimitedUntil - now - 300))["code"], 0);
    ASSERT_EQ(bind(bindFields(7, "127.0.3.1", "unlimit", "u1"))["code"], 0);
    EXPECT_EQ(exitAuthStatus(service->exitPort(), "SN-T-7", "u1"), 0);

    ASSERT_EQ(setClock(std::to_string(kUnlimitedUntil - now + 300))["code"], 0);
    const json refused = bind(bindFields(7, "127.0.3.1", "unlimit", "u2"));
    EXPECT_EQ(refused["code"], 403);
    EXPECT_NE(refused.value("msg", "").find("expired"), std::string::npos) << refused;
    EXPECT_EQ(exitAuthStatus(service->exitPort(), "SN-T-7", "u1"), 1);
}

TEST_F(ClockTest, EndpointRepliesAndRefusesBadOffsets)
{
    const long long before = std::time(nullptr);
    const json set = setClock("-3600");
    ASSERT_EQ(set["code"], 0) << set;
    EXPECT_EQ(set["msg"], "success");
    EXPECT_EQ(set["data"]["offset"], -3600);
    EXPECT_GE(set["data"]["now"].get<long long>(), before - 3600);
    EXPECT_LE(set["data"]["now"].get<long long>(), std::time(nullptr) - 3600);
    EXPECT_EQ(setClock("+60")["data"]["offset"], 60);
    ASSERT_EQ(setClock("-3600")["code"], 0);

    for (const std::string bad :
        { "", "abc", "12x", "1.5", "1e5", "--5", "+", "-", " 5", "0x10", "99999999999", "-99999999999" }) {
        const json r = setClock(bad);
        EXPECT_EQ(r.value("code", 0), 400) << "'" << bad << "' -> " << r;
        EXPECT_NE(r.value("msg", "").find("offset"), std::string::npos) << r;
    }
    EXPECT_EQ(service->post("/api/test/clock", {})["code"], 400);
    // None of them moved the clock.
    ASSERT_EQ(bind(bindFields(1, "127.0.2.1", "S5", "s"))["code"], 0);
    EXPECT_LE(std::llabs(today().at("SN-T-1")["bind_time"].get<long long>() - (std::time(nullptr) - 3600)), 5);
}

TEST_F(ClockTest, CommandLineOption)
{
    start({ "--clock-offset", "-3600" });
    ASSERT_TRUE(service->running());
    ASSERT_EQ(bind(bindFields(1, "127.0.2.1", "S5", "s"))["code"], 0);
    EXPECT_LE(std::llabs(today().at("SN-T-1")["bind_time"].get<long long>() - (std::time(nullptr) - 3600)), 5);

    // A state file read a day later keeps no binding from it.
    const std::string state = dir.file("state.json");
    start({ "--state", state });
    ASSERT_TRUE(service->running());
    ASSERT_EQ(bind(bindFields(1, "127.0.2.1", "S5", "kept"))["code"], 0);
    ASSERT_EQ(service->stop(SIGTERM), 0);
    start({ "--state", state, "--clock-offset=86401" });
    ASSERT_TRUE(service->running());
    EXPECT_TRUE(today().empty());
    ASSERT_EQ(setClock("0")["code"], 0);
    EXPECT_TRUE(today().empty());
    EXPECT_EQ(exitAuthStatus(service->exitPort(), "SN-T-1", "kept"), 1);

    for (const std::string bad : { "abc", "1.5", "99999999999", "" }) {
        start({ "--clock-offset", bad }, dir.file("stderr.txt"));
        EXPECT_FALSE(service->running()) << bad;
        EXPECT_EQ(service->stop(), 2) << bad;
        EXPECT_NE(readAll(dir.file("stderr.txt")).find("--clock-offset"), std::string::npos) << bad;
    }
}

// The clock endpoint answers only this machine; other callers cannot be made from loopback tests,
// so the address check is tested on its own.
TEST(ClockCallers, OnlyLoopbackAddresses)
{
    using zq::peers::isLoopbackAddress;
    for (const char* yes : { "127.0.0.1", "127.255.3.4", "::1", "0:0:0:0:0:0:0:1", "::ffff:127.0.0.1" })
        EXPECT_TRUE(isLoopbackAddress(yes)) << yes;
    for (const char* no :
        { "", "10.0.0.1", "128.0.0.1", "::ffff:10.0.0.1", "::2", "127.0.0.1.evil", "127.1", "localhost", "fe80::1" })
        EXPECT_FALSE(isLoopbackAddress(no)) << no;
}

} // namespace
