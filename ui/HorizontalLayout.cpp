// CHorizontalLayoutUI.
#include "ui/HorizontalLayout.h"

#include "ui/BoxLayout.h"

void* CHorizontalLayoutUI::GetInterface(std::wstring_view name) {
  if (name == L"HorizontalLayout") return this;
  return CContainerUI::GetInterface(name);
}

void CHorizontalLayoutUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
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
  int needed = LayoutBox(flow, inner, false, m_iChildPadding, scroll.cx, scroll.cy);
  ProcessScrollBar(inner, needed, 0);
}
