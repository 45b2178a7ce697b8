// CProgressUI.
#include "ui/Progress.h"

#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"

CProgressUI::CProgressUI() { m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER; }

void* CProgressUI::GetInterface(std::wstring_view name) {
  if (name == L"Progress") return this;
  return CLabelUI::GetInterface(name);
}

void CProgressUI::SetValue(int value) {
  value = std::clamp(value, std::min(m_nMin, m_nMax), std::max(m_nMin, m_nMax));
  if (value == m_nValue) return;
  m_nValue = value;
  Invalidate();
  CControlAccessible::Report(this, AccEvent::ValueChanged);
}

bool CProgressUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  int n = 0;
  bool b = false;
  DWORD c = 0;
  bool ok = true;
  TImageAttr img;
  if (name == L"min") {
    if ((ok = ParseInt(value, n))) SetMinValue(n);
  } else if (name == L"max") {
    if ((ok = ParseInt(value, n))) SetMaxValue(n);
  } else if (name == L"value") {
    if ((ok = ParseInt(value, n))) SetValue(n);
  } else if (name == L"hor") {
    if ((ok = ParseBool(value, b))) m_bHorizontal = b;
  } else if (name == L"forecolor") {
    if ((ok = ParseColor(value, c))) m_dwForeColor = c;
  } else if (name == L"foreimage") {
    if ((ok = ParseImage(value, img))) m_sForeImage = value;
  } else if (name == L"isstretchfore") {
    ok = ParseBool(value, b);
  } else
    return CLabelUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

void CProgressUI::PaintStatusImage(cairo_t* cr) {
  if (m_nMax <= m_nMin) return;
  double part = double(m_nValue - m_nMin) / (m_nMax - m_nMin);
  CDuiRect rc = m_rcItem;
  if (m_bHorizontal)
    rc.right = rc.left + static_cast<int>(rc.GetWidth() * part + 0.5);
  else
    rc.top = rc.bottom - static_cast<int>(rc.GetHeight() * part + 0.5);
  if (rc.IsEmpty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, rc.left, rc.top, rc.GetWidth(), rc.GetHeight());
  cairo_clip(cr);
  if (!DrawImage(cr, m_sForeImage)) {
    int r = m_cxyBorderRound.cx;
    CRenderEngine::FillRect(cr, m_rcItem.Intersect(rc).IsEmpty() ? rc : m_rcItem, m_dwForeColor, r,
                            m_cxyBorderRound.cy);
  }
  cairo_restore(cr);
}
