// CTreeNodeUI.
#include "ui/TreeNode.h"

#include <algorithm>

#include "ui/AttrParse.h"
#include "ui/CheckBox.h"
#include "ui/ControlAccessible.h"
#include "ui/HorizontalLayout.h"
#include "ui/Label.h"
#include "ui/PaintManager.h"
#include "ui/TreeView.h"

namespace {

// The expand button; without pictures it draws a chevron pointing right or down.
class CTreeFolderButtonUI : public CCheckBoxUI {
 public:
  explicit CTreeFolderButtonUI(CTreeNodeUI* node) : m_node(node) { m_cxyFixed = {18, 0}; }
  // A leaf keeps the button's room (so levels line up) but shows and takes nothing.
  void PaintStatusImage(cairo_t* cr) override {
    if (!m_node->IsHasChild()) return;
    if (!m_sNormalImage.empty() || !m_sSelectedImage.empty()) {
      CCheckBoxUI::PaintStatusImage(cr);
      return;
    }
    double cx = (m_rcItem.left + m_rcItem.right) / 2.0;
    double cy = (m_rcItem.top + m_rcItem.bottom) / 2.0;
    CRenderEngine::SetSourceColor(cr, (m_uButtonState & UISTATE_HOT) ? 0xFF333333 : 0xFF8C8C8C);
    cairo_set_line_width(cr, 1.6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (m_bSelected) {
      cairo_move_to(cr, cx - 4, cy - 2);
      cairo_line_to(cr, cx, cy + 2);
      cairo_line_to(cr, cx + 4, cy - 2);
    } else {
      cairo_move_to(cr, cx - 2, cy - 4);
      cairo_line_to(cr, cx + 2, cy);
      cairo_line_to(cr, cx - 2, cy + 4);
    }
    cairo_stroke(cr);
  }
  CControlUI* FindControl(const FindPredicate& pred, UINT flags) override {
    if ((flags & UIFIND_HITTEST) && !m_node->IsHasChild()) return nullptr;
    return CCheckBoxUI::FindControl(pred, flags);
  }

 private:
  CTreeNodeUI* m_node;
};

}  // namespace

CTreeNodeUI::CTreeNodeUI() {
  m_cxyFixed.cy = 32;
  auto horiz = std::make_unique<CHorizontalLayoutUI>();
  auto dotted = std::make_unique<CLabelUI>();
  auto folder = std::make_unique<CTreeFolderButtonUI>(this);
  auto check = std::make_unique<CCheckBoxUI>();
  auto item = std::make_unique<COptionUI>();
  m_pHoriz = horiz.get();
  m_pDottedLine = dotted.get();
  m_pFolderButton = folder.get();
  m_pCheckBox = check.get();
  m_pItemButton = item.get();
  m_pDottedLine->SetFixedWidth(2);
  m_pDottedLine->SetMouseEnabled(false);
  m_pFolderButton->SetSelectChangedHook([this](bool selected) { SetExpanded(selected); });
  m_pFolderButton->Selected(true, false);
  m_pFolderButton->SetVisible(false);
  m_pCheckBox->SetFixedWidth(18);
  m_pCheckBox->SetVisible(false);
  m_pItemButton->SetMouseEnabled(false);
  m_pItemButton->ApplyAttributeList(L"align=\"left\" textpadding=\"4,0,0,0\"");
  m_pHoriz->SetMouseEnabled(false);
  // The node is one stop for the keyboard (the tree's): its arrows open and close it.
  for (CControlUI* part : {static_cast<CControlUI*>(m_pFolderButton), static_cast<CControlUI*>(m_pCheckBox),
                           static_cast<CControlUI*>(m_pItemButton)})
    part->SetAttribute(L"keyboard", L"false");
  m_pHoriz->Add(dotted.release());
  m_pHoriz->Add(folder.release());
  m_pHoriz->Add(check.release());
  m_pHoriz->Add(item.release());
  CListContainerElementUI::AddAt(horiz.release(), 0);
}

CTreeNodeUI::~CTreeNodeUI() {
  for (CTreeNodeUI* child : m_children) child->m_pParentNode = nullptr;
  if (m_pParentNode) {
    auto& siblings = m_pParentNode->m_children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void* CTreeNodeUI::GetInterface(std::wstring_view name) {
  if (name == L"TreeNode") return this;
  return CListContainerElementUI::GetInterface(name);
}

bool CTreeNodeUI::Add(CControlUI* control) {
  if (auto* node = dynamic_cast<CTreeNodeUI*>(control)) return AddChildNode(node);
  return CListContainerElementUI::Add(control);
}

bool CTreeNodeUI::AddAt(CControlUI* control, int index) {
  if (auto* node = dynamic_cast<CTreeNodeUI*>(control)) return AddChildNode(node);
  return CListContainerElementUI::AddAt(control, index);
}

CTreeNodeUI* CTreeNodeUI::GetChildNode(int index) const {
  if (index < 0 || index >= GetCountChild()) return nullptr;
  return m_children[static_cast<size_t>(index)];
}

CTreeNodeUI* CTreeNodeUI::LastDescendant() {
  CTreeNodeUI* node = this;
  while (!node->m_children.empty()) node = node->m_children.back();
  return node;
}

bool CTreeNodeUI::AddChildNode(CTreeNodeUI* node) {
  if (!node || node == this) return false;
  node->m_pParentNode = this;
  node->SetTreeLevel(m_iTreeLevel + 1);
  if (m_pTreeView) {
    if (!m_pTreeView->InsertChildNode(this, node)) return false;
  } else {
    m_pending.emplace_back(node);
  }
  m_children.push_back(node);
  if (m_pTreeView) m_pFolderButton->SetVisible(m_pTreeView->IsVisibleFolderBtn());
  node->CControlUI::SetVisible(m_bExpanded && IsVisible());
  node->ApplyChildVisibility();
  return true;
}

void CTreeNodeUI::UnlinkChild(CTreeNodeUI* node) {
  m_children.erase(std::remove(m_children.begin(), m_children.end(), node), m_children.end());
  node->m_pParentNode = nullptr;
}

bool CTreeNodeUI::RemoveChildNode(CTreeNodeUI* node) {
  auto it = std::find(m_children.begin(), m_children.end(), node);
  if (it == m_children.end()) return false;
  if (m_pTreeView) return m_pTreeView->Remove(node);
  m_children.erase(it);
  node->m_pParentNode = nullptr;
  m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                 [node](const std::unique_ptr<CTreeNodeUI>& p) { return p.get() == node; }),
                  m_pending.end());
  return true;
}

void CTreeNodeUI::MovePendingChildrenTo(CTreeViewUI* tree) {
  // Re-list the children one by one so each lands after its elder sibling's subtree.
  auto pending = std::move(m_pending);
  m_pending.clear();
  m_children.clear();
  for (auto& child : pending) {
    CTreeNodeUI* node = child.release();
    tree->InsertChildNode(this, node);
    m_children.push_back(node);
  }
}

void CTreeNodeUI::SetTreeView(CTreeViewUI* tree) {
  m_pTreeView = tree;
  if (!tree) return;
  SetOwner(tree);
  m_pFolderButton->SetVisible(tree->IsVisibleFolderBtn());
  m_pCheckBox->SetVisible(tree->IsVisibleCheckBtn());
  UpdateIndent();
}

void CTreeNodeUI::SetTreeLevel(int level) {
  // Subtrees may be built bottom-up (the skin builder does): levels below follow.
  m_iTreeLevel = level;
  UpdateIndent();
  for (CTreeNodeUI* child : m_children) child->SetTreeLevel(level + 1);
}

void CTreeNodeUI::UpdateIndent() {
  int indent = m_pTreeView ? m_pTreeView->GetIndent() : 16;
  m_pDottedLine->SetFixedWidth(2 + m_iTreeLevel * indent);
}

void CTreeNodeUI::SetExpanded(bool expanded) {
  if (m_bExpanded == expanded) return;
  m_bExpanded = expanded;
  if (m_pFolderButton->IsSelected() != expanded) m_pFolderButton->Selected(expanded, false);
  ApplyChildVisibility();
  CControlAccessible::Report(this, AccEvent::StateChanged);
  if (m_pManager) m_pManager->SendNotify(this, expanded ? L"itemexpand" : L"itemcollapse");
}

void CTreeNodeUI::ApplyChildVisibility() {
  for (CTreeNodeUI* child : m_children) {
    child->CControlUI::SetVisible(m_bExpanded && IsVisible());
    child->ApplyChildVisibility();
  }
}

void CTreeNodeUI::SetVisible(bool visible) {
  CListContainerElementUI::SetVisible(visible);
  ApplyChildVisibility();
}

void CTreeNodeUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CListContainerElementUI::SetPos(rc, needInvalidate);
  int textLeft = m_pHoriz->GetPos().left;
  for (CControlUI* part : {static_cast<CControlUI*>(m_pDottedLine), static_cast<CControlUI*>(m_pFolderButton),
                           static_cast<CControlUI*>(m_pCheckBox)}) {
    if (part->IsVisible()) textLeft = std::max(textLeft, part->GetPos().right);
  }
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* item = GetItemAt(i);
    if (item == m_pHoriz || !item->IsVisible() || item->IsFloat()) continue;
    CDuiRect r = item->GetPos();
    r.left = std::max(r.left, textLeft + item->GetPadding().left);
    item->SetPos(r, false);
  }
}

