#pragma once
// The stand-in driver's log: standard error and "Tarn_Driver.log" beside the executable, one
// line per event, so that a test can read what the driver understood.

#include <string>

namespace zq::driver {

// path: the log file; empty logs to standard error only.
void openLog(const std::string& path);
void logLine(const std::string& text);

} // namespace zq::driver
