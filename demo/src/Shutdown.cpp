#include "Shutdown.h"

#include <condition_variable>
#include <mutex>

namespace demo {

namespace {
std::mutex g_mutex;
std::condition_variable g_changed;
bool g_stopping = false;
}  // namespace

void BeginShutdown() {
    {
        std::lock_guard lock(g_mutex);
        g_stopping = true;
    }
    g_changed.notify_all();
}

bool SleepUnlessStopping(std::chrono::milliseconds duration) {
    std::unique_lock lock(g_mutex);
    return !g_changed.wait_for(lock, duration, [] { return g_stopping; });
}

}  // namespace demo
