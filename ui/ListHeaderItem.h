// One column title of a list header; a click sends "headerclick".
#pragma once

#include "ui/Button.h"
#include "ui/PaintManager.h"

class CListHeaderItemUI : public CButtonUI {
 public:
  CListHeaderItemUI() { m_cursor = UICursor::Arrow; }
  std::wstring GetClass() const override { return L"ListHeaderItemUI"; }
  void* GetInterface(std::wstring_view name) override {
    if (name == L"ListHeaderItem") return this;
    return CButtonUI::GetInterface(name);
  }
  UINT GetControlFlags() const override { return 0; }
  bool Activate() override {
    if (!CControlUI::Activate()) return false;
    if (m_pManager) m_pManager->SendNotify(this, L"headerclick");
    return true;
  }
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override {
    if (name == L"sepwidth" || name == L"sepimage" || name == L"dragable") return true;
    return CButtonUI::SetAttribute(name, value);
  }
};
