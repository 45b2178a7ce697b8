// A pop-up menu built from a skin ("menu.xml": a <Menu> holding <MenuElement name=..
// text=..> items). A click on an item posts WM_MENU_CLICK to the owner window with a
// MenuCmd payload naming the item, then the menu closes; it also closes when it loses
// the focus.
#pragma once

#include <map>
#include <string>

#include "ui/Button.h"
#include "ui/WindowImplBase.h"

// The record a menu click carries (owned by the message).
struct MenuCmd {
  std::wstring szName;
  std::wstring szUserData;
  std::wstring szText;
  bool bChecked = false;
};

// One item of a menu.
class CMenuElementUI : public CButtonUI {
 public:
  CMenuElementUI();
  std::wstring GetClass() const override { return L"MenuElementUI"; }
  void* GetInterface(std::wstring_view name) override;
};

// Where the menu goes relative to its point.
constexpr unsigned eMenuAlignment_Left = 1 << 1;  // extends to the left of the point
constexpr unsigned eMenuAlignment_Top = 1 << 2;   // extends above the point
constexpr unsigned eMenuAlignment_Right = 1 << 3;
constexpr unsigned eMenuAlignment_Bottom = 1 << 4;

class CMenuWnd : public WindowImplBase {
 public:
  CMenuWnd() = default;
  std::wstring GetWindowClassName() const override { return L"MenuWnd"; }
  HostKind GetHostKind() const override { return HostKind::Popup; }

  // Builds and shows the menu at `point` (screen) for the window of `owner`.
  void Init(CMenuElementUI* parent, const std::wstring& skin, CDuiPoint point, CPaintManagerUI* owner,
            std::map<std::wstring, bool>* checks = nullptr,
            unsigned alignment = eMenuAlignment_Left | eMenuAlignment_Top);
  // Fits the window to its items and places it by the alignment.
  void ResizeMenu();
  void DestroyMenu();

  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return m_skin; }
  void OnHostFocus(bool focused) override;
  // Down and Up walk the items as Tab and Shift+Tab do.
  bool OnHostKey(const HostKeyEvent& event) override;

 private:
  std::wstring m_skin;
  HWND m_owner = kNoWindow;
  CDuiPoint m_point;
  unsigned m_alignment = 0;
};
