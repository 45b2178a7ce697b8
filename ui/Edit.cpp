// CEditUI: editing, caret, selection, clipboard, input methods and painting.
#include "ui/Edit.h"

#include <pango/pangocairo.h>

#include <cmath>

#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"
#include "ui/PaintManager.h"
#include "ui/UIText.h"

namespace {
constexpr UINT kCaretTimer = 20;

int ByteIndex(const std::wstring& text, int chars) {
  chars = std::clamp(chars, 0, static_cast<int>(text.size()));
  return static_cast<int>(ToUtf8(std::wstring_view(text).substr(0, static_cast<size_t>(chars))).size());
}

int CharIndex(const std::string& utf8, int bytes) {
  int n = 0;
  for (int i = 0; i < bytes && i < static_cast<int>(utf8.size()); ++i)
    if ((static_cast<unsigned char>(utf8[static_cast<size_t>(i)]) & 0xC0) != 0x80) ++n;
  return n;
}
}  // namespace

CEditUI::CEditUI() {
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER;
  m_rcTextPadding = {4, 3, 4, 3};
  m_cursor = UICursor::IBeam;
  m_dwBackColor = 0xFFFFFFFF;
}

void* CEditUI::GetInterface(std::wstring_view name) {
  if (name == L"Edit" || name == L"RichEdit") return this;
  return CLabelUI::GetInterface(name);
}

UINT CEditUI::GetControlFlags() const {
  if (!IsEnabled()) return 0;
  return UIFLAG_TABSTOP | UIFLAG_SETCURSOR | (m_bMultiLine ? UIFLAG_WANTRETURN : 0);
}

void CEditUI::SetMultiLine(bool on) {
  m_bMultiLine = on;
  m_uTextStyle = on ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER);
  Invalidate();
}

void CEditUI::SetText(const std::wstring& text) {
  std::wstring t = text;
  if (!m_bMultiLine) {
    for (auto& c : t)
      if (c == L'\n' || c == L'\r') c = L' ';
  }
  if (m_iMaxChar > 0 && static_cast<int>(t.size()) > m_iMaxChar) t.resize(static_cast<size_t>(m_iMaxChar));
  if (t == m_sText) return;
  m_sText = t;
  m_iCaret = m_iSelStart = static_cast<int>(m_sText.size());
  m_iScroll = 0;
  Invalidate();
  CControlAccessible::Report(this, AccEvent::TextChanged);
}

std::wstring CEditUI::GetDisplayText() const {
  if (m_bPasswordMode) return std::wstring(m_sText.size(), m_cPasswordChar);
  return m_sText;
}

void CEditUI::SetSel(int start, int end) {
  int n = static_cast<int>(m_sText.size());
  m_iSelStart = std::clamp(start, 0, n);
  m_iCaret = std::clamp(end < 0 ? n : end, 0, n);
  Invalidate();
}

