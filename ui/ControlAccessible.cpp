// Control to accessible node: roles, names, states, children, actions, text and value.
#include "ui/ControlAccessible.h"

#include <algorithm>
#include <cmath>

#include "ui/CheckBox.h"
#include "ui/Combo.h"
#include "ui/Container.h"
#include "ui/Edit.h"
#include "ui/GifAnim.h"
#include "ui/HorizontalLayout.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/MenuWnd.h"
#include "ui/NativeView.h"
#include "ui/Option.h"
#include "ui/PaintManager.h"
#include "ui/Progress.h"
#include "ui/ScrollBar.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"

namespace {

template <typename T>
T* As(CControlUI* c, std::wstring_view iface) {
  return c ? static_cast<T*>(c->GetInterface(iface)) : nullptr;
}

bool IsToggleRole(AccRole r) {
  return r == AccRole::CheckBox || r == AccRole::ToggleButton || r == AccRole::RadioButton || r == AccRole::PageTab;
}

// The texts of a row's visible descendants, joined: what a list row reads as.
void CollectTexts(CControlUI* c, std::wstring& out) {
  auto* box = As<CContainerUI>(c, L"Container");
  if (!box) return;
  for (int i = 0; i < box->GetCount(); ++i) {
    CControlUI* child = box->GetItemAt(i);
    if (!child->IsVisible()) continue;
    std::wstring t = As<CEditUI>(child, L"Edit") ? std::wstring() : child->GetText();
    if (!t.empty()) {
      if (!out.empty()) out += L", ";
      out += t;
    }
    CollectTexts(child, out);
  }
}

// Whether the control sits in a row of a list with columns (through layouts only).
bool InTableRow(CControlUI* c) {
  for (CControlUI* p = c->GetParent(); p; p = p->GetParent()) {
    if (auto* row = As<CListContainerElementUI>(p, L"ListContainerElement")) {
      CListUI* owner = row->GetOwner();
      return !row->HasAccRole() && owner && owner->GetColumnCount() > 1;
    }
    if (!CControlAccessible::IsFlattened(p)) return false;
  }
  return false;
}

void AddAccessibleChildren(CControlUI* c, std::vector<AccessibleNode*>& out) {
  auto* box = As<CContainerUI>(c, L"Container");
  if (!box) return;
  for (int i = 0; i < box->GetCount(); ++i) {
    CControlUI* child = box->GetItemAt(i);
    if (!child->IsVisible()) continue;
    AccRole role = CControlAccessible::RoleOf(child);
    if (CControlAccessible::IsFlattened(child))
      AddAccessibleChildren(child, out);
    else if (role != AccRole::Unknown)
      out.push_back(child->GetAccessible());
  }
  for (CScrollBarUI* bar : {box->GetVerticalScrollBar(), box->GetHorizontalScrollBar()})
    if (bar && bar->IsVisible()) out.push_back(bar->GetAccessible());
}

}  // namespace

AccRole ParseAccRole(std::wstring_view w) {
  static const std::pair<std::wstring_view, AccRole> kWords[] = {
      {L"panel", AccRole::Panel},         {L"button", AccRole::PushButton},   {L"checkbox", AccRole::CheckBox},
      {L"radio", AccRole::RadioButton},   {L"toggle", AccRole::ToggleButton}, {L"text", AccRole::Text},
      {L"label", AccRole::Label},         {L"list", AccRole::List},           {L"listitem", AccRole::ListItem},
      {L"table", AccRole::Table},         {L"row", AccRole::TableRow},        {L"cell", AccRole::TableCell},
      {L"tree", AccRole::Tree},           {L"treeitem", AccRole::TreeItem},   {L"progress", AccRole::ProgressBar},
      {L"combobox", AccRole::ComboBox},   {L"menu", AccRole::Menu},           {L"menuitem", AccRole::MenuItem},
      {L"pagetablist", AccRole::PageTabList}, {L"pagetab", AccRole::PageTab}, {L"image", AccRole::Image},
      {L"none", AccRole::Unknown},
  };
  for (const auto& [word, role] : kWords)
    if (word == w) return role;
  return AccRole::Unknown;
}

