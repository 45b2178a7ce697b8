// Children stacked top to bottom: fixed heights first, the rest shared by the flexible
// ones within their min/max; widths fixed or full.
#pragma once

#include "ui/Container.h"

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::wstring GetClass() const override { return L"VerticalLayoutUI"; }
  void* GetInterface(std::wstring_view name) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
};
