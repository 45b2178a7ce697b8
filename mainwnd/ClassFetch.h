// Fetches one class's lessons ("/api/user/myClass") on a short-lived worker thread and
// posts the outcome to a window, so the window never waits for the service.
#pragma once

#include <string>

#include "platform/Types.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"

// What a fetch posts back: the message's payload (a ClassFetchResult).
struct ClassFetchResult {
  std::string classId;
  ClassDetailResult result = ClassDetailResult::NoAnswer;
  ClassDetail detail;
};

// Starts the fetch; when done, posts `msg` with a ClassFetchResult payload to `receiver`
// (dropped with its payload when the receiver is gone by then).
void StartClassFetch(HWND receiver, UINT msg, const std::string& classId);

// Fetches still running, and a wait for them (tests and shutdown; never on the UI path).
int PendingClassFetches();
bool WaitForClassFetches(int timeoutMs);
