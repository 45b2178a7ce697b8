// The display host on GTK 3: undecorated top-level windows drawn by the toolkit, layers
// as overlay children of their owner's window (above its content and its native children,
// with real transparency), native child widgets placed over control rectangles, input
// through GDK and GtkIMContext, choosers, tray icon, clipboard and URI opening.
#pragma once

#include "platform/host/Host.h"

class GtkHost : public Host {
 public:
  // Initialises GTK; false when no display can be opened.
  static bool Init();

  std::unique_ptr<HostWindow> CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                               HostKind kind) override;
  HostRect GetWorkArea() override;
  void GetCursorPos(int& x, int& y) override;
  void SetClipboardText(const std::string& utf8) override;
  std::string GetClipboardText() override;
  std::unique_ptr<HostTray> CreateTray(const std::vector<unsigned char>& icon, const std::string& tip,
                                       std::function<void(int)> onClick) override;
  std::string ChooseFile(HostWindow* owner, const std::string& title, const std::string& folder,
                         const std::vector<HostFileFilter>& filters) override;
  std::string ChooseFolder(HostWindow* owner, const std::string& title) override;
  std::string ChooseSaveFile(HostWindow* owner, const std::string& title, const std::string& name) override;
  bool OpenUri(const std::string& uri) override;
  void ShowNotification(const std::string& title, const std::string& body, std::function<void()> onClick) override;
  int DoubleClickTime() override;
};