PangoLayout* CEditUI::Layout() {
  std::wstring shown = GetDisplayText();
  if (!m_sPreedit.empty()) shown.insert(static_cast<size_t>(m_iCaret), m_sPreedit);
  CDuiRect rc = TextRect();
  UINT style = m_bMultiLine ? DT_WORDBREAK : DT_SINGLELINE;
  PangoLayout* layout =
      m_editLayout.Get(ToUtf8(shown), FontOf(m_iFont), m_bMultiLine ? rc.GetWidth() : -1, style);
  PangoAttrList* attrs = pango_attr_list_new();
  if (!m_sPreedit.empty()) {
    PangoAttribute* u = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    u->start_index = static_cast<guint>(ByteIndex(shown, m_iCaret));
    u->end_index = static_cast<guint>(ByteIndex(shown, m_iCaret + static_cast<int>(m_sPreedit.size())));
    pango_attr_list_insert(attrs, u);
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
  return layout;
}

CDuiRect CEditUI::CaretRect() {
  PangoLayout* layout = Layout();
  std::wstring shown = GetDisplayText();
  if (!m_sPreedit.empty()) shown.insert(static_cast<size_t>(m_iCaret), m_sPreedit);
  PangoRectangle strong;
  pango_layout_get_cursor_pos(layout, ByteIndex(shown, m_iCaret + static_cast<int>(m_sPreedit.size())),
                              &strong, nullptr);
  CDuiRect rc = TextRect();
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  int x = rc.left + PANGO_PIXELS(strong.x);
  int y = m_bMultiLine ? rc.top + PANGO_PIXELS(strong.y) : rc.top + (rc.GetHeight() - logical.height) / 2;
  int h = std::max(PANGO_PIXELS(strong.height), 12);
  if (m_bMultiLine)
    y -= m_iScroll;
  else
    x -= m_iScroll;
  return {x, y, x + 1, y + h};
}

int CEditUI::IndexAt(CDuiPoint pt) {
  PangoLayout* layout = Layout();
  CDuiRect rc = TextRect();
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  int x = pt.x - rc.left + (m_bMultiLine ? 0 : m_iScroll);
  int y = m_bMultiLine ? pt.y - rc.top + m_iScroll : logical.height / 2;
  int index = 0, trailing = 0;
  pango_layout_xy_to_index(layout, x * PANGO_SCALE, y * PANGO_SCALE, &index, &trailing);
  const char* text = pango_layout_get_text(layout);
  int chars = CharIndex(text, index) + trailing;
  return std::clamp(chars, 0, static_cast<int>(m_sText.size()));
}

void CEditUI::TextChanged() {
  Invalidate();
  CControlAccessible::Report(this, AccEvent::TextChanged);
  UpdateIme();
  if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
}

void CEditUI::UpdateIme() {
  if (!m_pManager || !m_bFocused) return;
  // Keep the caret in view first, so the candidate window lands where the caret is seen.
  CDuiRect rc = TextRect();
  CDuiRect caret = CaretRect();
  if (m_bMultiLine) {
    if (caret.top < rc.top)
      m_iScroll -= rc.top - caret.top;
    else if (caret.bottom > rc.bottom)
      m_iScroll += caret.bottom - rc.bottom;
  } else {
    if (caret.left < rc.left)
      m_iScroll -= rc.left - caret.left;
    else if (caret.left >= rc.right)
      m_iScroll += caret.left - rc.right + 1;
  }
  m_iScroll = std::max(0, m_iScroll);
  m_pManager->SetTextInput(!m_bReadOnly, CaretRect());
}

void CEditUI::DeleteSelection() {
  int a = std::min(m_iCaret, m_iSelStart);
  int b = std::max(m_iCaret, m_iSelStart);
  if (a == b) return;
  m_sText.erase(static_cast<size_t>(a), static_cast<size_t>(b - a));
  m_iCaret = m_iSelStart = a;
}

bool CEditUI::InsertText(const std::wstring& typed) {
  if (m_bReadOnly) return false;
  std::wstring text;
  for (wchar_t c : typed) {
    if (c == L'\r') continue;
    if (c == L'\n' && !m_bMultiLine) continue;
    if (c < 0x20 && c != L'\n' && c != L'\t') continue;
    text += c;
  }
  if (text.empty()) return false;
  if (m_bNumberOnly) {
    for (wchar_t c : text)
      if (c < L'0' || c > L'9') return false;
  }
  int selected = std::abs(m_iCaret - m_iSelStart);
  if (m_iMaxChar > 0 &&
      static_cast<int>(m_sText.size()) - selected + static_cast<int>(text.size()) > m_iMaxChar) {
    text.resize(static_cast<size_t>(std::max(0, m_iMaxChar - static_cast<int>(m_sText.size()) + selected)));
    if (text.empty()) return false;
  }
  DeleteSelection();
  m_sText.insert(static_cast<size_t>(m_iCaret), text);
  m_iCaret += static_cast<int>(text.size());
  m_iSelStart = m_iCaret;
  TextChanged();
  return true;
}

void CEditUI::MoveCaret(int to, bool extend) {
  m_iCaret = std::clamp(to, 0, static_cast<int>(m_sText.size()));
  if (!extend) m_iSelStart = m_iCaret;
  m_bCaretOn = true;
  UpdateIme();
  Invalidate();
}

void CEditUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::SetFocus:
      m_bFocused = true;
      m_bCaretOn = true;
      if (m_pManager) m_pManager->SetTimer(this, kCaretTimer, 530);
      UpdateIme();
      Invalidate();
      return;
    case UIEvent::KillFocus:
      m_bFocused = false;
      m_sPreedit.clear();
      m_bSelecting = false;
      if (m_pManager) {
        m_pManager->KillTimer(this, kCaretTimer);
        m_pManager->SetTextInput(false, {});
      }
      Invalidate();
      return;
    case UIEvent::Timer:
      if (event.wParam == kCaretTimer) {
        m_bCaretOn = !m_bCaretOn;
        Invalidate();
        return;
      }
      break;
    case UIEvent::MouseEnter:
      m_bHot = true;
      Invalidate();
      return;
    case UIEvent::MouseLeave:
      m_bHot = false;
      Invalidate();
      return;
    case UIEvent::ButtonDown:
      if (IsEnabled()) {
        bool extend = (event.wKeyState & MK_SHIFT) != 0;
        MoveCaret(IndexAt(event.ptMouse), extend);
        m_bSelecting = true;
      }
      return;
    case UIEvent::DblClick:
      SetSelAll();
      return;
    case UIEvent::MouseMove:
      if (m_bSelecting) MoveCaret(IndexAt(event.ptMouse), true);
      return;
    case UIEvent::ButtonUp:
      m_bSelecting = false;
      return;
    case UIEvent::Char:
      InsertText(event.text);
      return;
    case UIEvent::ImePreedit:
      m_sPreedit = event.text;
      m_editLayout.Reset();
      UpdateIme();
      Invalidate();
      return;
    case UIEvent::KeyDown: {
      bool shift = (event.wKeyState & MK_SHIFT) != 0;
      bool ctrl = (event.wKeyState & MK_CONTROL) != 0;
      int n = static_cast<int>(m_sText.size());
      switch (event.chKey) {
        case VK_LEFT:
          if (!shift && m_iCaret != m_iSelStart)
            MoveCaret(std::min(m_iCaret, m_iSelStart), false);
          else
            MoveCaret(m_iCaret - 1, shift);
          return;
        case VK_RIGHT:
          if (!shift && m_iCaret != m_iSelStart)
            MoveCaret(std::max(m_iCaret, m_iSelStart), false);
          else
            MoveCaret(m_iCaret + 1, shift);
          return;
        case VK_HOME:
          MoveCaret(0, shift);
          return;
        case VK_END:
          MoveCaret(n, shift);
          return;
        case VK_BACK:
          if (m_bReadOnly) return;
          if (m_iCaret == m_iSelStart && m_iCaret > 0) m_iSelStart = m_iCaret - 1;
          if (m_iCaret != m_iSelStart) {
            DeleteSelection();
            TextChanged();
          }
          return;
        case VK_DELETE:
          if (m_bReadOnly) return;
          if (m_iCaret == m_iSelStart && m_iCaret < n) m_iSelStart = m_iCaret + 1;
          if (m_iCaret != m_iSelStart) {
            DeleteSelection();
            TextChanged();
          }
          return;
        case VK_RETURN:
          if (m_bMultiLine)
            InsertText(L"\n");
          else if (m_pManager)
            m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
          return;
        default:
          break;
      }
      if (ctrl && (event.chKey == 'A' || event.chKey == 'a')) {
        SetSelAll();
        return;
      }
      if (ctrl && (event.chKey == 'C' || event.chKey == 'c' || event.chKey == 'X' || event.chKey == 'x')) {
        // A password never leaves the box through the clipboard.
        if (m_bPasswordMode || m_iCaret == m_iSelStart) return;
        int a = std::min(m_iCaret, m_iSelStart), b = std::max(m_iCaret, m_iSelStart);
        GetHost().SetClipboardText(
            ToUtf8(m_sText.substr(static_cast<size_t>(a), static_cast<size_t>(b - a))));
        if ((event.chKey == 'X' || event.chKey == 'x') && !m_bReadOnly) {
          DeleteSelection();
          TextChanged();
        }
        return;
      }
      if (ctrl && (event.chKey == 'V' || event.chKey == 'v')) {
        InsertText(FromUtf8(GetHost().GetClipboardText()));
        return;
      }
      return;
    }
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

bool CEditUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool b = false;
  int n = 0;
  DWORD c = 0;
  bool ok = true;
  std::wstring v(value);
  TImageAttr img;
  if (name == L"readonly") {
    if ((ok = ParseBool(value, b))) SetReadOnly(b);
  } else if (name == L"password") {
    if ((ok = ParseBool(value, b))) SetPasswordMode(b);
  } else if (name == L"numberonly") {
    if ((ok = ParseBool(value, b))) SetNumberOnly(b);
  } else if (name == L"multiline") {
    if ((ok = ParseBool(value, b))) SetMultiLine(b);
  } else if (name == L"maxchar") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetMaxChar(n);
  } else if (name == L"passwordchar") {
    if ((ok = !value.empty())) m_cPasswordChar = value.front();
  } else if (name == L"prompttext" || name == L"tipvalue" || name == L"hint")
    SetHintText(v);
  else if (name == L"prompttextcolor" || name == L"tipvaluecolor" || name == L"hintcolor") {
    if ((ok = ParseColor(value, c))) m_dwHintColor = c;
  } else if (name == L"normalimage") {
    if ((ok = ParseImage(value, img))) m_sNormalImage = v;
  } else if (name == L"hotimage") {
    if ((ok = ParseImage(value, img))) m_sHotImage = v;
  } else if (name == L"focusedimage") {
    if ((ok = ParseImage(value, img))) m_sFocusedImage = v;
  } else if (name == L"disabledimage") {
    if ((ok = ParseImage(value, img))) m_sDisabledImage = v;
  } else if (name == L"nativebkcolor" || name == L"wantreturn" || name == L"autovscroll" || name == L"rich" ||
             name == L"wanttab" || name == L"transparent") {
  } else
    return CLabelUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

