// A list row that is just a line of text in the list's item look (combo entries).
#pragma once

#include "ui/ListContainerElement.h"

class CListLabelElementUI : public CListContainerElementUI {
 public:
  CListLabelElementUI() { m_cxyFixed.cy = 28; }
  std::wstring GetClass() const override { return L"ListLabelElementUI"; }
  void* GetInterface(std::wstring_view name) override {
    if (name == L"ListLabelElement") return this;
    return CListContainerElementUI::GetInterface(name);
  }
  void PaintText(cairo_t* cr) override;

 private:
  CTextLayout m_textLayout;
};
