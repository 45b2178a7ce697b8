// A scroll bar of a container: a thin rounded thumb over a light track, dragged with the
// mouse; it moves its owner's scroll position.
#pragma once

#include "ui/Control.h"

class CContainerUI;

class CScrollBarUI : public CControlUI {
 public:
  CScrollBarUI();
  std::wstring GetClass() const override { return L"ScrollBarUI"; }
  void* GetInterface(std::wstring_view name) override;

  void SetOwner(CContainerUI* owner) { m_pOwner = owner; }
  CContainerUI* GetOwner() const { return m_pOwner; }
  bool IsHorizontal() const { return m_bHorizontal; }
  void SetHorizontal(bool horizontal) { m_bHorizontal = horizontal; }
  int GetScrollRange() const { return m_nRange; }
  void SetScrollRange(int range);
  int GetScrollPos() const { return m_nScrollPos; }
  void SetScrollPos(int pos);
  int GetLineSize() const { return m_nLineSize; }
  void SetLineSize(int size) { m_nLineSize = size > 0 ? size : 8; }
  // Thickness of the bar in pixels.
  int GetThickness() const { return m_nThickness; }

  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void ShiftPos(int dx, int dy) override {
    CControlUI::ShiftPos(dx, dy);
    m_rcThumb.Offset(dx, dy);
  }
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
  void DoPaint(cairo_t* cr, const CDuiRect& rcPaint) override;
  const CDuiRect& GetThumbRect() const { return m_rcThumb; }

 private:
  void UpdateThumb();

  CContainerUI* m_pOwner = nullptr;
  bool m_bHorizontal = false;
  int m_nRange = 0;
  int m_nScrollPos = 0;
  int m_nLineSize = 8;
  int m_nThickness = 8;
  CDuiRect m_rcThumb;
  bool m_bDragging = false;
  bool m_bHot = false;
  int m_nDragStart = 0;
  int m_nDragPos = 0;
  DWORD m_dwThumbColor = 0x66000000;
  DWORD m_dwThumbHotColor = 0x99000000;
  DWORD m_dwTrackColor = 0x0F000000;
};
