// The process's day log: one UTF-16LE file per role and day, one line per event.
// Lines written before OpenLog (or after it failed) are dropped silently.
#pragma once

#include <string>

// Writes one "[normal]" line. Callable from any thread.
void LogNormal(const std::wstring& text);
// Writes one "[error]" line. Callable from any thread.
void LogError(const std::wstring& text);

// Opens today's file "<log folder><baseName><year><month><day>.txt" (e.g. "browserlog"),
// deletes yesterday's, and appends a byte-order mark and a line break.
// Returns false when the file could not be opened; the sink then stays closed.
bool OpenLog(const std::wstring& baseName);

// Closes the sink (used at process end and by tests).
void CloseLog();
