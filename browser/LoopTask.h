// Runs a function later on the main loop: how WebKit signal handlers hand work (bridge
// calls, answers, closes) to code that must not run inside the signal's emission.
#pragma once

#include <functional>

// Callable from any thread; the task runs on the main thread in the order posted.
void PostLoopTask(std::function<void()> task);
