// A check box: an option without a group whose selection is its check state.
#pragma once

#include "ui/Option.h"

class CCheckBoxUI : public COptionUI {
 public:
  CCheckBoxUI() { m_uTextStyle = DT_SINGLELINE | DT_VCENTER; }
  std::wstring GetClass() const override { return L"CheckBoxUI"; }
  void* GetInterface(std::wstring_view name) override {
    if (name == L"CheckBox") return this;
    return COptionUI::GetInterface(name);
  }
  void SetCheck(bool check, bool notify = true) { Selected(check, notify); }
  bool GetCheck() const { return IsSelected(); }
};
