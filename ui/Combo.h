// A drop-down choice: shows the selected entry's text and an arrow; a click opens the
// entry list above everything else in the window; choosing an entry closes it and sends
// "itemselect" (wParam new index, lParam old index).
#pragma once

#include <memory>

#include "ui/Label.h"

class CListUI;
class CComboDropListUI;

class CComboUI : public CLabelUI {
 public:
  CComboUI();
  ~CComboUI() override;
  std::wstring GetClass() const override { return L"ComboUI"; }
  void* GetInterface(std::wstring_view name) override;
  UINT GetControlFlags() const override;

  // Entries (CListLabelElementUI or any list row); the combo owns them.
  bool Add(CControlUI* control);
  bool RemoveAt(int index);
  void RemoveAll();
  int GetCount() const;
  CControlUI* GetItemAt(int index) const;
  int GetCurSel() const { return m_iCurSel; }
  bool SelectItem(int index, bool notify = true);
  std::wstring GetText() const override;

  bool IsDropped() const;
  void ShowDropList(bool show);
  CListUI* GetDropList() const;

  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;

 private:
  std::unique_ptr<CComboDropListUI> m_pDropList;
  int m_iCurSel = -1;
  int m_iWantedSel = -1;  // a cursel given before its entry was added
  int m_iDropHeight = 200;
  bool m_bHot = false;
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  std::wstring m_sDisabledImage;
};
