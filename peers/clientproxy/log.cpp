#include "log.h"

#include <chrono>
#include <ctime>
#include <iostream>
#include <mutex>

namespace zq::clientproxy {

void logLine(const std::string& text)
{
    static std::mutex mutex;
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm {};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d %H:%M:%S", &tm);
    std::lock_guard<std::mutex> lock(mutex);
    std::cerr << '[' << stamp << '.' << (ms < 100 ? (ms < 10 ? "00" : "0") : "") << ms << "] " << text << std::endl;
}

} // namespace zq::clientproxy
