// A plain message window: registration tied to the object's lifetime.
#include "platform/MessageWindow.h"

MessageWindow::MessageWindow(Handler handler, const std::wstring& className, const std::wstring& title)
    : m_handler(std::make_shared<const Handler>(std::move(handler))),
      m_hwnd(RegisterWindow(this, className, title)) {}

MessageWindow::~MessageWindow() { UnregisterWindow(m_hwnd); }

void MessageWindow::SetHandler(Handler handler) {
  m_handler = std::make_shared<const Handler>(std::move(handler));
}

LRESULT MessageWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) {
  std::shared_ptr<const Handler> handler = m_handler;
  return *handler ? (*handler)(msg, wParam, lParam, payload) : 0;
}
