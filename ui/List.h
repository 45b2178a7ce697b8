// A list: an optional header (CListHeaderUI) above a scrolled body of rows
// (CListContainerElementUI). The list keeps the row look ("item*" attributes), the
// selection, and sends "itemselect" (wParam new index, lParam old index).
#pragma once

#include "ui/VerticalLayout.h"

class CListHeaderUI;

// The look of a list's rows, shared by all of them.
struct TListInfoUI {
  int nFont = -1;
  UINT uTextStyle = DT_VCENTER | DT_SINGLELINE;
  CDuiRect rcTextPadding;
  DWORD dwTextColor = 0xFF000000;
  DWORD dwBkColor = 0;
  DWORD dwSelectedTextColor = 0xFF000000;
  DWORD dwSelectedBkColor = 0xFFC1E3FF;
  DWORD dwHotTextColor = 0xFF000000;
  DWORD dwHotBkColor = 0xFFE9F5FF;
  DWORD dwDisabledTextColor = 0xFFCCCCCC;
  DWORD dwLineColor = 0;
  bool bShowRowLine = false;
  bool bMultiSelect = false;
};

class CListBodyUI;

class CListUI : public CVerticalLayoutUI {
 public:
  CListUI();
  std::wstring GetClass() const override { return L"ListUI"; }
  void* GetInterface(std::wstring_view name) override;
  // A list takes the keyboard (arrows, Home, End) once a row was clicked.
  UINT GetControlFlags() const override { return IsEnabled() ? UIFLAG_TABSTOP : 0; }

  CListHeaderUI* GetHeader() const { return m_pHeader; }
  CListBodyUI* GetList() const { return m_pList; }
  TListInfoUI* GetListInfo() { return &m_ListInfo; }

  // Rows (a header given to Add becomes the header).
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;
  using CContainerUI::Add;
  int GetRowCount() const;
  CControlUI* GetRowAt(int index) const;
  int GetRowIndex(const CControlUI* row) const;

  int GetCurSel() const { return m_iCurSel; }
  virtual bool SelectItem(int index, bool takeFocus = false, bool notify = true);
  void EnsureRowVisible(int index);
  // Rows' column spans from the header (left/right of each header item).
  bool GetColumnSpan(int column, int& left, int& right) const;
  int GetColumnCount() const;

  void SetScrollPos(CDuiSize pos) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

 protected:
  void Renumber(int from);
  // The first visible, enabled row from `from` on in steps of `step` (+1 or -1), or -1.
  int NextSelectableRow(int from, int step) const;
  // Right expands the selected tree node (or steps into it), Left collapses it (or goes
  // to its parent); false when the selected row is no tree node.
  bool HandleTreeKey(UINT key);

  CListHeaderUI* m_pHeader = nullptr;
  CListBodyUI* m_pList = nullptr;
  TListInfoUI m_ListInfo;
  int m_iCurSel = -1;
};

// The scrolled part of a list holding the rows. After each layout and scroll step it fills
// the rows with deferred cells that lie within the view or half a view above or below it,
// so a list of thousands of rows makes the cells of a few dozen.
class CListBodyUI : public CVerticalLayoutUI {
 public:
  explicit CListBodyUI(CListUI* owner) : m_pOwner(owner) {}
  std::wstring GetClass() const override { return L"ListBodyUI"; }
  CListUI* GetOwner() const { return m_pOwner; }
  void DoEvent(TEventUI& event) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void SetScrollPos(CDuiSize pos) override;

 private:
  void FillNearRows();

  CListUI* m_pOwner;
};