AccRole CControlAccessible::RoleOf(CControlUI* c) {
  if (c->HasAccRole()) return c->GetAccRole();
  if (c->GetInterface(L"TreeView")) return AccRole::Tree;
  if (c->GetInterface(L"TreeNode")) return AccRole::TreeItem;
  if (auto* list = As<CListUI>(c, L"List")) return list->GetColumnCount() > 1 ? AccRole::Table : AccRole::List;
  if (auto* row = As<CListContainerElementUI>(c, L"ListContainerElement")) {
    CListUI* owner = row->GetOwner();
    return owner && owner->GetColumnCount() > 1 ? AccRole::TableRow : AccRole::ListItem;
  }
  if (c->GetInterface(L"MenuElement")) return AccRole::MenuItem;
  if (c->GetInterface(L"Combo")) return AccRole::ComboBox;
  if (c->GetInterface(L"CheckBox")) return AccRole::CheckBox;
  if (auto* opt = As<COptionUI>(c, L"Option"))
    return opt->GetGroup().empty() ? AccRole::ToggleButton : AccRole::RadioButton;
  if (c->GetInterface(L"Button")) return AccRole::PushButton;
  if (auto* edit = As<CEditUI>(c, L"Edit")) return edit->IsPasswordMode() ? AccRole::PasswordText : AccRole::Text;
  if (c->GetInterface(L"Progress")) return AccRole::ProgressBar;
  if (c->GetInterface(L"ScrollBar")) return AccRole::ScrollBar;
  if (c->GetInterface(L"GifAnim")) return AccRole::Image;
  if (c->GetInterface(L"NativeView")) return AccRole::Panel;
  if (c->GetInterface(L"Label")) {
    if (c->GetText().empty()) return AccRole::Unknown;
    return InTableRow(c) ? AccRole::TableCell : AccRole::Label;
  }
  if (c->GetInterface(L"Container")) return AccRole::Panel;
  // A plain control is decoration unless it says something.
  if (!c->GetText().empty()) return AccRole::Label;
  if (!c->GetToolTip().empty()) return c->GetBkImage().empty() ? AccRole::Label : AccRole::Image;
  return AccRole::Unknown;
}

bool CControlAccessible::IsFlattened(CControlUI* c) {
  if (c->HasAccRole()) return false;
  return RoleOf(c) == AccRole::Panel && c->GetInterface(L"Container") && !c->GetInterface(L"NativeView");
}

void CControlAccessible::Report(CControlUI* c, AccEvent event) {
  if (!GetAccessibleSink() || !c) return;
  if (event == AccEvent::Focus) {
    c->GetAccessible()->Notify(event);
  } else if (AccessibleNode* node = c->PeekAccessible()) {
    node->Notify(event);
  }
  // A list row without a text of its own reads as the texts inside it.
  if (event == AccEvent::NameChanged) {
    for (CControlUI* p = c->GetParent(); p; p = p->GetParent()) {
      auto* row = As<CListContainerElementUI>(p, L"ListContainerElement");
      if (!row) continue;
      if (AccessibleNode* node = row->PeekAccessible(); node && row->GetText().empty()) node->Notify(event);
      break;
    }
  }
}

void CControlAccessible::ReportChildren(CControlUI* c) {
  if (!GetAccessibleSink() || !c) return;
  // The node whose child list changed: the nearest ancestor not flattened, else the root
  // (which stands for the window itself).
  while (c->GetParent() && IsFlattened(c)) c = c->GetParent();
  if (AccessibleNode* node = c->PeekAccessible()) node->Notify(AccEvent::ChildrenChanged);
}

