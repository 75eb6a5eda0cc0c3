#include "clock.h"

#include <atomic>
#include <chrono>

namespace zq::service {

namespace {

// One offset for the whole process: the HTTP handlers and the exit node share it.
std::atomic<std::int64_t> g_offset { 0 };

} // namespace

std::int64_t nowSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count()
        + g_offset.load(std::memory_order_relaxed);
}

std::int64_t clockOffset()
{
    return g_offset.load(std::memory_order_relaxed);
}

void setClockOffset(std::int64_t seconds)
{
    g_offset.store(seconds, std::memory_order_relaxed);
}

std::optional<std::int64_t> parseClockOffset(const std::string& text)
{
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    if (i == text.size() || text.size() - i > 12)
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    if (value > kMaxClockOffset)
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace zq::service
