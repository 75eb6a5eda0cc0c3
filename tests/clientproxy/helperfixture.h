#pragma once
// zq-service on loopback with a logged-in session, and clientProxy pointed at it; for the suites
// that drive the helper's relays as a whole.

#include "testsupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <dirent.h>

#include <cstdlib>

namespace zq::test {

inline const std::string kUnionId = "0123456789abcdef0123456789abcdef";

inline nlohmann::json parseJson(const std::string& text)
{
    auto j = nlohmann::json::parse(text, nullptr, false);
    return j.is_discarded() ? nlohmann::json() : j;
}

// Open descriptors of a process, -1 when it is gone.
inline int fdCount(int pid)
{
    DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!d)
        return -1;
    int n = 0;
    while (::readdir(d))
        ++n;
    ::closedir(d);
    return n - 2;
}

class HelperWithService : public ::testing::Test {
protected:
    // `launcher`: a program and its arguments that exec the helper (e.g. prlimit), or empty.
    void startPrograms(const std::vector<std::string>& launcher = {})
    {
        using namespace std::chrono_literals;
        m_service = std::make_unique<Process>(std::string(ZQ_BIN_DIR) + "/zq-service",
            std::vector<std::string> { "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--data",
                std::string(ZQ_SOURCE_DIR) + "/data/service.json" });
        const std::string line = m_service->readLine(10s);
        const auto first = line.find("http://");
        ASSERT_NE(first, std::string::npos) << "zq-service did not start: " << line;
        const std::string base = line.substr(first, line.find(' ', first) - first);
        const auto login = parseJson(
            postForm(base, "/api/socks/login", { { "username", "demo" }, { "password", "demo123" } }).second);
        ASSERT_TRUE(login.is_object() && login.value("code", -1) == 0) << "login failed: " << login.dump();
        m_session = login["ret_data"]["session_id"].get<std::string>();

        m_apiPort = freePort();
        m_start = freeRange(5);
        ASSERT_NE(m_start, 0);
        ::setenv("ZQ_ACCOUNT_BASE", base.c_str(), 1);
        ::setenv("ZQ_RESOURCE_BASE", base.c_str(), 1);
        std::vector<std::string> args { "-api_port=" + std::to_string(m_apiPort), "-user=demo", "-pwd=demo123",
            "-proxy_port_start=" + std::to_string(m_start), "-proxy_port_num=4",
            "-program_port=" + std::to_string(m_start + 4), "-uuid=" + kUnionId, "-inner_ip=127.0.0.1", "-udp_port=0",
            "-sessionid=" + m_session };
        std::string program = std::string(ZQ_BIN_DIR) + "/clientProxy";
        if (!launcher.empty()) {
            args.insert(args.begin(), program);
            args.insert(args.begin(), launcher.begin() + 1, launcher.end());
            program = launcher.front();
        }
        m_helper = std::make_unique<Process>(program, args, "/dev/null");
        for (int i = 0; i < 100 && httpGet(api(), "/api/get_server_status").first != 200; ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_EQ(httpGet(api(), "/api/get_server_status").first, 200) << "clientProxy did not answer";
    }

    void TearDown() override
    {
        using namespace std::chrono_literals;
        if (m_helper) {
            m_helper->closeStdin();
            m_helper->waitExit(5s);
        }
        m_helper.reset();
        m_service.reset();
    }

    std::string api() const { return "http://127.0.0.1:" + std::to_string(m_apiPort); }
    std::size_t boundCount()
    {
        const auto today = parseJson(httpGet(api(), "/ip/get_todaylist?isUser=client").second);
        return today.contains("data") ? today["data"].size() : 0;
    }

    std::unique_ptr<Process> m_service;
    std::unique_ptr<Process> m_helper;
    std::string m_session;
    std::uint16_t m_apiPort = 0;
    std::uint16_t m_start = 0;
};

} // namespace zq::test
