#pragma once
// Starts the real zq-service on free ports and talks to it over HTTP with multipart forms.

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <random>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace zqtest {

namespace fs = std::filesystem;
using nlohmann::json;
using Fields = std::vector<std::pair<std::string, std::string>>;

// A fresh folder under the system temp dir, removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        m_path = fs::temp_directory_path()
            / ("zq-service-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        fs::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Standard output of a shell command.
inline std::string runCommand(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// One running zq-service process.
class ServiceProcess {
public:
    // Extra arguments follow --listen/--exit-listen on port 0.
    explicit ServiceProcess(std::vector<std::string> args, const std::string& stderrFile = {})
    {
        std::vector<std::string> argv { std::string(ZQ_BIN_DIR) + "/zq-service", "--listen", "127.0.0.1:0",
            "--exit-listen", "127.0.0.1:0" };
        argv.insert(argv.end(), args.begin(), args.end());
        int out[2];
        if (::pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (!stderrFile.empty())
            posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> cargv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        if (posix_spawn(&m_pid, cargv[0], &actions, nullptr, cargv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
        if (m_pid > 0)
            readFirstLine();
    }
    ~ServiceProcess() { stop(SIGKILL); }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool running() const { return m_port > 0; }
    int port() const { return m_port; }
    int exitPort() const { return m_exitPort; }
    const std::string& firstLine() const { return m_line; }

    // SIGTERM lets the service save its state; returns the exit status.
    int stop(int sig = SIGTERM)
    {
        int status = -1;
        if (m_pid > 0) {
            ::kill(m_pid, sig);
            // A service that does not stop in time is killed, so a test never hangs.
            for (int i = 0; i < 1000 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                ::usleep(10000);
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                status = -1;
            }
            m_pid = -1;
        }
        if (m_out >= 0) {
            ::close(m_out);
            m_out = -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    httplib::Client client() const
    {
        httplib::Client c("127.0.0.1", m_port);
        c.set_connection_timeout(5);
        c.set_read_timeout(10);
        return c;
    }

    // POST a multipart form; the parsed reply, or a null json when there was no JSON reply.
    json post(const std::string& path, const Fields& fields = {}, const std::string& session = {},
        httplib::Headers headers = {}) const
    {
        httplib::MultipartFormDataItems items;
        for (const auto& [name, value] : fields)
            items.push_back({ name, value, "", "" });
        if (!session.empty())
            headers.emplace("session-id", session);
        auto c = client();
        auto res = c.Post(path.c_str(), headers, items);
        if (!res)
            return json();
        return json::parse(res->body, nullptr, false);
    }

    std::string login(const std::string& user, const std::string& password) const
    {
        const json r = post("/api/socks/login", { { "username", user }, { "password", password } });
        return r.value("code", -1) == 0 ? r["ret_data"]["session_id"].get<std::string>() : std::string();
    }

private:
    void readFirstLine()
    {
        char c;
        while (m_line.size() < 512) {
            pollfd p { m_out, POLLIN, 0 };
            if (::poll(&p, 1, 10000) <= 0 || ::read(m_out, &c, 1) != 1)
                return;
            if (c == '\n')
                break;
            m_line += c;
        }
        std::smatch m;
        static const std::regex re(R"(^listening https?://127\.0\.0\.1:(\d+) exit 127\.0\.0\.1:(\d+)$)");
        if (std::regex_match(m_line, m, re)) {
            m_port = std::stoi(m[1]);
            m_exitPort = std::stoi(m[2]);
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_line;
    int m_port = 0;
    int m_exitPort = 0;
};

// A small catalogue with known attributes, so filters have exact expectations.
inline json testData(const std::string& dataDir)
{
    auto line = [](int id, const char* plan, const char* ip, const char* iso, const char* country, const char* state,
                    const char* city, const char* postal, const char* isp, const char* asn) {
        json l { { "id", id }, { "plan", plan }, { "sn", "SN-T-" + std::to_string(id) }, { "ip", ip },
            { "server", "127.0.0.1:1" }, { "iso", iso }, { "country", country }, { "state", state }, { "city", city },
            { "postal", postal }, { "isp", isp }, { "asn", asn }, { "server_region", "test" } };
        if (std::string(plan) != "S5")
            l["plan_type_key"] = std::string(plan) + "_test_key";
        return l;
    };
    json lines = json::array({
        line(1, "S5", "127.0.2.1", "US", "United States", "California", "Los Angeles", "90001", "Comcast", "AS7922"),
        line(2, "S5", "127.0.2.2", "US", "United States", "California", "San Francisco", "94102", "AT&T", "AS7018"),
        line(3, "S5", "127.0.2.3", "US", "United States", "Texas", "Houston", "77001", "Comcast", "AS7922"),
        line(4, "S5", "127.0.2.4", "DE", "Germany", "Bavaria", "Munich", "80331", "Deutsche Telekom", "AS3320"),
        line(5, "S5", "127.0.2.5", "DE", "Germany", "Berlin", "Berlin", "10115", "Vodafone Germany", "AS3209"),
        line(6, "S5", "127.0.2.6", "JP", "Japan", "Tokyo", "Tokyo", "100-0001", "NTT OCN", "AS4713"),
        line(7, "unlimit", "127.0.3.1", "US", "United States", "Texas", "Dallas", "75201", "Verizon", "AS701"),
        line(8, "flow", "127.0.4.1", "US", "United States", "California", "Los Angeles", "90001", "Comcast", "AS7922"),
        line(9, "flow", "127.0.4.2", "GB", "United Kingdom", "England", "London", "EC1A 1BB", "BT", "AS2856"),
    });
    auto account = [](int uid, const char* name, int ipNums, long long expire, long long balance) {
        return json { { "uid", uid }, { "username", name }, { "password", std::string(name) + "-pw" },
            { "email", std::string(name) + "@example.com" }, { "server", "127.0.0.1" }, { "ip_nums", ipNums },
            { "expire_time", expire },
            { "flow", { { "balance", balance }, { "all_buy", 5000 }, { "expire_time", expire } } } };
    };
    json doc { { "accounts",
                   json::array({ account(1, "alice", 2, 4102444800LL, 2000), account(2, "bob", 0, 1700000000LL, 0),
                       account(3, "carol", 150, 4102444800LL, 1) }) },
        { "areas",
            json::array({ { { "code", "US" }, { "name", "United States" },
                { "state_list",
                    json::array({ { { "code", "CA" }, { "name", "California" },
                        { "city_list", json::array({ { { "code", "la" }, { "name", "Los Angeles" } } }) } } }) } } }) },
        { "lines", lines },
        { "packages", json::array({ { { "num", 10 }, { "limit_sale_price", "25" }, { "money", "30" } } }) },
        { "update",
            { { "version", 208 }, { "show_version", "2.0.8" }, { "desc", "test" }, { "force_update", "false" },
                { "file", "installer.bin" }, { "download_name", "setup.exe" } } } };
    writeAll(dataDir + "/installer.bin", std::string(3000, 'x'));
    return doc;
}

// Writes the test catalogue into dir and returns the data file path.
inline std::string writeTestData(const TempDir& dir)
{
    const std::string path = dir.file("service.json");
    writeAll(path, testData(dir.path().string()).dump());
    return path;
}

} // namespace zqtest
