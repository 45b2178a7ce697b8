// Children side by side left to right: fixed widths first, the rest shared by the
// flexible ones within their min/max; heights fixed or full.
#pragma once

#include "ui/Container.h"

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"HorizontalLayoutUI"; }
  void* GetInterface(std::wstring_view name) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
};
