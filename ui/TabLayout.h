// Pages on top of each other; only the selected child is shown.
#pragma once

#include "ui/Container.h"

class CTabLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"TabLayoutUI"; }
  void* GetInterface(std::wstring_view name) override {
    if (name == L"TabLayout") return this;
    return CContainerUI::GetInterface(name);
  }
  int GetCurSel() const { return m_iCurSel; }
  bool SelectItem(int index) {
    if (index < 0 || index >= GetCount()) return false;
    m_iCurSel = index;
    for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == index);
    NeedUpdate();
    return true;
  }
  bool SelectItem(CControlUI* control) { return SelectItem(GetItemIndex(control)); }
  bool Add(CControlUI* control) override {
    bool ok = CContainerUI::Add(control);
    if (ok) control->SetVisible(GetCount() - 1 == m_iCurSel || (m_iCurSel < 0 && GetCount() == 1));
    if (ok && m_iCurSel < 0) m_iCurSel = 0;
    return ok;
  }
  using CContainerUI::Add;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override {
    if (name == L"selectedid") {
      int n = 0;
      if (!ParseIntValue(value, n)) {
        ReportBadAttribute(this, name, value);
        return false;
      }
      m_iCurSel = n;
      SelectItem(n);
      return true;
    }
    return CContainerUI::SetAttribute(name, value);
  }

 private:
  static bool ParseIntValue(std::wstring_view v, int& n);
  int m_iCurSel = -1;
};
