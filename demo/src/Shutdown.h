// The service-wide stop flag, so deliberate stalls (test and benchmark helpers) end at once
// when the service stops instead of holding its worker threads.
#pragma once

#include <chrono>

namespace demo {

void BeginShutdown();
// Sleeps for `duration` or until the service stops; false when it stopped.
bool SleepUnlessStopping(std::chrono::milliseconds duration);

}  // namespace demo
