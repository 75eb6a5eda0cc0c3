#pragma once
// Log lines on standard error (the client reads it and logs it as warnings).

#include <string>

namespace zq::clientproxy {

void logLine(const std::string& text);

} // namespace zq::clientproxy
