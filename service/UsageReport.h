// The start-up usage report runs on its own thread so that an absent network does not
// hold the first window back; it stays the first request the program sends, because
// every other sender waits for it first.
#pragma once

#include <chrono>

// Starts UpPcInfo on a background thread (once per process; later calls do nothing).
void StartUsageReport();
// Blocks until the report has finished (at once when none was started). Call it off the
// main thread, before a request that must follow the report.
void AwaitUsageReport();
// The same for at most `limit` (a sign-in that may start offline waits no longer than it
// waits for its own answer); true when the report has finished.
bool AwaitUsageReportFor(std::chrono::milliseconds limit);
// Waits for the report's thread to end; called at shutdown.
void JoinUsageReport();
// The same, for at most `limit`: true when the thread has ended. A report still stuck in
// the network is left running (false), so the program's exit never waits for the
// transport's time-outs; the caller then ends the process without running static
// destructors (_exit), which the detached thread still uses.
bool JoinUsageReportFor(std::chrono::milliseconds limit);
