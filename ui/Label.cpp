// CLabelUI.
#include "ui/Label.h"

#include "ui/AttrParse.h"
#include "ui/PaintManager.h"

CLabelUI::CLabelUI() = default;

void* CLabelUI::GetInterface(std::wstring_view name) {
  if (name == L"Label") return this;
  return CControlUI::GetInterface(name);
}

void CLabelUI::SetText(const std::wstring& text) {
  if (text == m_sText) return;
  CControlUI::SetText(text);
  if (m_bAutoCalcWidth) NeedParentUpdate();
}

CDuiSize CLabelUI::EstimateSize(CDuiSize available) {
  CDuiSize sz = m_cxyFixed;
  if (m_bAutoCalcWidth && !m_sText.empty()) {
    CDuiSize t = CRenderEngine::MeasureText(m_sText, FontOf(m_iFont), -1, DT_SINGLELINE);
    sz.cx = t.cx + m_rcTextPadding.left + m_rcTextPadding.right;
  }
  (void)available;
  return sz;
}

bool CLabelUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool ok = true;
  bool b = false;
  int n = 0;
  DWORD c = 0;
  CDuiRect rc;
  if (name == L"align") {
    m_uTextStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
    if (value == L"left") {
    } else if (value == L"center")
      m_uTextStyle |= DT_CENTER;
    else if (value == L"right")
      m_uTextStyle |= DT_RIGHT;
    else
      ok = false;
    Invalidate();
  } else if (name == L"valign") {
    m_uTextStyle &= ~(DT_TOP | DT_VCENTER | DT_BOTTOM);
    if (value == L"top") {
    } else if (value == L"center" || value == L"vcenter")
      m_uTextStyle |= DT_VCENTER;
    else if (value == L"bottom")
      m_uTextStyle |= DT_BOTTOM;
    else
      ok = false;
    Invalidate();
  } else if (name == L"endellipsis") {
    if ((ok = ParseBool(value, b)))
      SetTextStyle(b ? (m_uTextStyle | DT_END_ELLIPSIS) : (m_uTextStyle & ~DT_END_ELLIPSIS));
  } else if (name == L"wordbreak" || name == L"multiline") {
    if ((ok = ParseBool(value, b)))
      SetTextStyle(b ? ((m_uTextStyle | DT_WORDBREAK) & ~DT_SINGLELINE)
                     : ((m_uTextStyle | DT_SINGLELINE) & ~DT_WORDBREAK));
  } else if (name == L"font") {
    if ((ok = ParseInt(value, n))) SetFont(n);
  } else if (name == L"textcolor") {
    if ((ok = ParseColor(value, c))) SetTextColor(c);
  } else if (name == L"disabledtextcolor") {
    if ((ok = ParseColor(value, c))) SetDisabledTextColor(c);
  } else if (name == L"textpadding") {
    if ((ok = ParseRect(value, rc))) SetTextPadding(rc);
  } else if (name == L"autocalcwidth") {
    if ((ok = ParseBool(value, b))) SetAutoCalcWidth(b);
  } else if (name == L"showhtml") {
    ok = ParseBool(value, b);
  } else
    return CControlUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

CDuiRect CLabelUI::TextRect() const {
  CDuiRect rc = m_rcItem;
  rc.Deflate(m_rcTextPadding);
  return rc;
}

void CLabelUI::PaintTextWith(cairo_t* cr, const std::wstring& text, DWORD color) {
  CRenderEngine::DrawText(cr, m_layout, TextRect(), text, color, FontOf(m_iFont), m_uTextStyle);
}

void CLabelUI::PaintText(cairo_t* cr) {
  PaintTextWith(cr, m_sText, IsEnabled() ? m_dwTextColor : m_dwDisabledTextColor);
}
