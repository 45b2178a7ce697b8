// A plain window without a display: a message receiver for workers' results and tests.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/MessageCore.h"

class MessageWindow : public MessageTarget {
 public:
  using Handler = std::function<LRESULT(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload)>;

  // Registers itself at once; the window lives until the object is destroyed.
  explicit MessageWindow(Handler handler = {}, const std::wstring& className = L"messageWindowClass",
                         const std::wstring& title = L"");
  ~MessageWindow() override;
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND GetHWND() const { return m_hwnd; }
  // A handler set while a message is being handled is used from the next message on.
  void SetHandler(Handler handler);

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) override;

 private:
  // Shared so the running handler stays alive if it replaces itself or ends the window.
  std::shared_ptr<const Handler> m_handler;
  HWND m_hwnd = kNoWindow;
};
