// Shared helpers of the download tests: a private folder with the XDG folders inside it,
// file contents and hashes, the day log's text, and a loop runner with a guard time-out.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  // Points XDG_DATA_HOME, XDG_STATE_HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME inside it.
  void UseForXdg() const;

 private:
  std::filesystem::path m_path;
};

std::string RandomBytes(std::size_t size, std::uint32_t seed);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
std::string Sha256Hex(const std::string& bytes);
// Every day log under $XDG_STATE_HOME/tavo/log, narrowed from UTF-16LE (ASCII texts).
std::string ReadDayLogs();

// Runs the message loop until `done` or the guard time-out, which fails the test.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds guard = std::chrono::seconds(30));
