#include "driverlog.h"

#include <cstdio>
#include <iostream>

namespace zq::driver {

namespace {
std::FILE* g_file = nullptr;
}

void openLog(const std::string& path)
{
    if (!path.empty())
        g_file = std::fopen(path.c_str(), "a");
}

void logLine(const std::string& text)
{
    std::cerr << "Tarn_Driver: " << text << std::endl;
    if (g_file) {
        std::fprintf(g_file, "%s\n", text.c_str());
        std::fflush(g_file);
    }
}

} // namespace zq::driver
