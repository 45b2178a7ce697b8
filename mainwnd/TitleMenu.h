// The main window's title-bar menu button, shown only where the desktop has no tray: it
// offers "关于" and "退出" (title_menu.xml), and a choice reaches the window as
// WM_MENU_CLICK, like the tray menu's.
#pragma once

#include <memory>

#include "ui/MenuWnd.h"
#include "ui/UIlib.h"

class TitleMenu {
 public:
  TitleMenu() = default;
  ~TitleMenu() { Close(); }
  TitleMenu(const TitleMenu&) = delete;
  TitleMenu& operator=(const TitleMenu&) = delete;

  // Shows the button "btnTitleMenu" of the window's skin when there is no tray.
  void Attach(CPaintManagerUI& pm, bool hasTray);
  // True when `msg` was the button's click (the menu is then open below the button);
  // `window` is the window's screen rectangle.
  bool HandleNotify(const TNotifyUI& msg, const CDuiRect& window);
  void Close();

 private:
  CPaintManagerUI* m_pm = nullptr;
  CControlUI* m_button = nullptr;
  std::unique_ptr<CMenuWnd> m_menu;
};
