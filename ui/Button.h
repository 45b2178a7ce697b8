// A clickable label: pictures, text and background colours per state (normal, hot,
// pushed, focused, disabled); a press and release inside it sends "click".
#pragma once

#include "ui/Label.h"

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  std::wstring GetClass() const override { return L"ButtonUI"; }
  void* GetInterface(std::wstring_view name) override;
  UINT GetControlFlags() const override;

  bool Activate() override;
  void SetEnabled(bool enabled = true) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintBkColor(cairo_t* cr) override;
  void PaintStatusImage(cairo_t* cr) override;
  void PaintText(cairo_t* cr) override;

  void SetNormalImage(const std::wstring& image) {
    m_sNormalImage = image;
    Invalidate();
  }
  void SetHotImage(const std::wstring& image) {
    m_sHotImage = image;
    Invalidate();
  }
  void SetPushedImage(const std::wstring& image) {
    m_sPushedImage = image;
    Invalidate();
  }
  void SetDisabledImage(const std::wstring& image) {
    m_sDisabledImage = image;
    Invalidate();
  }
  const std::wstring& GetNormalImage() const { return m_sNormalImage; }
  void SetHotTextColor(DWORD c) { m_dwHotTextColor = c; }
  UINT GetButtonState() const { return m_uButtonState; }

 protected:
  UINT m_uButtonState = 0;
  std::wstring m_sNormalImage;
  std::wstring m_sHotImage;
  std::wstring m_sPushedImage;
  std::wstring m_sFocusedImage;
  std::wstring m_sDisabledImage;
  std::wstring m_sForeImage;
  std::wstring m_sHotForeImage;
  DWORD m_dwHotTextColor = 0;
  DWORD m_dwPushedTextColor = 0;
  DWORD m_dwFocusedTextColor = 0;
  DWORD m_dwHotBkColor = 0;
  DWORD m_dwPushedBkColor = 0;
  DWORD m_dwDisabledBkColor = 0;
};
