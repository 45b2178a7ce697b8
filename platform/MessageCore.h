// The message core: window handles, a process-wide window registry, posted and sent
// messages, per-window timers and the main loop, on GLib, usable without a display.
//
// Threading rules:
// - The main thread is the thread that called InitMessageCore; every handler, timer and
//   window registration runs there.
// - PostMessage is callable from any thread: the message is queued under a mutex, the
//   main loop is woken once, and the queue is delivered outside the lock in post order.
// - SendMessage on the main thread calls the handler at once; from any other thread it
//   queues the message and waits until the main thread has handled it (or dropped it
//   because the window is gone, which answers 0).
// - A message whose window is gone is dropped; its payload is released with it.
// - Timers belong to their window and die with it; they fire on the main thread.
// - Messages are delivered in post order, also across nested loops: a modal loop started
//   by a handler first delivers the rest of the batch its caller was delivering.
// - A window or timer added by a handler takes part from the next message on; a handler
//   never sees a message that was posted before its window existed.
// - Once the outermost RunMessageLoop has returned (or after ShutdownMessageCore), a
//   SendMessage from another thread answers 0 at once instead of waiting for a loop that
//   will not run; posted messages stay queued for the next loop.
// - Never make the main thread wait (join, lock) for a thread that may be inside
//   SendMessage: the same deadlock as anywhere else.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Types.h"

// A heap object carried by a message; the message record owns it, so a dropped or
// unhandled message frees it.
using Payload = std::shared_ptr<void>;

template <class T, class... Args>
Payload MakePayload(Args&&... args) {
  return std::make_shared<T>(std::forward<Args>(args)...);
}
template <class T>
T* PayloadAs(const Payload& payload) {
  return static_cast<T*>(payload.get());
}

// Anything that receives messages: windows of the toolkit, plain message windows.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  // Handles one message; the payload is valid for the duration of the call.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) = 0;
};

// Binds the core to the calling thread (the main thread) and its thread-default GLib main
// context (the global default context unless one was pushed). Calling it again rebinds.
void InitMessageCore();
// Unregisters every window (their timers stop), drops every queued message (payloads
// freed, waiting senders answered 0). Main thread; used at process end and by tests.
void ShutdownMessageCore();
bool IsMainThread();

// Registers a target under a new handle; the target must outlive its registration.
HWND RegisterWindow(MessageTarget* target, const std::wstring& className, const std::wstring& title);
// Removes the window: its timers stop, queued messages to it are dropped.
void UnregisterWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
void SetWindowTitle(HWND hwnd, const std::wstring& title);
// The first live window with this class name and title (an empty title matches any).
HWND FindWindow(const std::wstring& className, const std::wstring& title);

// False when the window does not exist (the payload is released by the caller's copy).
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Payload payload = {});
// The handler's result, or 0 when the window is gone before it could be handled.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0, Payload payload = {});

// Per-window timers: WM_TIMER with wParam = id every `ms` milliseconds until killed.
// Setting an existing id restarts it with the new period; periods under 10 ms become 10 ms.
// False when the window does not exist (or the core is not initialised).
bool SetTimer(HWND hwnd, UINT id, UINT ms);
bool KillTimer(HWND hwnd, UINT id);

// Runs the main loop until PostQuitMessage; returns the exit code given to it. A quit
// that reached a nested loop first ends that nested loop and then this one.
int RunMessageLoop();
// Callable from any thread; the quit is queued behind the messages posted before it.
void PostQuitMessage(int exitCode);
// Callable from any thread: runs `closure` on the main thread, in post order with the
// messages posted around it. Dropped unrun (and destroyed) by ShutdownMessageCore.
void PostToMainLoop(std::function<void()> closure);
// Runs a nested loop until `done` returns true or a quit arrives (modal windows, tests).
// `done` is checked before blocking and after each event the loop handles.
void RunNestedLoopUntil(const std::function<bool()>& done);
// Delivers the queued messages and runs ready event sources, without blocking (tests).
void PumpPendingMessages();
