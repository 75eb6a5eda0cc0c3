#pragma once
// The service's "now": system time plus an offset. Tests move the offset (command line or
// /api/test/clock) to age bindings and today lists without waiting a day.

#include <cstdint>
#include <optional>
#include <string>

namespace zq::service {

// Largest offset accepted either way: about a hundred years.
inline constexpr std::int64_t kMaxClockOffset = 100LL * 366 * 86400;

// System time in seconds plus the current offset; every "now" of the service reads this.
std::int64_t nowSeconds();
std::int64_t clockOffset();
void setClockOffset(std::int64_t seconds);

// A signed decimal number of seconds ("86401", "-3600", "+60") within kMaxClockOffset;
// nullopt for anything else.
std::optional<std::int64_t> parseClockOffset(const std::string& text);

} // namespace zq::service
