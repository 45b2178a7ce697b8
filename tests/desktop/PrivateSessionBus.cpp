// The loop runner of the bus tests.
#include "PrivateSessionBus.h"

namespace desktop_test {

using Clock = std::chrono::steady_clock;

bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (!done() && Clock::now() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(5000);
  }
  return done();
}

}  // namespace desktop_test
