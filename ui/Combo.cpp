// CComboUI and its drop-down list.
#include "ui/Combo.h"

#include "ui/AttrParse.h"
#include "ui/List.h"
#include "ui/PaintManager.h"

// The entry list of a combo: a choice goes back to the combo.
class CComboDropListUI : public CListUI {
 public:
  explicit CComboDropListUI(CComboUI* owner) : m_pCombo(owner) {
    SetBkColor(0xFFFFFFFF);
    SetBorderColor(0xFFD0D0D0);
    SetBorderSize(1);
    SetInset({1, 1, 1, 1});
  }
  bool SelectItem(int index, bool takeFocus, bool notify) override {
    CListUI::SelectItem(index, takeFocus, false);
    if (notify) {
      m_pCombo->SelectItem(index, true);
      m_pCombo->ShowDropList(false);
    }
    return true;
  }

 private:
  CComboUI* m_pCombo;
};

CComboUI::CComboUI() : m_pDropList(std::make_unique<CComboDropListUI>(this)) {
  m_pDropList->SetVisible(false);
  m_rcTextPadding = {8, 0, 24, 0};
  m_dwBackColor = 0xFFFFFFFF;
  m_dwBorderColor = 0xFFD0D0D0;
  m_nBorderSize = 1;
  m_cursor = UICursor::Hand;
}

CComboUI::~CComboUI() {
  if (m_pManager && m_pManager->GetPopup() == m_pDropList.get()) m_pManager->SetPopup(nullptr);
}

void* CComboUI::GetInterface(std::wstring_view name) {
  if (name == L"Combo") return this;
  return CLabelUI::GetInterface(name);
}

UINT CComboUI::GetControlFlags() const { return IsEnabled() ? (UIFLAG_TABSTOP | UIFLAG_SETCURSOR) : 0; }

CListUI* CComboUI::GetDropList() const { return m_pDropList.get(); }

bool CComboUI::Add(CControlUI* control) {
  if (!m_pDropList->Add(control)) return false;
  if (m_iWantedSel >= 0 && m_iWantedSel < GetCount()) {
    SelectItem(m_iWantedSel, false);
    m_iWantedSel = -1;
  }
  return true;
}
bool CComboUI::RemoveAt(int index) {
  if (index == m_iCurSel)
    m_iCurSel = -1;
  else if (index < m_iCurSel)
    --m_iCurSel;
  Invalidate();
  return m_pDropList->RemoveAt(index);
}
void CComboUI::RemoveAll() {
  m_iCurSel = -1;
  m_pDropList->RemoveAll();
  Invalidate();
}
int CComboUI::GetCount() const { return m_pDropList->GetRowCount(); }
CControlUI* CComboUI::GetItemAt(int index) const { return m_pDropList->GetRowAt(index); }

std::wstring CComboUI::GetText() const {
  CControlUI* item = GetItemAt(m_iCurSel);
  return item ? item->GetText() : m_sText;
}

bool CComboUI::SelectItem(int index, bool notify) {
  if (index == m_iCurSel) return true;
  if (index >= GetCount() || index < -1) return false;
  int old = m_iCurSel;
  m_iCurSel = index;
  m_pDropList->CListUI::SelectItem(index, false, false);
  Invalidate();
  if (notify && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, WPARAM(index), old);
  return true;
}

bool CComboUI::IsDropped() const { return m_pManager && m_pManager->GetPopup() == m_pDropList.get(); }

void CComboUI::ShowDropList(bool show) {
  if (!m_pManager) return;
  if (!show) {
    if (IsDropped()) m_pManager->SetPopup(nullptr);
    m_pDropList->SetVisible(false);
    Invalidate();
    return;
  }
  int rowHeight = 0;
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* row = GetItemAt(i);
    rowHeight += row->GetFixedHeight() > 0 ? row->GetFixedHeight() : 28;
  }
  int height = std::min(rowHeight + 2, m_iDropHeight);
  CDuiSize client = m_pManager->GetClientSize();
  CDuiRect rc{m_rcItem.left, m_rcItem.bottom + 2, m_rcItem.right, m_rcItem.bottom + 2 + height};
  if (rc.bottom > client.cy && m_rcItem.top - height - 2 >= 0) {
    rc = {m_rcItem.left, m_rcItem.top - height - 2, m_rcItem.right, m_rcItem.top - 2};
  }
  m_pDropList->SetManager(m_pManager, nullptr, true);
  m_pDropList->SetVisible(true);
  m_pDropList->SetPos(rc, false);
  m_pManager->SetPopup(m_pDropList.get(), this);
}

void CComboUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  CLabelUI::SetManager(manager, parent, init);
  m_pDropList->SetManager(manager, nullptr, init);
}

void CComboUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::ButtonDown:
      if (IsEnabled()) ShowDropList(!IsDropped());
      return;
    case UIEvent::ButtonUp:
    case UIEvent::MouseMove:
      return;
    case UIEvent::MouseEnter:
      m_bHot = true;
      Invalidate();
      return;
    case UIEvent::MouseLeave:
      m_bHot = false;
      Invalidate();
      return;
    case UIEvent::KeyDown:
      if (event.chKey == VK_DOWN) {
        SelectItem(std::min(GetCount() - 1, m_iCurSel + 1));
        return;
      }
      if (event.chKey == VK_UP) {
        SelectItem(std::max(0, m_iCurSel - 1));
        return;
      }
      if (event.chKey == VK_ESCAPE || event.chKey == VK_RETURN) {
        ShowDropList(false);
        return;
      }
      break;
    case UIEvent::ScrollWheel:
      if (!IsDropped()) {
        SelectItem(std::clamp(m_iCurSel + (event.lParam > 0 ? -1 : 1), 0, GetCount() - 1));
        return;
      }
      break;
    case UIEvent::KillFocus:
      ShowDropList(false);
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

bool CComboUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  CDuiSize sz;
  int n = 0;
  bool ok = true;
  TImageAttr img;
  std::wstring v(value);
  if (name == L"dropboxsize") {
    if ((ok = ParseSize(value, sz))) m_iDropHeight = sz.cy;
  } else if (name == L"itemfont" || name == L"itemtextcolor" || name == L"itemselectedbkcolor" ||
             name == L"itemhotbkcolor" || name == L"itemselectedtextcolor" || name == L"itemhottextcolor" ||
             name == L"itemtextpadding" || name == L"itemalign") {
    return m_pDropList->SetAttribute(name, value);
  } else if (name == L"dropbox")
    return m_pDropList->ApplyAttributeList(value);
  else if (name == L"normalimage") {
    if ((ok = ParseImage(value, img))) m_sNormalImage = v;
  } else if (name == L"hotimage") {
    if ((ok = ParseImage(value, img))) m_sHotImage = v;
  } else if (name == L"pushedimage") {
    if ((ok = ParseImage(value, img))) m_sPushedImage = v;
  } else if (name == L"disabledimage") {
    if ((ok = ParseImage(value, img))) m_sDisabledImage = v;
  } else if (name == L"cursel") {
    if ((ok = ParseInt(value, n)) && !SelectItem(n, false)) m_iWantedSel = n;
  } else
    return CLabelUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

void CComboUI::PaintStatusImage(cairo_t* cr) {
  if (!IsEnabled() && DrawImage(cr, m_sDisabledImage)) return;
  if (IsDropped() && DrawImage(cr, m_sPushedImage)) return;
  if (m_bHot && DrawImage(cr, m_sHotImage)) return;
  if (DrawImage(cr, m_sNormalImage)) return;
  // Without pictures: a chevron at the right edge.
  double cx = m_rcItem.right - 13;
  double cy = (m_rcItem.top + m_rcItem.bottom) / 2.0;
  CRenderEngine::SetSourceColor(cr, m_bHot ? 0xFF333333 : 0xFF8C8C8C);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, cx - 4, cy - 2);
  cairo_line_to(cr, cx, cy + 2);
  cairo_line_to(cr, cx + 4, cy - 2);
  cairo_stroke(cr);
}

void CComboUI::PaintText(cairo_t* cr) {
  PaintTextWith(cr, GetText(), IsEnabled() ? m_dwTextColor : m_dwDisabledTextColor);
}
