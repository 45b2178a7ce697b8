// The login windows' background threads: the sign-in and SMS requests, and the catalogue
// load after a sign-in, which posts WM_LOGIN_DONE to the login frame when it has finished
// (also when the load failed). The threads never touch a window object: they post.
#pragma once

#include <functional>

#include "platform/Types.h"

// Runs `body` on a detached thread that is counted while it runs.
void RunLoginThread(std::function<void()> body);
// Threads of RunLoginThread still running (tests wait for zero before they end).
int PendingLoginThreads();
// Blocks until none runs or the time is up (the program's way out, after its loop ended,
// so no request is cut off inside the transport at exit); false when some still run.
bool WaitForLoginThreads(int timeoutMs);

void StartLoginWorker(HWND frame);
// The same load from what this computer kept for the signed-in account (an offline start).
void StartOfflineWorker(HWND frame);
