// Small files written whole and atomically (temporary file, fsync, rename), so a crash or a
// restart never leaves a half-written state file behind.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace demo {

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view content);
// Reads a whole file of at most `limit` bytes; false when missing, unreadable or larger.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out, size_t limit);

}  // namespace demo