void CTreeNodeUI::SetItemText(const std::wstring& text) { m_pItemButton->SetText(text); }
std::wstring CTreeNodeUI::GetItemText() const { return m_pItemButton->GetText(); }
void CTreeNodeUI::SetVisibleFolderBtn(bool visible) { m_pFolderButton->SetVisible(visible); }
void CTreeNodeUI::SetVisibleCheckBtn(bool visible) { m_pCheckBox->SetVisible(visible); }
bool CTreeNodeUI::IsCheckBoxSelected() const { return m_pCheckBox->IsSelected(); }
void CTreeNodeUI::SetCheckBoxSelected(bool selected) { m_pCheckBox->Selected(selected); }

void CTreeNodeUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::DblClick && IsEnabled()) {
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TREEITEMDBCLICK);
    if (IsHasChild()) SetExpanded(!m_bExpanded);
    return;
  }
  CListContainerElementUI::DoEvent(event);
}

bool CTreeNodeUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  auto applyTo = [&](CControlUI* target) {
    // The value is an attribute list, or the name of a style holding one.
    const std::wstring* style = m_pManager ? m_pManager->GetStyle(std::wstring(value)) : nullptr;
    return target->ApplyAttributeList(style ? std::wstring_view(*style) : value);
  };
  bool b = false;
  if (name == L"text") {
    SetItemText(std::wstring(value));
    return true;
  }
  if (name == L"folderattr") return applyTo(m_pFolderButton);
  if (name == L"checkboxattr") return applyTo(m_pCheckBox);
  if (name == L"itemattr") return applyTo(m_pItemButton);
  if (name == L"dottedlineattr") return applyTo(m_pDottedLine);
  if (name == L"horizattr") return applyTo(m_pHoriz);
  if (name == L"innerstyle") return ApplyAttributeList(value);
  if (name == L"expand" || name == L"isexpand") {
    if (!ParseBool(value, b)) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    SetExpanded(b);
    return true;
  }
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
  return CListContainerElementUI::SetAttribute(name, value);
}
