// Text in a rectangle: colour, font, alignment, padding, ellipsis, optional wrapping and
// width from the text.
#pragma once

#include "ui/Control.h"

class CLabelUI : public CControlUI {
 public:
  CLabelUI();
  std::wstring GetClass() const override { return L"LabelUI"; }
  void* GetInterface(std::wstring_view name) override;

  void SetTextStyle(UINT style) {
    m_uTextStyle = style;
    Invalidate();
  }
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextColor(DWORD c) {
    m_dwTextColor = c;
    Invalidate();
  }
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetDisabledTextColor(DWORD c) {
    m_dwDisabledTextColor = c;
    Invalidate();
  }
  void SetFont(int index) {
    m_iFont = index;
    Invalidate();
  }
  int GetFont() const { return m_iFont; }
  const CDuiRect& GetTextPadding() const { return m_rcTextPadding; }
  void SetTextPadding(const CDuiRect& rc) {
    m_rcTextPadding = rc;
    Invalidate();
  }
  void SetAutoCalcWidth(bool on) {
    m_bAutoCalcWidth = on;
    NeedParentUpdate();
  }
  void SetText(const std::wstring& text) override;

  CDuiSize EstimateSize(CDuiSize available) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintText(cairo_t* cr) override;

 protected:
  // Paints `text` in the text rectangle with `color`.
  void PaintTextWith(cairo_t* cr, const std::wstring& text, DWORD color);
  CDuiRect TextRect() const;

  DWORD m_dwTextColor = 0xFF333333;
  DWORD m_dwDisabledTextColor = 0xFFA7A6AA;
  int m_iFont = -1;
  UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
  CDuiRect m_rcTextPadding;
  bool m_bAutoCalcWidth = false;
  CTextLayout m_layout;
};
