// Load for the peers' HTTP servers: client threads sending one request after another (kept-alive
// or a new connection each), optionally while slow peers trickle a request one byte a second.
// Prints requests per second, latency percentiles and failures.
//
// usage: http-bench-load PORT PATH [--post] [--threads N] [--secs S] [--slow N] [--close]

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

int connectLoopback(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(
            stderr, "usage: http-bench-load PORT PATH [--post] [--threads N] [--secs S] [--slow N] [--close]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const std::string path = argv[2];
    bool post = false, closeEach = false;
    int threads = 4, secs = 3, slow = 0;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--post")
            post = true;
        else if (a == "--close")
            closeEach = true;
        else if (a == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (a == "--secs" && i + 1 < argc)
            secs = std::atoi(argv[++i]);
        else if (a == "--slow" && i + 1 < argc)
            slow = std::atoi(argv[++i]);
    }
    std::signal(SIGPIPE, SIG_IGN);

    // Slow peers: a request head that promises a body, then one byte a second.
    std::vector<int> slowFds;
    for (int i = 0; i < slow; ++i) {
        const int fd = connectLoopback(port);
        if (fd < 0)
            continue;
        const std::string head = "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n";
        (void)!::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        slowFds.push_back(fd);
    }
    std::atomic<bool> done { false };
    std::thread trickler([&] {
        while (!done) {
            for (int fd : slowFds)
                (void)!::send(fd, "a", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int i = 0; i < 10 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::mutex mutex;
    std::vector<double> latencies;
    std::atomic<long> failures { 0 };
    const auto end = Clock::now() + std::chrono::seconds(secs);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            std::vector<double> mine;
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(!closeEach);
            client.set_connection_timeout(2, 0);
            client.set_read_timeout(2, 0);
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                httplib::Result r
                    = post ? client.Post(path.c_str(), httplib::MultipartFormDataItems {}) : client.Get(path.c_str());
                if (r && r->status == 200)
                    mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
                else
                    ++failures;
            }
            std::lock_guard<std::mutex> lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (auto& w : workers)
        w.join();
    done = true;
    trickler.join();
    for (int fd : slowFds)
        ::close(fd);

    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
        return latencies.empty() ? 0.0 : latencies[std::min(latencies.size() - 1, std::size_t(p * latencies.size()))];
    };
    std::printf("%.0f req/s  p50 %.2f ms  p99 %.2f ms  max %.2f ms  failures %ld  (slow peers %zu)\n",
        double(latencies.size()) / secs, pct(0.5), pct(0.99), latencies.empty() ? 0.0 : latencies.back(),
        failures.load(), slowFds.size());
    return 0;
}
