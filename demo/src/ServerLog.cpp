#include "ServerLog.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace demo {

namespace {
std::mutex g_logMutex;
std::atomic<bool> g_verbose{false};
}  // namespace

void LogLine(std::string_view text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y/%m/%d %H:%M:%S", &local);
    std::lock_guard lock(g_logMutex);
    std::fprintf(stderr, "%s tavo-demo-service: %.*s\n", stamp, static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

void SetVerbose(bool verbose) { g_verbose = verbose; }
bool Verbose() { return g_verbose; }

}  // namespace demo
