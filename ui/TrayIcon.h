// The program's tray icon: a release of the left or right button posts the given message
// to the window with wParam the icon id and lParam WM_LBUTTONUP or WM_RBUTTONUP. Where the
// desktop draws the icon's menu itself (a status notifier item), the menu holds the items
// of the skin's "menu.xml" and a choice posts WM_MENU_CLICK with the item's MenuCmd, as
// the program's own menu does.
// Where the desktop has no tray, CreateTrayIcon answers false and the caller decides
// what to do instead (the main window minimises rather than hides).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Types.h"

class HostTray;
struct HostTrayItem;

class CTrayIcon {
 public:
  CTrayIcon();
  ~CTrayIcon();
  // The icon picture is the skin file "icon_<id>.png" (a theme icon when missing).
  bool CreateTrayIcon(HWND receiver, UINT iconId, const std::wstring& tip, UINT message = WM_TRAY_ICON);
  void DeleteTrayIcon();
  bool IsCreated() const { return m_tray != nullptr; }
  void SetTooltipText(const std::wstring& tip);
  // The name and text of each MenuElement of a menu skin file.
  static std::vector<HostTrayItem> MenuItemsOf(const std::string& skinFile);

 private:
  std::unique_ptr<HostTray> m_tray;
};
