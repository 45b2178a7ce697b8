// Time from process start to the first drawing of the login window, and the program's
// resident memory and mapped shared libraries at that point, over N starts (each on its own
// X server, folders and demo school). Usage: startup_bench [runs]
#include <glib.h>

#include <algorithm>
#include <ctime>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "E2eSession.h"

namespace {

using namespace std::chrono_literals;

// "VmRSS:   123456 kB" -> 123456; -1 when the process is gone.
long StatusKiB(int pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
  }
  return -1;
}

// The shared libraries a process has mapped: the distinct ".so" files of its memory map.
long SharedLibraries(int pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::set<std::string> files;
  for (std::string line; std::getline(maps, line);) {
    const size_t path = line.find('/');
    if (path != std::string::npos && line.find(".so", path) != std::string::npos)
      files.insert(line.substr(path));
  }
  return static_cast<long>(files.size());
}

// The monotonic time (µs) of the first drawing, from tavo's trace line; -1 until it came.
long long FirstDrawMicros(const std::string& output) {
  const std::string key = "tavo-first-draw ";
  size_t at = output.find(key);
  if (at == std::string::npos || output.find('\n', at) == std::string::npos) return -1;
  return std::atoll(output.c_str() + at + key.size());
}

// Wall-clock milliseconds of the log line holding `text` ("2026/12/10 05:01:15:350[...").
long long LogLineMillis(const std::string& log, const std::string& text) {
  size_t at = log.find(text);
  if (at == std::string::npos) return -1;
  size_t lineStart = log.rfind('\n', at);
  lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
  std::tm parts{};
  int millis = 0;
  if (std::sscanf(log.c_str() + lineStart, "%d/%d/%d %d:%d:%d:%d", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis) != 7) {
    return -1;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  parts.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&parts)) * 1000 + millis;
}

long long WallMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void Print(const char* what, std::vector<double> values, const char* unit) {
  if (values.empty()) {
    std::printf("%-34s no samples\n", what);
    return;
  }
  std::sort(values.begin(), values.end());
  double median = values.size() % 2 ? values[values.size() / 2]
                                    : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
  std::printf("%-34s median %8.1f %s   min %8.1f   max %8.1f   (%zu runs)\n", what, median, unit, values.front(),
              values.back(), values.size());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  std::vector<double> startMs, logOpenMs, rssMiB, peakMiB, libraries;
  for (int i = 0; i < runs; ++i) {
    e2e::E2eSession session;
    if (!session.Start()) {
      std::fprintf(stderr, "run %d: %s\n", i, session.error().c_str());
      continue;
    }
    const long long launchedWall = WallMillis();
    const long long launchedAt = g_get_monotonic_time();
    e2e::TavoRun run = session.Launch();
    long long drawnAt = -1;
    auto deadline = std::chrono::steady_clock::now() + 60s;
    while (drawnAt < 0 && std::chrono::steady_clock::now() < deadline) {
      drawnAt = FirstDrawMicros(session.Output(run));
      if (drawnAt < 0) std::this_thread::sleep_for(2ms);
    }
    if (drawnAt < 0) {
      std::fprintf(stderr, "run %d: no first drawing; output:\n%s\n", i, session.Output(run).c_str());
      continue;
    }
    long rss = StatusKiB(run.pid, "VmRSS:");
    long peak = StatusKiB(run.pid, "VmHWM:");
    libraries.push_back(static_cast<double>(SharedLibraries(run.pid)));
    startMs.push_back(static_cast<double>(drawnAt - launchedAt) / 1000.0);
    // The day log opens after the instance check, the listen thread's handshake and the
    // 200 ms pause: the first part of the start.
    long long logOpened = LogLineMillis(session.BrowserLog(), "_tWinMain start");
    if (logOpened > 0) logOpenMs.push_back(static_cast<double>(logOpened - launchedWall));
    if (rss > 0) rssMiB.push_back(static_cast<double>(rss) / 1024.0);
    if (peak > 0) peakMiB.push_back(static_cast<double>(peak) / 1024.0);
    std::printf("run %d: first drawing after %.1f ms, VmRSS %.1f MiB\n", i, startMs.back(), rss / 1024.0);
  }
  std::printf("\n");
  Print("start to login window drawn", startMs, "ms ");
  Print("  of which start to day log open", logOpenMs, "ms ");
  Print("resident memory (VmRSS) then", rssMiB, "MiB");
  Print("peak resident memory (VmHWM) then", peakMiB, "MiB");
  Print("shared libraries mapped then", libraries, "   ");
  return startMs.empty() ? 1 : 0;
}
