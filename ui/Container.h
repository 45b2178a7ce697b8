// A control holding child controls; each child fills the inset rectangle unless it floats.
// Owns its children and its scroll bars, scrolls its content, paints children clipped.
#pragma once

#include <memory>
#include <vector>

#include "ui/Control.h"
#include "ui/ScrollBar.h"

class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;
  std::wstring GetClass() const override { return L"ContainerUI"; }
  void* GetInterface(std::wstring_view name) override;

  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;
  bool SetItemIndex(CControlUI* control, int index);
  int GetCount() const {
    ProvideItems();
    return static_cast<int>(m_items.size());
  }
  // Takes ownership of the child.
  virtual bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  bool Add(std::unique_ptr<CControlUI> control) { return Add(control.release()); }
  // Removes and destroys the child (after the current event, so a handler may remove
  // the control that sent it); with doNotDestroy the caller gets nothing back either.
  virtual bool Remove(CControlUI* control);
  virtual bool RemoveAt(int index);
  virtual void RemoveAll();
  // Takes the child out without destroying it.
  std::unique_ptr<CControlUI> Detach(CControlUI* control);

  const CDuiRect& GetInset() const { return m_rcInset; }
  void SetInset(const CDuiRect& rc) {
    m_rcInset = rc;
    NeedUpdate();
  }
  int GetChildPadding() const { return m_iChildPadding; }
  void SetChildPadding(int padding) {
    m_iChildPadding = padding;
    NeedUpdate();
  }
  bool IsMouseChildEnabled() const { return m_bMouseChildEnabled; }
  void SetMouseChildEnabled(bool enabled) { m_bMouseChildEnabled = enabled; }

  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void SetEnabled(bool enabled = true) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  CControlUI* FindControl(const FindPredicate& pred, UINT flags) override;
  CDuiRect ChildClipRect(const CControlUI* child) const override;
  CControlUI* FindSubControl(const std::wstring& name);
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void ShiftPos(int dx, int dy) override;
  void DoPaint(cairo_t* cr, const CDuiRect& rcPaint) override;
  void DoEvent(TEventUI& event) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

  // Scrolling.
  CDuiSize GetScrollPos() const;
  CDuiSize GetScrollRange() const;
  virtual void SetScrollPos(CDuiSize pos);
  void LineUp();
  void LineDown();
  void PageUp();
  void PageDown();
  void HomeUp();
  void EndDown();
  void LineLeft();
  void LineRight();
  void EnableScrollBar(bool vertical = true, bool horizontal = false);
  CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar.get(); }
  CScrollBarUI* GetHorizontalScrollBar() const { return m_pHorizontalScrollBar.get(); }
  void SetScrollStepSize(int step) { m_nScrollStepSize = step; }
  // Makes a child visible inside the scrolled area.
  void EnsureVisible(CControlUI* child);

 protected:
  // A container whose children are made on demand makes them here, before anyone counts,
  // reads or searches them.
  virtual void ProvideItems() const {}
  // Shows or hides the scroll bars for content of this size inside rc.
  virtual void ProcessScrollBar(CDuiRect rc, int cxRequired, int cyRequired);
  // Places a floating child by its pos relative to this container.
  void SetFloatPos(CControlUI* child);
  // The inner rectangle: the item rectangle minus inset and shown scroll bars.
  CDuiRect ContentRect() const;

  std::vector<std::unique_ptr<CControlUI>> m_items;
  CDuiRect m_rcInset;
  int m_iChildPadding = 0;
  bool m_bMouseChildEnabled = true;
  int m_nScrollStepSize = 0;
  std::unique_ptr<CScrollBarUI> m_pVerticalScrollBar;
  std::unique_ptr<CScrollBarUI> m_pHorizontalScrollBar;
};
