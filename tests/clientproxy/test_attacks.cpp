// Hostile HTTP peers against the real zq-service and clientProxy on loopback: oversized and
// chunked bodies, header floods, slow peers, pathological forms, and the helper's exit while
// such peers hold connections. Each case checks that well-behaved requests are still answered.

#include "testsupport.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using nlohmann::json;
using namespace zq::test;

namespace {

int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv { 10, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const std::string& data)
{
    std::size_t off = 0;
    while (off < data.size()) {
        const ssize_t n = ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += std::size_t(n);
    }
    return true;
}

// The status code of the first response line, 0 when none arrives.
int readStatus(int fd)
{
    char buf[512];
    const ssize_t n = ::recv(fd, buf, sizeof buf - 1, 0);
    if (n < 12)
        return 0;
    buf[n] = 0;
    return std::atoi(buf + 9);
}

long rssKb(int pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    while (f >> key) {
        if (key == "VmRSS:") {
            f >> value;
            return value;
        }
        f.ignore(1 << 20, '\n');
    }
    return -1;
}

// User and system CPU time the process has used.
double cpuSeconds(int pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        else if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

class Peers : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_service = std::make_unique<Process>(std::string(ZQ_BIN_DIR) + "/zq-service",
            std::vector<std::string> { "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--data",
                std::string(ZQ_SOURCE_DIR) + "/data/service.json" });
        const std::string line = m_service->readLine(10s);
        ASSERT_NE(line.find("listening http://127.0.0.1:"), std::string::npos) << line;
        const auto first = line.find("127.0.0.1:") + 10;
        m_servicePort = static_cast<std::uint16_t>(std::stoul(line.substr(first, line.find(' ', first) - first)));

        m_apiPort = freePort();
        const std::uint16_t start = freeRange(4);
        m_helper = std::make_unique<Process>(std::string(ZQ_BIN_DIR) + "/clientProxy",
            std::vector<std::string> { "-api_port=" + std::to_string(m_apiPort), "-user=demo", "-pwd=demo123",
                "-proxy_port_start=" + std::to_string(start), "-proxy_port_num=4",
                "-program_port=" + std::to_string(freePort()), "-uuid=u1", "-inner_ip=127.0.0.1", "-udp_port=0",
                "-sessionid=s1" },
            "/dev/null");
        for (int i = 0; i < 100 && !helperAnswers(); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(helperAnswers());
    }

    bool helperAnswers()
    {
        return httpGet("http://127.0.0.1:" + std::to_string(m_apiPort), "/api/get_server_status").first == 200;
    }
    bool serviceAnswers()
    {
        const auto r = postForm("http://127.0.0.1:" + std::to_string(m_servicePort), "/api/socks/config", {});
        return r.first == 200 && json::parse(r.second, nullptr, false).value("code", -1) == 0;
    }

    std::unique_ptr<Process> m_service;
    std::unique_ptr<Process> m_helper;
    std::uint16_t m_servicePort = 0;
    std::uint16_t m_apiPort = 0;
};

TEST_F(Peers, ChunkedAndHugeBodiesAreRefusedUnread)
{
    for (const auto& [port, pid] : { std::pair { m_servicePort, m_service->pid() }, { m_apiPort, m_helper->pid() } }) {
        const long before = rssKb(pid);
        // 64 MiB offered in chunks; refused once the de-chunked body passes the limit, none of it kept.
        const int fd = connectTo(port);
        ASSERT_GE(fd, 0);
        std::thread sender([fd] {
            sendAll(fd,
                "POST /api/socks/login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                "Content-Type: multipart/form-data; boundary=b\r\n\r\n");
            const std::string chunk = "100000\r\n" + std::string(0x100000, 'a') + "\r\n";
            for (int i = 0; i < 64 && sendAll(fd, chunk); ++i) { }
        });
        EXPECT_EQ(readStatus(fd), 413);
        ::shutdown(fd, SHUT_RDWR);
        sender.join();
        ::close(fd);
        // A declared length past the limit is refused from the head alone.
        const int big = connectTo(port);
        sendAll(big, "POST /api/socks/login HTTP/1.1\r\nHost: x\r\nContent-Length: 400000000\r\n\r\n");
        EXPECT_EQ(readStatus(big), 413);
        ::close(big);
        EXPECT_LT(rssKb(pid) - before, 8 * 1024);
    }
    EXPECT_TRUE(serviceAnswers());
    EXPECT_TRUE(helperAnswers());
}

TEST_F(Peers, HeaderFloodIsRefused)
{
    const long before = rssKb(m_helper->pid());
    const int fd = connectTo(m_apiPort);
    std::thread sender([fd] {
        std::string head = "GET /api/get_server_status HTTP/1.1\r\nHost: x\r\n";
        for (int i = 0; i < 200000; ++i)
            head += "X-" + std::to_string(i) + ": y\r\n";
        sendAll(fd, head + "\r\n");
    });
    EXPECT_EQ(readStatus(fd), 431);
    ::shutdown(fd, SHUT_RDWR);
    sender.join();
    ::close(fd);
    EXPECT_LT(rssKb(m_helper->pid()) - before, 8 * 1024);
    EXPECT_TRUE(helperAnswers());
}

TEST_F(Peers, SlowPeersDoNotStopEitherServer)
{
    // Far more trickling connections than either server has worker threads, each promising a body
    // just within the limit: what is kept for them grows with what arrives, not with the promise.
    const long serviceBefore = rssKb(m_service->pid()), helperBefore = rssKb(m_helper->pid());
    std::vector<int> slow;
    for (int i = 0; i < 64; ++i) {
        for (const auto& [port, length] : { std::pair { m_servicePort, 1000000 }, { m_apiPort, 250000 } }) {
            const int fd = connectTo(port);
            ASSERT_GE(fd, 0);
            sendAll(fd,
                "POST /api/socks/config HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(length)
                    + "\r\n\r\nab");
            slow.push_back(fd);
        }
    }
    for (int round = 0; round < 3; ++round) {
        for (int fd : slow)
            sendAll(fd, "a");
        EXPECT_TRUE(serviceAnswers());
        EXPECT_TRUE(helperAnswers());
        std::this_thread::sleep_for(300ms);
    }
    EXPECT_LT(rssKb(m_service->pid()) - serviceBefore, 8 * 1024);
    EXPECT_LT(rssKb(m_helper->pid()) - helperBefore, 8 * 1024);
    // The whole-request deadline ends them; the helper still leaves at once while they are open.
    m_helper->closeStdin();
    EXPECT_TRUE(m_helper->waitExit(1500ms).has_value());
    for (int fd : slow)
        ::close(fd);
}

TEST_F(Peers, PathologicalFormHeaderIsParsedInLinearTime)
{
    // Semicolons before the parameter sought: a copy of the rest of the header per ";" made this
    // quadratic, some seconds of CPU per request. A linear reader needs milliseconds; the bound
    // below is far from both.
    for (const auto& [port, count] : { std::pair { m_servicePort, 1000000 }, { m_apiPort, 250000 } }) {
        const std::string body = "--b\r\nContent-Disposition: form-data" + std::string(count, ';')
            + " name=\"username\"\r\n\r\nalice\r\n--b--\r\n";
        const int pid = port == m_apiPort ? m_helper->pid() : m_service->pid();
        const double before = cpuSeconds(pid);
        httplib::Client c("127.0.0.1", port);
        c.set_read_timeout(30, 0);
        const auto path = port == m_apiPort ? "/api/check_port_status" : "/api/socks/login";
        const auto res = c.Post(path, body, "multipart/form-data; boundary=b");
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200);
        EXPECT_LT(cpuSeconds(pid) - before, 0.5) << path;
    }
    EXPECT_TRUE(serviceAnswers());
}

// The service over TLS: its requests pass the same limits, and peers stalled in the handshake
// hold no thread.
TEST(TlsService, SlowHandshakesAndChunkedFloodsAreBounded)
{
    std::signal(SIGPIPE, SIG_IGN); // the TLS client writes to a socket the service has closed
    char dir[] = "/tmp/zq_tls_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string cert = std::string(dir) + "/cert.pem", key = std::string(dir) + "/key.pem";
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj "
                           "/CN=127.0.0.1 -keyout "
                  + key + " -out " + cert + " >/dev/null 2>&1")
                              .c_str()),
        0);
    Process service(std::string(ZQ_BIN_DIR) + "/zq-service",
        { "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--tls-cert", cert, "--tls-key", key, "--data",
            std::string(ZQ_SOURCE_DIR) + "/data/service.json" });
    const std::string line = service.readLine(10s);
    ASSERT_NE(line.find("listening https://127.0.0.1:"), std::string::npos) << line;
    const auto first = line.find("127.0.0.1:") + 10;
    const auto port = static_cast<std::uint16_t>(std::stoul(line.substr(first, line.find(' ', first) - first)));

    httplib::SSLClient good("127.0.0.1", port);
    good.enable_server_certificate_verification(false);
    good.set_read_timeout(5, 0);
    auto answers = [&good] {
        httplib::MultipartFormDataItems none;
        const auto r = good.Post("/api/socks/config", none);
        return r && r->status == 200 && json::parse(r->body, nullptr, false).value("code", -1) == 0;
    };
    ASSERT_TRUE(answers());

    // Far more peers than worker threads, each stuck one byte into its handshake.
    std::vector<int> slow;
    for (int i = 0; i < 64; ++i) {
        const int fd = connectTo(port);
        ASSERT_GE(fd, 0);
        sendAll(fd, "\x16");
        slow.push_back(fd);
    }
    EXPECT_TRUE(answers());

    const long before = rssKb(service.pid());
    httplib::SSLClient flood("127.0.0.1", port);
    flood.enable_server_certificate_verification(false);
    flood.set_write_timeout(5, 0);
    const std::string mib(1 << 20, 'a');
    std::size_t sent = 0;
    const auto res = flood.Post(
        "/api/socks/login",
        [&](std::size_t, httplib::DataSink& sink) {
            sent += mib.size();
            return sent <= (64u << 20) && sink.write(mib.data(), mib.size());
        },
        "text/plain");
    if (res) // the refusal may come before the client gives up sending
        EXPECT_EQ(res->status, 413);
    EXPECT_LT(sent, 64u << 20);
    EXPECT_LT(rssKb(service.pid()) - before, 8 * 1024);
    EXPECT_TRUE(answers());
    for (int fd : slow)
        ::close(fd);
    std::system(("rm -rf " + std::string(dir)).c_str());
}

// Kept-alive connections carry several requests, and a small chunked body is read like any other.
TEST_F(Peers, KeepAliveAndSmallChunkedBodiesAreServed)
{
    httplib::Client c("127.0.0.1", m_servicePort);
    c.set_keep_alive(true);
    for (int i = 0; i < 5; ++i) {
        httplib::MultipartFormDataItems none;
        const auto r = c.Post("/api/socks/config", none);
        ASSERT_TRUE(r);
        EXPECT_EQ(json::parse(r->body, nullptr, false).value("code", -1), 0);
    }
    const std::string form = "--b\r\nContent-Disposition: form-data; name=\"username\"\r\n\r\ndemo\r\n"
                             "--b\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\ndemo123\r\n--b--\r\n";
    const auto r = c.Post(
        "/api/socks/login",
        [&form](std::size_t offset, httplib::DataSink& sink) {
            if (offset < form.size())
                sink.write(form.data() + offset, std::min<std::size_t>(7, form.size() - offset));
            else
                sink.done();
            return true;
        },
        "multipart/form-data; boundary=b");
    ASSERT_TRUE(r);
    EXPECT_EQ(json::parse(r->body, nullptr, false).value("code", -1), 0) << r->body;
}

} // namespace
