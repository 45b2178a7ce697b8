// CListLabelElementUI.
#include "ui/ListLabelElement.h"

#include "ui/List.h"
#include "ui/PaintManager.h"

void CListLabelElementUI::PaintText(cairo_t* cr) {
  const TListInfoUI* li = Info();
  TListInfoUI fallback;
  if (!li) li = &fallback;
  DWORD color = li->dwTextColor;
  if (!IsEnabled())
    color = li->dwDisabledTextColor;
  else if (m_bSelected)
    color = li->dwSelectedTextColor;
  else if (m_bHot)
    color = li->dwHotTextColor;
  CDuiRect rc = m_rcItem;
  rc.Deflate(li->rcTextPadding);
  rc.Deflate(m_rcInset);
  if (rc.left == m_rcItem.left) rc.left += 8;
  CRenderEngine::DrawText(cr, m_textLayout, rc, m_sText, color, FontOf(li->nFont), li->uTextStyle);
}
