// The start-up usage report runs on its own thread so that an absent network does not
// hold the first window back; it stays the first request the program sends, because
// every other sender waits for it first.
#pragma once

// Starts UpPcInfo on a background thread (once per process; later calls do nothing).
void StartUsageReport();
// Blocks until the report has finished (at once when none was started). Call it off the
// main thread, before a request that must follow the report.
void AwaitUsageReport();
// Waits for the report's thread to end; called at shutdown.
void JoinUsageReport();
