// The offline banner of the title bar.
#include "mainwnd/OfflineBanner.h"

#include "ui/Control.h"
#include "ui/PaintManager.h"

namespace {
constexpr const wchar_t* kBanner = L"lbOfflineBanner";
}

void OfflineBanner::Show(bool offline) {
  if (CControlUI* banner = m_pm.FindControl(kBanner)) banner->SetVisible(offline);
}

bool OfflineBanner::IsShown() const {
  const CControlUI* banner = m_pm.FindControl(kBanner);
  return banner != nullptr && banner->IsVisible();
}
