// CNativeViewUI: keeps a native child widget over the control.
#include "ui/NativeView.h"

#include "ui/PaintManager.h"

CNativeViewUI::~CNativeViewUI() { DetachWidget(); }

void* CNativeViewUI::GetInterface(std::wstring_view name) {
  if (name == L"NativeView") return this;
  return CControlUI::GetInterface(name);
}

void CNativeViewUI::SetNativeWidget(void* widget) {
  if (widget == m_widget) return;
  DetachWidget();
  m_widget = widget;
  Attach();
}

void CNativeViewUI::Attach() {
  if (!m_widget || !m_pManager || !m_pManager->GetHostWindow() || m_childId) return;
  m_attachedTo = m_pManager;
  m_childId = m_pManager->GetHostWindow()->AddNativeChild(m_widget);
  m_pManager->AddNativeView(this);
  UpdateNativePlacement();
}

void CNativeViewUI::DetachWidget() {
  if (m_childId && m_attachedTo && m_attachedTo->GetHostWindow()) {
    m_attachedTo->GetHostWindow()->RemoveNativeChild(m_childId);
    m_attachedTo->RemoveNativeView(this);
  }
  m_childId = 0;
  m_attachedTo = nullptr;
}

void CNativeViewUI::UpdateNativePlacement() {
  if (!m_childId || !m_attachedTo || !m_attachedTo->GetHostWindow()) return;
  bool visible = IsVisible();
  for (CControlUI* p = m_pParent; p && visible; p = p->GetParent()) visible = p->IsVisible();
  CDuiRect r = m_rcItem;
  // Only the part inside every scrolled or clipped parent is shown.
  for (CControlUI* p = m_pParent; p; p = p->GetParent()) r = r.Intersect(p->GetPos());
  if (r.IsEmpty()) visible = false;
  m_attachedTo->GetHostWindow()->PlaceNativeChild(m_childId, {r.left, r.top, r.GetWidth(), r.GetHeight()},
                                                  visible);
}

void CNativeViewUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  if (manager != m_attachedTo) DetachWidget();
  CControlUI::SetManager(manager, parent, init);
  Attach();
}

void CNativeViewUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  UpdateNativePlacement();
}

void CNativeViewUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  UpdateNativePlacement();
}

void CNativeViewUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  UpdateNativePlacement();
}
