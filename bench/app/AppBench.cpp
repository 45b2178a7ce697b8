// Figures for the day log, the conversions and the settings store. Writes into a temporary
// folder, never into the user's own.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void LogLines(int threads, int linesPerThread) {
  const std::wstring text(80, L'x');
  Clock::time_point start = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      for (int i = 0; i < linesPerThread; ++i) LogNormal(text);
    });
  }
  for (std::thread& worker : workers) worker.join();
  double seconds = SecondsSince(start);
  std::printf("log: %d thread(s), %d lines of 80 characters: %.0f lines/s (%.2f us/line)\n",
              threads, threads * linesPerThread, threads * linesPerThread / seconds,
              seconds * 1e6 / (threads * linesPerThread));
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tavo-app-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path root = pattern;
  setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);

  if (!OpenLog(L"benchlog")) return 1;
  LogLines(1, 200000);
  LogLines(4, 50000);
  CloseLog();

  std::wstring wide;
  for (int i = 0; i < 100000; ++i) wide += L"ab\u4e2d\u6587";
  Clock::time_point start = Clock::now();
  size_t bytes = 0;
  for (int i = 0; i < 20; ++i) bytes += Utf8ToWide(WideToUtf8(wide)).size();
  std::printf("conversion: wide->UTF-8->wide round trips: %.1f M characters/s\n",
              bytes / SecondsSince(start) / 1e6);

  start = Clock::now();
  constexpr int kWrites = 200;
  for (int i = 0; i < kWrites; ++i) WriteRegString(L"lastclassid", std::to_wstring(i));
  std::printf("settings: %.3f ms per atomic write\n", SecondsSince(start) * 1e3 / kWrites);
  start = Clock::now();
  std::wstring value;
  for (int i = 0; i < kWrites; ++i) ReadRegString(L"lastclassid", value);
  std::printf("settings: %.3f ms per read\n", SecondsSince(start) * 1e3 / kWrites);

  std::filesystem::remove_all(root);
  return 0;
}
