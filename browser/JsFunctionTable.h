// The bridge between page script and windows: the function names with their window
// messages, and what a bridge message carries. The first thirteen are the player page's
// original calls; "playState" (the page plays, pauses, stalls or ends, and where) and
// "setPlaybackRate" (the student chose a speed) follow them.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Types.h"

struct JsFunctionEntry {
  const wchar_t* name;
  UINT message;
};

// Every browser control registers all of these, in this order.
extern const std::array<JsFunctionEntry, 15> JsFunctionTable;

// The message of a function name (exact, case-sensitive); 0 for a name outside the table.
UINT JsFunctionMessage(std::wstring_view name);

// Answers the page's callback: (code, text) arrive there as (decimal text, text). May be
// called any number of times, from any thread; each call sends one "JsCallBack".
using JsResponder = std::function<void(int code, const std::wstring& text)>;

// A bridge function registered for (function name, browser identifier).
using JsFunction = std::function<void(const std::wstring& functionName, const std::wstring& params,
                                      const JsResponder& responder)>;

// The payload of a bridge message 1524..1536 (sent to the host window, wParam and lParam 0):
// the parameter text as the page gave it ("{}" when it gave none) and the responder. The
// window may keep a copy of the responder to answer later.
struct JsCallMessage {
  std::wstring params;
  JsResponder responder;
};

// The bridge function every browser control registers for the table's names: sends the
// name's message to the host window with the parameter text and a copy of the responder.
// A name outside the table sends nothing.
void DispatchJsCall(HWND hostWindow, const std::wstring& functionName, const std::wstring& params,
                    const JsResponder& responder);
