// The header row of a list: header items side by side; their spans are the columns.
#pragma once

#include "ui/HorizontalLayout.h"

class CListHeaderUI : public CHorizontalLayoutUI {
 public:
  CListHeaderUI() { m_cxyFixed.cy = 28; }
  std::wstring GetClass() const override { return L"ListHeaderUI"; }
  void* GetInterface(std::wstring_view name) override {
    if (name == L"ListHeader") return this;
    return CHorizontalLayoutUI::GetInterface(name);
  }
};
