// A progress bar: a value between min and max drawn as a filled part (colour or picture)
// over the background, with the label's text on top.
#pragma once

#include "ui/Label.h"

class CProgressUI : public CLabelUI {
 public:
  CProgressUI();
  std::wstring GetClass() const override { return L"ProgressUI"; }
  void* GetInterface(std::wstring_view name) override;

  int GetMinValue() const { return m_nMin; }
  int GetMaxValue() const { return m_nMax; }
  void SetMinValue(int v) {
    m_nMin = v;
    Invalidate();
  }
  void SetMaxValue(int v) {
    m_nMax = v;
    Invalidate();
  }
  int GetValue() const { return m_nValue; }
  void SetValue(int value);
  bool IsHorizontal() const { return m_bHorizontal; }

  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void PaintStatusImage(cairo_t* cr) override;

 private:
  int m_nMin = 0;
  int m_nMax = 100;
  int m_nValue = 0;
  bool m_bHorizontal = true;
  DWORD m_dwForeColor = 0xFFFF854D;
  std::wstring m_sForeImage;
};
