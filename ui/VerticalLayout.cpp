// CVerticalLayoutUI.
#include "ui/VerticalLayout.h"

#include "ui/BoxLayout.h"

void* CVerticalLayoutUI::GetInterface(std::wstring_view name) {
  if (name == L"VerticalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CVerticalLayoutUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  CDuiRect inner = ContentRect();
  std::vector<CControlUI*> flow;
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat())
      SetFloatPos(item.get());
    else
      flow.push_back(item.get());
  }
  CDuiSize scroll = GetScrollPos();
  int needed = LayoutBox(flow, inner, true, m_iChildPadding, scroll.cy, scroll.cx);
  ProcessScrollBar(inner, 0, needed);
}
