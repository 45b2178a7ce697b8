// The bridge function table.
#include "browser/JsFunctionTable.h"

#include "app/Log.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"

const std::array<JsFunctionEntry, 15> JsFunctionTable = {{
    {L"getVidAndPlayAuth", WM_USER + 500},
    {L"mouseEnter", WM_USER + 501},
    {L"mouseLeave", WM_USER + 502},
    {L"setPlayCurrentTime", WM_USER + 503},
    {L"mousePlayerDrag", WM_USER + 504},
    {L"playVideoEnd", WM_USER + 505},
    {L"playError", WM_USER + 506},
    {L"playVideoStart", WM_USER + 507},
    {L"onLButtonDown", WM_USER + 508},
    {L"playVideoFullScreen", WM_USER + 509},
    {L"playVideoCancelFullScreen", WM_USER + 510},
    {L"mouseMove", WM_USER + 511},
    {L"pauseVideo", WM_USER + 512},
    {L"playState", WM_USER + 513},
    {L"setPlaybackRate", WM_USER + 514},
}};

UINT JsFunctionMessage(std::wstring_view name) {
  for (const auto& entry : JsFunctionTable) {
    if (name == entry.name) return entry.message;
  }
  return 0;
}

void DispatchJsCall(HWND hostWindow, const std::wstring& functionName, const std::wstring& params,
                    const JsResponder& responder) {
  for (const auto& entry : JsFunctionTable) {
    if (functionName != entry.name) continue;
    LogNormal(L"CallCppFunc " + functionName + L" enter\n");
    SendMessage(hostWindow, entry.message, 0, 0,
                MakePayload<JsCallMessage>(JsCallMessage{params, responder}));
  }
}