void CEditUI::PaintStatusImage(cairo_t* cr) {
  if (!IsEnabled() && DrawImage(cr, m_sDisabledImage)) return;
  if (m_bFocused && DrawImage(cr, m_sFocusedImage)) return;
  if (m_bHot && DrawImage(cr, m_sHotImage)) return;
  DrawImage(cr, m_sNormalImage);
}

void CEditUI::PaintText(cairo_t* cr) {
  CDuiRect rc = TextRect();
  if (rc.IsEmpty()) return;
  if (m_sText.empty() && m_sPreedit.empty()) {
    if (!m_sHint.empty()) {
      UINT style = m_bMultiLine ? DT_WORDBREAK : (DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
      CRenderEngine::DrawText(cr, m_layout, rc, m_sHint, m_dwHintColor, FontOf(m_iFont), style);
    }
  } else {
    PangoLayout* layout = Layout();
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    double x = rc.left - (m_bMultiLine ? 0 : m_iScroll);
    double y = m_bMultiLine ? rc.top - m_iScroll : rc.top + (rc.GetHeight() - logical.height) / 2.0;
    cairo_save(cr);
    cairo_rectangle(cr, rc.left, rc.top, rc.GetWidth(), rc.GetHeight());
    cairo_clip(cr);
    if (m_bFocused && m_iCaret != m_iSelStart) {
      std::wstring shown = GetDisplayText();
      int a = ByteIndex(shown, std::min(m_iCaret, m_iSelStart));
      int b = ByteIndex(shown, std::max(m_iCaret, m_iSelStart));
      // Highlight the selected part of every line it covers.
      PangoLayoutIter* iter = pango_layout_get_iter(layout);
      CRenderEngine::SetSourceColor(cr, 0x663399FF);
      do {
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        int y0 = 0, y1 = 0;
        pango_layout_iter_get_line_yrange(iter, &y0, &y1);
        int* ranges = nullptr;
        int count = 0;
        pango_layout_line_get_x_ranges(line, a, b, &ranges, &count);
        for (int i = 0; i < count; ++i) {
          cairo_rectangle(cr, x + PANGO_PIXELS(ranges[2 * i]), y + PANGO_PIXELS(y0),
                          PANGO_PIXELS(ranges[2 * i + 1] - ranges[2 * i]), PANGO_PIXELS(y1 - y0));
        }
        g_free(ranges);
      } while (pango_layout_iter_next_line(iter));
      pango_layout_iter_free(iter);
      cairo_fill(cr);
    }
    CRenderEngine::SetSourceColor(cr, IsEnabled() ? m_dwTextColor : m_dwDisabledTextColor);
    cairo_move_to(cr, std::round(x), std::round(y));
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
  }
  if (m_bFocused && m_bCaretOn && !m_bReadOnly) {
    CDuiRect caret = CaretRect();
    if (caret.left >= rc.left - 1 && caret.left <= rc.right) {
      CRenderEngine::FillRect(cr, caret.Intersect(rc), m_dwTextColor);
    }
  }
}
