// A list row holding any controls. Under a list with a header, child i spans column i;
// elsewhere (tree nodes) children fill the row or float. A press sends "itemclick" and
// selects the row; a double click sends "itemactivate". A row may make its cells late
// (SetDeferredFill), so a long list builds only the rows that come into view.
#pragma once

#include <functional>

#include "ui/Container.h"

class CListUI;
struct TListInfoUI;

class CListContainerElementUI : public CContainerUI {
 public:
  CListContainerElementUI();
  std::wstring GetClass() const override { return L"ListContainerElementUI"; }
  void* GetInterface(std::wstring_view name) override;

  int GetIndex() const { return m_iIndex; }
  void SetIndex(int index) { m_iIndex = index; }
  CListUI* GetOwner() const { return m_pOwner; }
  virtual void SetOwner(CListUI* owner) { m_pOwner = owner; }
  bool IsSelected() const { return m_bSelected; }
  virtual bool Select(bool select = true, bool notify = true);
  bool IsHot() const { return m_bHot; }

  // The row's cells are made by `fill`, once: when the row comes near the visible part of
  // its list (see CListBodyUI), is painted, or when anyone counts, reads or searches its
  // cells. Until then the row keeps its own size, user data, selection and look.
  using Filler = std::function<void(CListContainerElementUI&)>;
  void SetDeferredFill(Filler fill) { m_fill = std::move(fill); }
  bool IsFillPending() const { return static_cast<bool>(m_fill); }
  void FillNow();

  bool Activate() override;
  void DoEvent(TEventUI& event) override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;
  void DoPaint(cairo_t* cr, const CDuiRect& rcPaint) override;
  void PaintBkColor(cairo_t* cr) override;
  void PaintBorder(cairo_t* cr) override;
  bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

 protected:
  const TListInfoUI* Info() const;
  void ProvideItems() const override;

  int m_iIndex = -1;
  CListUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
  Filler m_fill;
};
