// CListUI and its body.
#include "ui/List.h"

#include "ui/AttrParse.h"
#include "ui/ListContainerElement.h"
#include "ui/ListHeader.h"
#include "ui/PaintManager.h"
#include "ui/TreeNode.h"

CListUI::CListUI() {
  auto header = std::make_unique<CListHeaderUI>();
  auto body = std::make_unique<CListBodyUI>(this);
  m_pHeader = header.get();
  m_pList = body.get();
  m_pHeader->SetVisible(false);
  m_pList->EnableScrollBar(true, false);
  CVerticalLayoutUI::AddAt(header.release(), 0);
  CVerticalLayoutUI::AddAt(body.release(), 1);
}

void* CListUI::GetInterface(std::wstring_view name) {
  if (name == L"List" || name == L"IList") return this;
  return CVerticalLayoutUI::GetInterface(name);
}

bool CListUI::Add(CControlUI* control) { return AddAt(control, GetRowCount()); }

bool CListUI::AddAt(CControlUI* control, int index) {
  if (!control) return false;
  if (auto* header = dynamic_cast<CListHeaderUI*>(control)) {
    // A header from the skin replaces the empty one.
    CContainerUI::RemoveAt(0);
    CVerticalLayoutUI::AddAt(header, 0);
    m_pHeader = header;
    return true;
  }
  if (control->GetInterface(L"ListHeaderItem")) {
    m_pHeader->SetVisible(true);
    return m_pHeader->Add(control);
  }
  if (!m_pList->AddAt(control, index)) return false;
  if (auto* row = dynamic_cast<CListContainerElementUI*>(control)) {
    row->SetOwner(this);
    row->SetIndex(index);
  }
  if (index < GetRowCount() - 1) Renumber(index);
  if (m_iCurSel >= index && index < GetRowCount() - 1) ++m_iCurSel;
  return true;
}

void CListUI::Renumber(int from) {
  for (int i = std::max(0, from); i < m_pList->GetCount(); ++i)
    if (auto* row = dynamic_cast<CListContainerElementUI*>(m_pList->GetItemAt(i))) row->SetIndex(i);
}

bool CListUI::Remove(CControlUI* control) {
  int index = m_pList->GetItemIndex(control);
  if (index < 0) return CContainerUI::Remove(control);
  return RemoveAt(index);
}

bool CListUI::RemoveAt(int index) {
  if (!m_pList->RemoveAt(index)) return false;
  Renumber(index);
  if (m_iCurSel == index)
    m_iCurSel = -1;
  else if (m_iCurSel > index)
    --m_iCurSel;
  return true;
}

void CListUI::RemoveAll() {
  m_iCurSel = -1;
  m_pList->RemoveAll();
}

int CListUI::GetRowCount() const { return m_pList->GetCount(); }
CControlUI* CListUI::GetRowAt(int index) const { return m_pList->GetItemAt(index); }
int CListUI::GetRowIndex(const CControlUI* row) const { return m_pList->GetItemIndex(row); }

bool CListUI::SelectItem(int index, bool takeFocus, bool notify) {
  if (index == m_iCurSel) return true;
  int old = m_iCurSel;
  if (auto* prev = dynamic_cast<CListContainerElementUI*>(GetRowAt(m_iCurSel))) prev->Select(false, false);
  m_iCurSel = -1;
  auto* row = dynamic_cast<CListContainerElementUI*>(GetRowAt(index));
  if (!row || !row->IsVisible() || !row->IsEnabled()) {
    if (notify && old != -1 && m_pManager)
      m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, WPARAM(-1), old);
    return false;
  }
  m_iCurSel = index;
  row->Select(true, false);
  if (takeFocus) row->SetFocus();
  EnsureRowVisible(index);
  if (notify && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, WPARAM(index), old);
  return true;
}

void CListUI::EnsureRowVisible(int index) {
  if (m_pManager) m_pManager->DoLayout();
  m_pList->EnsureVisible(GetRowAt(index));
}

int CListUI::GetColumnCount() const {
  return m_pHeader && m_pHeader->IsVisible() ? m_pHeader->GetCount() : 0;
}

bool CListUI::GetColumnSpan(int column, int& left, int& right) const {
  if (GetColumnCount() == 0) return false;
  CControlUI* item = m_pHeader->GetItemAt(column);
  if (!item || !item->IsVisible()) return false;
  left = item->GetPos().left;
  right = item->GetPos().right;
  return true;
}

void CListUI::SetScrollPos(CDuiSize pos) { m_pList->SetScrollPos(pos); }

int CListUI::NextSelectableRow(int from, int step) const {
  for (int i = from; i >= 0 && i < GetRowCount(); i += step) {
    CControlUI* row = GetRowAt(i);
    if (row && row->IsVisible() && row->IsEnabled()) return i;
  }
  return -1;
}

bool CListUI::HandleTreeKey(UINT key) {
  auto* node = m_iCurSel >= 0 ? static_cast<CTreeNodeUI*>(GetRowAt(m_iCurSel)->GetInterface(L"TreeNode")) : nullptr;
  if (!node) return false;
  if (key == VK_RIGHT) {
    if (node->IsHasChild() && !node->IsExpanded())
      node->SetExpanded(true);
    else if (node->IsHasChild())
      SelectItem(NextSelectableRow(m_iCurSel + 1, 1), true);
    return true;
  }
  if (node->IsHasChild() && node->IsExpanded())
    node->SetExpanded(false);
  else if (CTreeNodeUI* parent = node->GetParentNode())
    SelectItem(GetRowIndex(parent), true);
  return true;
}

void CListUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::KeyDown) {
    // Hidden rows (below a collapsed tree node) are stepped over.
    int target = -1;
    switch (event.chKey) {
      case VK_UP:
        target = NextSelectableRow(m_iCurSel < 0 ? GetRowCount() - 1 : m_iCurSel - 1, -1);
        break;
      case VK_DOWN:
        target = NextSelectableRow(m_iCurSel + 1, 1);
        break;
      case VK_HOME:
        target = NextSelectableRow(0, 1);
        break;
      case VK_END:
        target = NextSelectableRow(GetRowCount() - 1, -1);
        break;
      case VK_LEFT:
      case VK_RIGHT:
        if (HandleTreeKey(event.chKey)) return;
        break;
      case VK_RETURN:
      case VK_SPACE:
        if (CControlUI* row = GetRowAt(m_iCurSel)) row->Activate();
        return;
      default:
        break;
    }
    if (target >= 0) {
      SelectItem(target, true);
      return;
    }
    if (event.chKey == VK_UP || event.chKey == VK_DOWN || event.chKey == VK_HOME || event.chKey == VK_END) return;
  }
  CVerticalLayoutUI::DoEvent(event);
}

bool CListUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  TListInfoUI& li = m_ListInfo;
  DWORD c = 0;
  int n = 0;
  bool b = false;
  CDuiRect rc;
  bool ok = true;
  if (name == L"header") {
    m_pHeader->SetVisible(value != L"hidden" && m_pHeader->GetCount() > 0);
  } else if (name == L"itemfont") {
    if ((ok = ParseInt(value, n))) li.nFont = n;
  } else if (name == L"itemalign") {
    li.uTextStyle &= ~(DT_CENTER | DT_RIGHT);
    if (value == L"center")
      li.uTextStyle |= DT_CENTER;
    else if (value == L"right")
      li.uTextStyle |= DT_RIGHT;
    else
      ok = value == L"left";
  } else if (name == L"itemvalign") {
    li.uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
    if (value == L"center" || value == L"vcenter")
      li.uTextStyle |= DT_VCENTER;
    else if (value == L"bottom")
      li.uTextStyle |= DT_BOTTOM;
    else
      ok = value == L"top";
  } else if (name == L"itemendellipsis") {
    if ((ok = ParseBool(value, b)))
      li.uTextStyle = b ? (li.uTextStyle | DT_END_ELLIPSIS) : (li.uTextStyle & ~DT_END_ELLIPSIS);
  } else if (name == L"itemtextpadding") {
    if ((ok = ParseRect(value, rc))) li.rcTextPadding = rc;
  } else if (name == L"itemtextcolor") {
    if ((ok = ParseColor(value, c))) li.dwTextColor = c;
  } else if (name == L"itembkcolor") {
    if ((ok = ParseColor(value, c))) li.dwBkColor = c;
  } else if (name == L"itemselectedtextcolor") {
    if ((ok = ParseColor(value, c))) li.dwSelectedTextColor = c;
  } else if (name == L"itemselectedbkcolor") {
    if ((ok = ParseColor(value, c))) li.dwSelectedBkColor = c;
  } else if (name == L"itemhottextcolor") {
    if ((ok = ParseColor(value, c))) li.dwHotTextColor = c;
  } else if (name == L"itemhotbkcolor") {
    if ((ok = ParseColor(value, c))) li.dwHotBkColor = c;
  } else if (name == L"itemdisabledtextcolor") {
    if ((ok = ParseColor(value, c))) li.dwDisabledTextColor = c;
  } else if (name == L"itemlinecolor") {
    if ((ok = ParseColor(value, c))) li.dwLineColor = c;
  } else if (name == L"itemshowrowline") {
    if ((ok = ParseBool(value, b))) li.bShowRowLine = b;
  } else if (name == L"multiselect") {
    if ((ok = ParseBool(value, b))) li.bMultiSelect = b;
  } else if (name == L"vscrollbar" || name == L"hscrollbar" || name == L"scrollstepsize" ||
             name == L"vscrollbarstyle" || name == L"hscrollbarstyle") {
    if (name == L"vscrollbar" && ParseBool(value, b) && !b) return m_pList->SetAttribute(name, value);
    return m_pList->SetAttribute(name, value);
  } else if (name == L"itemshowhtml" || name == L"itemimage" || name == L"itemhotimage" ||
             name == L"itemselectedimage" || name == L"itemdisabledimage" || name == L"itemdisabledbkcolor" ||
             name == L"itemshowcolumnline") {
  } else
    return CVerticalLayoutUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  Invalidate();
  return ok;
}

void CListBodyUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::KeyDown && m_pOwner) {
    m_pOwner->DoEvent(event);
    return;
  }
  CVerticalLayoutUI::DoEvent(event);
}

void CListBodyUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CVerticalLayoutUI::SetPos(rc, needInvalidate);
  FillNearRows();
}

void CListBodyUI::SetScrollPos(CDuiSize pos) {
  CVerticalLayoutUI::SetScrollPos(pos);
  FillNearRows();
}

void CListBodyUI::FillNearRows() {
  if (!IsVisible() || m_items.empty()) return;
  const CDuiRect inner = ContentRect();
  const int margin = inner.GetHeight() / 2;
  const int top = inner.top - margin;
  const int bottom = inner.bottom + margin;
  // Rows lie top to bottom in order; hidden ones keep old places and are skipped.
  for (auto& item : m_items) {
    if (!item->IsVisible() || item->IsFloat()) continue;
    const CDuiRect& pos = item->GetPos();
    if (pos.bottom < top) continue;
    if (pos.top > bottom) break;
    if (auto* row = dynamic_cast<CListContainerElementUI*>(item.get())) row->FillNow();
  }
}