std::string CControlAccessible::Name() const {
  CControlUI* c = m_control;
  std::wstring name;
  AccRole role = Role();
  // A label the skin pairs with the control names it: for an edit it says more than the
  // prompt, which only shows while the edit is empty.
  CControlUI* label = nullptr;
  if (!c->GetAccLabel().empty() && c->GetManager()) label = c->GetManager()->FindControl(c->GetAccLabel());
  if (auto* node = As<CTreeNodeUI>(c, L"TreeNode"))
    name = node->GetItemText();
  else if (role == AccRole::Text || role == AccRole::PasswordText)
    name = label ? label->GetText() : static_cast<CEditUI*>(c->GetInterface(L"Edit"))->GetHintText();
  else
    name = c->GetText();
  // A row or a tree node without a text of its own (a skin may hide the node's item text
  // and show a label of its own) reads as the texts inside it.
  if (name.empty() && (role == AccRole::ListItem || role == AccRole::TableRow || role == AccRole::TreeItem))
    CollectTexts(c, name);
  if (name.empty()) name = c->GetToolTip();
  if (name.empty() && label) name = label->GetText();
  return ToUtf8(name);
}

std::string CControlAccessible::Id() const { return ToUtf8(m_control->GetName()); }

unsigned CControlAccessible::States() const {
  CControlUI* c = m_control;
  unsigned s = 0;
  AccRole role = Role();
  if (c->IsEnabled()) s |= kAccEnabled;
  if (c->IsVisible()) {
    s |= kAccVisible;
    bool showing = true;
    for (CControlUI* p = c->GetParent(); p && showing; p = p->GetParent()) showing = p->IsVisible();
    CPaintManagerUI* pm = c->GetManager();
    if (showing && pm && pm->GetHostWindow() && pm->GetHostWindow()->IsVisible()) s |= kAccShowing;
  }
  if ((c->GetControlFlags() & UIFLAG_TABSTOP) && c->IsKeyboardEnabled()) s |= kAccFocusable;
  if (c->IsFocused()) s |= kAccFocused;
  if (auto* opt = As<COptionUI>(c, L"Option")) {
    if (role == AccRole::PageTab) {
      s |= kAccSelectable;
      if (opt->IsSelected()) s |= kAccSelected;
    } else if (IsToggleRole(role)) {
      s |= kAccCheckable;
      if (opt->IsSelected()) s |= kAccChecked;
    }
  }
  if (auto* row = As<CListContainerElementUI>(c, L"ListContainerElement")) {
    s |= kAccSelectable;
    if (row->IsSelected()) s |= kAccSelected;
  }
  if (auto* node = As<CTreeNodeUI>(c, L"TreeNode"); node && node->IsHasChild()) {
    s |= kAccExpandable;
    if (node->IsExpanded()) s |= kAccExpanded;
  }
  if (auto* edit = As<CEditUI>(c, L"Edit")) {
    if (!edit->IsReadOnly() && edit->IsEnabled()) s |= kAccEditable;
    if (edit->IsMultiLine()) s |= kAccMultiLine;
  }
  return s;
}

HostRect CControlAccessible::Extents() const {
  const CDuiRect& r = m_control->GetPos();
  return {r.left, r.top, r.GetWidth(), r.GetHeight()};
}

HostWindow* CControlAccessible::Window() const {
  CPaintManagerUI* pm = m_control->GetManager();
  return pm ? pm->GetHostWindow() : nullptr;
}

AccessibleNode* CControlAccessible::Parent() const {
  CControlUI* p = m_control->GetParent();
  if (auto* bar = As<CScrollBarUI>(m_control, L"ScrollBar"); bar && !p) p = bar->GetOwner();
  while (p && p->GetParent() && IsFlattened(p)) p = p->GetParent();
  // The root control stands for the window: its children sit directly below the window.
  if (!p || !p->GetParent()) return nullptr;
  return p->GetAccessible();
}

std::vector<AccessibleNode*> CControlAccessible::Children() const {
  std::vector<AccessibleNode*> out;
  AddAccessibleChildren(m_control, out);
  // A tree node is one item: its folder and check buttons are its actions and its texts
  // its name, so only the buttons of the row itself (pause, delete) are its children.
  if (Role() == AccRole::TreeItem) {
    auto* node = static_cast<CTreeNodeUI*>(m_control->GetInterface(L"TreeNode"));
    const CControlUI* strip = node ? node->GetTreeNodeHoriznotal() : nullptr;
    std::erase_if(out, [strip](AccessibleNode* n) {
      auto* child = static_cast<CControlAccessible*>(n);
      for (CControlUI* c = child->m_control; c; c = c->GetParent())
        if (c == strip) return true;
      return child->Actions().empty();
    });
  }
  return out;
}

