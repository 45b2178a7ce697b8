// The subject tree window.
#include "mainwnd/LeftTreeDlg.h"

#include <algorithm>

#include "platform/Messages.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"

void LeftTreeDlg::InitWindow() {
  m_tree = FindControlAs<CTreeViewUI>(L"treeview");
  // Row lines stay invisible (alpha 0): rows are told apart by their own spacing.
  if (m_tree) m_tree->ApplyAttributeList(L"itemshowrowline=\"true\" itemlinecolor=\"#00F9F9F9\"");
}

CTreeNodeUI* LeftTreeDlg::GetSelectedNode() const {
  if (!m_tree) return nullptr;
  return dynamic_cast<CTreeNodeUI*>(m_tree->GetRowAt(m_tree->GetCurSel()));
}

void LeftTreeDlg::AddNode(CTreeNodeUI* node) {
  if (m_tree && node) m_tree->Add(node);
}

void LeftTreeDlg::SelectNode(CTreeNodeUI* node) {
  if (!m_tree) return;
  int index = node ? m_tree->GetRowIndex(node) : -1;
  if (index >= 0)
    m_tree->SelectItem(index);
  else
    m_tree->SelectItem(-1, false, false);
}

void LeftTreeDlg::ReselectCurrent() { SelectNode(m_delegate.GetCurrentNode()); }

void LeftTreeDlg::PlaceBeside(int x, int y, int bottom, int right) {
  const int room = right - x - kBodyMinWidth;
  const int width = std::clamp(std::min(m_preferredWidth, room), kMinWidth, kMaxWidth);
  m_placedWidth = width;
  MoveWindow({x + kLeftOffset, y + kTopOffset, x + kLeftOffset + width, bottom - 1});
}

LRESULT LeftTreeDlg::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  // A width other than the placed one is the student's own (the edge was dragged). Hosts
  // may report a placement's size later, so the comparison is by value.
  const int width = GetWindowRect().GetWidth();
  if (width != m_placedWidth) m_preferredWidth = m_placedWidth = width;
  if (m_hOwner != kNoWindow) PostMessage(m_hOwner, WM_TREE_WIDTH, 0, width);
  return 0;
}

bool LeftTreeDlg::OnHostKey(const HostKeyEvent& event) {
  m_byKey = true;
  const bool handled = WindowImplBase::OnHostKey(event);
  m_byKey = false;
  return handled;
}

void LeftTreeDlg::Notify(TNotifyUI& msg) {
  if (!msg.pSender) return;
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender->GetName() == L"treeFolder") {
    // Opening or closing a folder never moves the selection.
    ReselectCurrent();
    return;
  }
  if (msg.sType == DUI_MSGTYPE_ITEMSELECT && msg.pSender == m_tree) {
    CTreeNodeUI* node = GetSelectedNode();
    // The arrow keys walk over exam and package rows (to open or close them, or to reach
    // the classes below); a click on one keeps the class shown selected.
    if (node && m_byKey && node->GetUserData().empty()) return;
    if (node) m_delegate.ShowClass(node);
    return;
  }
  if (msg.sType == DUI_MSGTYPE_ITEMCLICK) {
    auto* node = dynamic_cast<CTreeNodeUI*>(msg.pSender);
    if (node && node->IsHasChild()) node->SetExpanded(!node->IsExpanded());
    return;
  }
  if (msg.sType == DUI_MSGTYPE_TREEITEMDBCLICK) {
    if (!GetSelectedNode()) ReselectCurrent();
    return;
  }
  WindowImplBase::Notify(msg);
}
