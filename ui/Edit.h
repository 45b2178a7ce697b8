// A self-drawn text box: caret, selection, clipboard, password and digits-only modes,
// a length limit, hint text while empty, and input-method pre-edit text. With
// multiline="true" it wraps, takes Return as a line break and scrolls vertically.
#pragma once

#include "ui/Label.h"

class CEditUI : public CLabelUI {
 public:
  CEditUI();
  std::wstring GetClass() const override { return L"EditUI"; }
  void* GetInterface(std::wstring_view name) override;
  UINT GetControlFlags() const override;

  void SetText(const std::wstring& text) override;
  void SetMaxChar(int max) { m_iMaxChar = max; }
  int GetMaxChar() const { return m_iMaxChar; }
  void SetReadOnly(bool readOnly) {
    m_bReadOnly = readOnly;
    Invalidate();
  }
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetPasswordMode(bool on) {
    m_bPasswordMode = on;
    Invalidate();
  }
  bool IsPasswordMode() const { return m_bPasswordMode; }
  void SetNumberOnly(bool on) { m_bNumberOnly = on; }
  bool IsNumberOnly() const { return m_bNumberOnly; }
  void SetMultiLine(bool on);
  bool IsMultiLine() const { return m_bMultiLine; }
  void SetHintText(const std::wstring& hint) {
    m_sHint = hint;
    Invalidate();
  }
  const std::wstring& GetHintText() const { return m_sHint; }
  void SetSel(int start, int end);
  void SetSelAll() { SetSel(0, static_cast<int>(m_sText.size())); }
  int GetCaret() const { return m_iCaret; }
  // What is drawn: the text, or one bullet per character in password mode.
  std::wstring GetDisplayText() const;

  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;

 private:
  // Inserts typed text at the caret, replacing the selection; false when refused.
  bool InsertText(const std::wstring& text);
  void DeleteSelection();
  void MoveCaret(int to, bool extend);
  int IndexAt(CDuiPoint pt);
  CDuiRect CaretRect();
  void TextChanged();
  void UpdateIme();
  PangoLayout* Layout();

  int m_iMaxChar = 255;
  bool m_bReadOnly = false;
  bool m_bPasswordMode = false;
  bool m_bNumberOnly = false;
  bool m_bMultiLine = false;
  wchar_t m_cPasswordChar = L'\u2022';
  std::wstring m_sHint;
  DWORD m_dwHintColor = 0xFFAAAAAA;
  std::wstring m_sPreedit;
  int m_iCaret = 0;
  int m_iSelStart = 0;  // the other end of the selection; equal to the caret when none
  bool m_bCaretOn = false;
  int m_iScroll = 0;  // horizontal (single line) or vertical (multi-line) offset
  bool m_bSelecting = false;
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sFocusedImage;
  std::wstring m_sDisabledImage;
  bool m_bHot = false;
  CTextLayout m_editLayout;
};