void* CControlAccessible::NativeWidget() const {
  auto* view = As<CNativeViewUI>(m_control, L"NativeView");
  return view && view->IsVisible() ? view->GetNativeWidget() : nullptr;
}

bool CControlAccessible::GrabFocus() {
  if (!m_control->IsVisible() || !m_control->IsEnabled()) return false;
  m_control->SetFocus();
  return m_control->IsFocused();
}

std::vector<std::string> CControlAccessible::Actions() const {
  switch (Role()) {
    case AccRole::PushButton:
    case AccRole::RadioButton:
    case AccRole::PageTab:
    case AccRole::MenuItem:
    case AccRole::ListItem:
    case AccRole::TableRow:
      return {"click"};
    case AccRole::CheckBox:
    case AccRole::ToggleButton:
      return {"toggle"};
    case AccRole::ComboBox:
      return {"press"};
    case AccRole::TreeItem: {
      auto* node = static_cast<CTreeNodeUI*>(m_control->GetInterface(L"TreeNode"));
      if (node && node->IsHasChild()) return {"activate", "expand or contract"};
      return {"activate"};
    }
    default:
      return {};
  }
}

bool CControlAccessible::DoAction(int index) {
  std::vector<std::string> actions = Actions();
  if (index < 0 || index >= static_cast<int>(actions.size())) return false;
  if (actions[static_cast<size_t>(index)] == "expand or contract") {
    auto* node = static_cast<CTreeNodeUI*>(m_control->GetInterface(L"TreeNode"));
    if (!node->IsVisible() || !node->IsEnabled()) return false;
    node->SetExpanded(!node->IsExpanded());
    return true;
  }
  return m_control->Activate();
}

bool CControlAccessible::HasText() const {
  AccRole r = Role();
  return r == AccRole::Text || r == AccRole::PasswordText || r == AccRole::Label || r == AccRole::TableCell;
}

std::string CControlAccessible::Text() const {
  if (!HasText() || Role() == AccRole::PasswordText) return {};
  return ToUtf8(m_control->GetText());
}

bool CControlAccessible::SetText(const std::string& utf8) {
  auto* edit = As<CEditUI>(m_control, L"Edit");
  if (!edit || edit->IsReadOnly() || !edit->IsEnabled() || !edit->IsVisible()) return false;
  std::wstring before = edit->GetText();
  edit->SetText(FromUtf8(utf8));
  // The window hears of it as of typing.
  if (edit->GetText() != before && edit->GetManager())
    edit->GetManager()->SendNotify(edit, DUI_MSGTYPE_TEXTCHANGED);
  return true;
}

int CControlAccessible::Caret() const {
  auto* edit = As<CEditUI>(m_control, L"Edit");
  return edit ? edit->GetCaret() : 0;
}

bool CControlAccessible::SetCaret(int offset) {
  auto* edit = As<CEditUI>(m_control, L"Edit");
  if (!edit) return false;
  edit->SetSel(offset, offset);
  return true;
}

bool CControlAccessible::HasValue() const {
  AccRole r = Role();
  return r == AccRole::ProgressBar || r == AccRole::ScrollBar;
}

double CControlAccessible::Value() const {
  if (auto* p = As<CProgressUI>(m_control, L"Progress")) return p->GetValue();
  if (auto* b = As<CScrollBarUI>(m_control, L"ScrollBar")) return b->GetScrollPos();
  return 0;
}

double CControlAccessible::MinValue() const {
  if (auto* p = As<CProgressUI>(m_control, L"Progress")) return p->GetMinValue();
  return 0;
}

double CControlAccessible::MaxValue() const {
  if (auto* p = As<CProgressUI>(m_control, L"Progress")) return p->GetMaxValue();
  if (auto* b = As<CScrollBarUI>(m_control, L"ScrollBar")) return b->GetScrollRange();
  return 0;
}

bool CControlAccessible::SetValue(double value) {
  auto* bar = As<CScrollBarUI>(m_control, L"ScrollBar");
  if (!bar) return false;
  bar->SetScrollPos(static_cast<int>(std::lround(value)));
  return true;
}
