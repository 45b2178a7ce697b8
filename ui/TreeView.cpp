// CTreeViewUI.
#include "ui/TreeView.h"

#include "ui/AttrParse.h"
#include "ui/CheckBox.h"
#include "ui/TreeNode.h"

CTreeViewUI::CTreeViewUI() {
  m_ListInfo.dwSelectedBkColor = 0xFFFF854D;
  m_ListInfo.dwHotBkColor = 0x7DFF854D;
}

void* CTreeViewUI::GetInterface(std::wstring_view name) {
  if (name == L"TreeView") return this;
  return CListUI::GetInterface(name);
}

void CTreeViewUI::AdoptNode(CTreeNodeUI* node) {
  node->SetTreeView(this);
  node->MovePendingChildrenTo(this);
}

bool CTreeViewUI::Add(CControlUI* control) { return AddAt(control, GetRowCount()); }

bool CTreeViewUI::AddAt(CControlUI* control, int index) {
  auto* node = dynamic_cast<CTreeNodeUI*>(control);
  if (!node) return CListUI::AddAt(control, index);
  if (!CListUI::AddAt(node, index)) return false;
  AdoptNode(node);
  return true;
}

bool CTreeViewUI::InsertChildNode(CTreeNodeUI* parent, CTreeNodeUI* node) {
  int at = GetRowIndex(parent->LastDescendant());
  if (at < 0) return false;
  // The node is listed as the parent's child only after this, so LastDescendant above
  // is the end of the parent's subtree without it.
  if (!CListUI::AddAt(node, at + 1)) return false;
  AdoptNode(node);
  parent->GetFolderButton()->SetVisible(m_bVisibleFolderBtn);
  return true;
}

bool CTreeViewUI::Remove(CControlUI* control) {
  auto* node = dynamic_cast<CTreeNodeUI*>(control);
  if (!node) return CListUI::Remove(control);
  while (node->GetCountChild() > 0) Remove(node->GetChildNode(node->GetCountChild() - 1));
  if (CTreeNodeUI* parent = node->GetParentNode()) {
    // Unlink now; the row itself dies after the current event.
    parent->UnlinkChild(node);
  }
  return CListUI::Remove(node);
}

void CTreeViewUI::SetVisibleFolderBtn(bool visible) {
  m_bVisibleFolderBtn = visible;
  for (int i = 0; i < GetRowCount(); ++i)
    if (auto* node = dynamic_cast<CTreeNodeUI*>(GetRowAt(i))) node->SetVisibleFolderBtn(visible);
}

void CTreeViewUI::SetVisibleCheckBtn(bool visible) {
  m_bVisibleCheckBtn = visible;
  for (int i = 0; i < GetRowCount(); ++i)
    if (auto* node = dynamic_cast<CTreeNodeUI*>(GetRowAt(i))) node->SetVisibleCheckBtn(visible);
}

bool CTreeViewUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool b = false;
  int n = 0;
  if (name == L"visiblefolderbtn" || name == L"visiblecheckbtn") {
    if (!ParseBool(value, b)) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    if (name == L"visiblefolderbtn")
      SetVisibleFolderBtn(b);
    else
      SetVisibleCheckBtn(b);
    return true;
  }
  if (name == L"indent") {
    if (!ParseInt(value, n) || n < 0) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    m_iIndent = n;
    return true;
  }
  if (name == L"itemminwidth") return true;
  return CListUI::SetAttribute(name, value);
}
