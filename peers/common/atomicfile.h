#pragma once
// Whole-file writes that never leave a half-written file: temp file, fsync, rename.

#include <string>

namespace zq::peers {

bool writeFileAtomic(const std::string& path, const std::string& content, std::string* error = nullptr);
// Whole file into content; false (and a reason) when it cannot be read.
// Removes "<path>.tmp.<pid>" files left by writers that died mid-write (their process is gone);
// returns how many were removed.
int removeStaleTemps(const std::string& path);
// Whole file into content; false (and a reason) when it cannot be read.
bool readFile(const std::string& path, std::string& content, std::string* error = nullptr);

} // namespace zq::peers
