// COptionUI.
#include "ui/Option.h"

#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"
#include "ui/PaintManager.h"

COptionUI::~COptionUI() {
  if (!m_sGroupName.empty() && m_pManager) m_pManager->RemoveOptionGroup(m_sGroupName, this);
}

void* COptionUI::GetInterface(std::wstring_view name) {
  if (name == L"Option") return this;
  return CButtonUI::GetInterface(name);
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  CButtonUI::SetManager(manager, parent, init);
  if (init && manager && !m_sGroupName.empty()) manager->AddOptionGroup(m_sGroupName, this);
}

void COptionUI::SetGroup(const std::wstring& group) {
  if (group == m_sGroupName) return;
  if (m_pManager && !m_sGroupName.empty()) m_pManager->RemoveOptionGroup(m_sGroupName, this);
  m_sGroupName = group;
  if (m_pManager && !m_sGroupName.empty()) m_pManager->AddOptionGroup(m_sGroupName, this);
  Selected(m_bSelected, false);
}

void COptionUI::Selected(bool selected, bool notify) {
  if (m_bSelected == selected && !(selected && !m_sGroupName.empty())) return;
  bool changed = m_bSelected != selected;
  m_bSelected = selected;
  if (selected)
    m_uButtonState |= UISTATE_SELECTED;
  else
    m_uButtonState &= ~UISTATE_SELECTED;
  if (m_pManager && !m_sGroupName.empty() && selected) {
    if (const auto* group = m_pManager->GetOptionGroup(m_sGroupName)) {
      auto members = *group;
      for (CControlUI* c : members) {
        auto* other = static_cast<COptionUI*>(c->GetInterface(L"Option"));
        if (other && other != this && other->IsSelected()) other->Selected(false, false);
      }
    }
  }
  Invalidate();
  if (changed) CControlAccessible::Report(this, AccEvent::StateChanged);
  if (changed && m_selectChangedHook) m_selectChangedHook(selected);
  if (changed && notify && m_pManager && (selected || m_sGroupName.empty()))
    m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED);
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;  // "click" first, then the selection change
  if (!m_sGroupName.empty())
    Selected(true);
  else
    Selected(!m_bSelected);
  return true;
}

bool COptionUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  std::wstring v(value);
  DWORD c = 0;
  bool b = false;
  bool ok = true;
  TImageAttr img;
  if (name == L"group")
    SetGroup(v);
  else if (name == L"selected") {
    if ((ok = ParseBool(value, b))) Selected(b, false);
  } else if (name == L"selectedimage") {
    if ((ok = ParseImage(value, img))) m_sSelectedImage = v;
  } else if (name == L"selectedhotimage") {
    if ((ok = ParseImage(value, img))) m_sSelectedHotImage = v;
  } else if (name == L"selectedforeimage") {
    if ((ok = ParseImage(value, img))) m_sSelectedForeImage = v;
  } else if (name == L"selectedtextcolor") {
    if ((ok = ParseColor(value, c))) m_dwSelectedTextColor = c;
  } else if (name == L"selectedbkcolor") {
    if ((ok = ParseColor(value, c))) m_dwSelectedBkColor = c;
  } else
    return CButtonUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  Invalidate();
  return ok;
}

void COptionUI::PaintBkColor(cairo_t* cr) {
  if (m_bSelected && m_dwSelectedBkColor) {
    CRenderEngine::FillRect(cr, m_rcItem, m_dwSelectedBkColor, m_cxyBorderRound.cx, m_cxyBorderRound.cy);
    return;
  }
  CButtonUI::PaintBkColor(cr);
}

void COptionUI::PaintStatusImage(cairo_t* cr) {
  if (m_bSelected) {
    if ((m_uButtonState & UISTATE_HOT) && DrawImage(cr, m_sSelectedHotImage)) {
    } else if (!DrawImage(cr, m_sSelectedImage)) {
      CButtonUI::PaintStatusImage(cr);
      return;
    }
    DrawImage(cr, m_sSelectedForeImage);
    return;
  }
  CButtonUI::PaintStatusImage(cr);
}

void COptionUI::PaintText(cairo_t* cr) {
  if (m_bSelected && m_dwSelectedTextColor && IsEnabled()) {
    PaintTextWith(cr, m_sText, m_dwSelectedTextColor);
    return;
  }
  CButtonUI::PaintText(cr);
}
