// The browser control of the toolkit.
#include "browser/CefNativeControl.h"

#include <algorithm>
#include <cwctype>

#include "browser/ClientAppBrowser.h"
#include "ui/PaintManager.h"

std::unique_ptr<CControlUI> CefNativeControl::CreateFromTag(const std::wstring& tag, HWND hostWindow) {
  std::wstring lower = tag;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
  if (lower != L"cefcontrol") return nullptr;
  return std::make_unique<CefNativeControl>(hostWindow);
}

std::unique_ptr<CControlUI> CefNativeControl::CreateForWindow(const std::wstring& tag, HWND hostWindow,
                                                              CefNativeControl*& browser) {
  std::unique_ptr<CControlUI> control = CreateFromTag(tag, hostWindow);
  if (!control) return nullptr;
  if (!ClientAppBrowser::IsCreated()) {
    control = std::make_unique<CControlUI>();
    control->SetVisible(false);
    return control;
  }
  browser = static_cast<CefNativeControl*>(control.get());
  return control;
}

CefNativeControl::~CefNativeControl() {
  // The window lets go of the view before the browser (and so the view) can go.
  SetNativeWidget(nullptr);
  m_attached.reset();
}

void* CefNativeControl::GetInterface(std::wstring_view name) {
  if (name == L"CefControl") return this;
  return CNativeViewUI::GetInterface(name);
}

void CefNativeControl::DoInit() {
  HWND host = m_hostWindow;
  if (host == kNoWindow && GetManager()) host = GetManager()->GetPaintWindow();
  InitBrowser(host);
}

void CefNativeControl::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CNativeViewUI::SetPos(rc, needInvalidate);
  PlaceBrowsers(GetViewRect());
}

BrowserRect CefNativeControl::GetViewRect() const {
  const CDuiRect& rc = GetPos();
  return {rc.left, rc.top, rc.right, rc.bottom};
}

void CefNativeControl::PlaceView(GtkWidget* view, const BrowserRect&) {
  // Only the current browser is shown; the toolkit places it over the control (clipped
  // by scrolled parents) and follows the control's visibility.
  BrowserPtr current = GetBrowser();
  if (!current || current->GetWidget() != view) return;
  if (m_attached != current) {
    SetNativeWidget(view);
    m_attached = current;
  }
  UpdateNativePlacement();
}
