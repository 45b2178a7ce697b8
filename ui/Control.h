// The base of every control: identity, look, position and size rules, painting, events.
#pragma once

#include <cairo.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host/AccessibleNode.h"
#include "ui/Render.h"
#include "ui/UIDefs.h"

class CPaintManagerUI;
class CControlAccessible;

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  virtual std::wstring GetClass() const { return L"ControlUI"; }
  // The control as the named interface ("Control", "Label", "Button", ...), or null.
  virtual void* GetInterface(std::wstring_view name);
  virtual UINT GetControlFlags() const { return 0; }

  const std::wstring& GetName() const { return m_sName; }
  void SetName(const std::wstring& name);
  virtual std::wstring GetText() const { return m_sText; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return m_sToolTip; }
  void SetToolTip(const std::wstring& tip) { m_sToolTip = tip; }
  const std::wstring& GetUserData() const { return m_sUserData; }
  void SetUserData(const std::wstring& data) { m_sUserData = data; }
  uintptr_t GetTag() const { return m_tag; }
  void SetTag(uintptr_t tag) { m_tag = tag; }

  virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
  virtual void SetVisible(bool visible = true);
  virtual void SetInternVisible(bool visible = true);
  virtual bool IsEnabled() const { return m_bEnabled; }
  virtual void SetEnabled(bool enabled = true);
  bool IsMouseEnabled() const { return m_bMouseEnabled; }
  void SetMouseEnabled(bool enabled) { m_bMouseEnabled = enabled; }
  bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
  bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();
  bool IsFloat() const { return m_bFloat; }
  void SetFloat(bool f) {
    m_bFloat = f;
    NeedParentUpdate();
  }

  // Size rules: 0 fixed size means "take what the layout gives".
  int GetFixedWidth() const { return m_cxyFixed.cx; }
  int GetFixedHeight() const { return m_cxyFixed.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return m_cxyMin.cx; }
  int GetMaxWidth() const { return m_cxyMax.cx; }
  int GetMinHeight() const { return m_cxyMin.cy; }
  int GetMaxHeight() const { return m_cxyMax.cy; }
  void SetMinWidth(int v) {
    m_cxyMin.cx = v;
    NeedParentUpdate();
  }
  void SetMaxWidth(int v) {
    m_cxyMax.cx = v;
    NeedParentUpdate();
  }
  void SetMinHeight(int v) {
    m_cxyMin.cy = v;
    NeedParentUpdate();
  }
  void SetMaxHeight(int v) {
    m_cxyMax.cy = v;
    NeedParentUpdate();
  }
  const CDuiRect& GetPadding() const { return m_rcPadding; }
  void SetPadding(const CDuiRect& rc) {
    m_rcPadding = rc;
    NeedParentUpdate();
  }
  // Float position relative to the parent's top-left corner.
  const CDuiRect& GetFloatPos() const { return m_rcXY; }
  void SetFloatPos(const CDuiRect& rc) {
    m_rcXY = rc;
    NeedParentUpdate();
  }

  const CDuiRect& GetPos() const { return m_rcItem; }
  // Moves this control and everything in it by an offset without a new layout (scrolling).
  virtual void ShiftPos(int dx, int dy) { m_rcItem.Offset(dx, dy); }
  virtual void SetPos(const CDuiRect& rc, bool needInvalidate = true);
  // The size this control asks for given the space available; 0 in a direction = flexible.
  virtual CDuiSize EstimateSize(CDuiSize available);

  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD c) {
    m_dwBackColor = c;
    Invalidate();
  }
  const std::wstring& GetBkImage() const { return m_sBkImage; }
  void SetBkImage(const std::wstring& image) {
    m_sBkImage = image;
    Invalidate();
  }
  DWORD GetBorderColor() const { return m_dwBorderColor; }
  void SetBorderColor(DWORD c) {
    m_dwBorderColor = c;
    Invalidate();
  }
  void SetBorderSize(int size) {
    m_nBorderSize = size;
    Invalidate();
  }
  void SetBorderRound(CDuiSize r) {
    m_cxyBorderRound = r;
    Invalidate();
  }

  // Applies one skin attribute; unknown names are reported, not fatal. Returns false
  // when the name or the value was not understood.
  virtual bool SetAttribute(std::wstring_view name, std::wstring_view value);
  // Applies `name="value" name2="value2"` texts, as the skins' run-time styles are written.
  bool ApplyAttributeList(std::wstring_view list);

  CPaintManagerUI* GetManager() const { return m_pManager; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
  CControlUI* GetParent() const { return m_pParent; }
  void SetParentOnly(CControlUI* parent) { m_pParent = parent; }

  // Finds the first control (this or a child) for which `pred` holds.
  using FindPredicate = std::function<bool(CControlUI*)>;
  virtual CControlUI* FindControl(const FindPredicate& pred, UINT flags);
  // The control under a point: only the part of a control that shows takes the mouse.
  CControlUI* FindControlAt(CDuiPoint pt, UINT flags);
  // The part of this control that shows on screen: its rectangle cut by the clip of every
  // ancestor (a scrolled list's content area, a panel's box). Empty when scrolled away.
  CDuiRect GetVisibleRect() const;
  // The rectangle inside which `child` is painted; a plain control clips to itself.
  virtual CDuiRect ChildClipRect(const CControlUI* child) const;

  void Invalidate();
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  void NeedUpdate();
  void NeedParentUpdate();

  virtual void DoInit() {}
  virtual void DoEvent(TEventUI& event);
  // Does what a click does; false when the control is hidden or disabled.
  virtual bool Activate();

  virtual void DoPaint(cairo_t* cr, const CDuiRect& rcPaint);
  virtual void PaintBkColor(cairo_t* cr);
  virtual void PaintBkImage(cairo_t* cr);
  virtual void PaintStatusImage(cairo_t* cr);
  virtual void PaintText(cairo_t* cr);
  virtual void PaintBorder(cairo_t* cr);

  // The control's accessible node, created on first use; Peek gives null before that.
  AccessibleNode* GetAccessible();
  AccessibleNode* PeekAccessible() const;
  // A role the skin gives (accrole="..."), in place of the one of the control's class.
  bool HasAccRole() const { return m_bAccRole; }
  AccRole GetAccRole() const { return m_accRole; }
  // The skin name of the label that names this control (acclabel="..."), or empty.
  const std::wstring& GetAccLabel() const { return m_accLabel; }

  // The attributes reported as unknown go through here (builder adds file and line).
  static void ReportBadAttribute(const CControlUI* control, std::wstring_view name, std::wstring_view value);
  using BadAttributeSink = std::function<void(const std::wstring&)>;
  static void SetBadAttributeSink(BadAttributeSink sink);
  // Where attributes now being applied come from ("login.xml:12"); empty outside the builder.
  static void SetReportContext(const std::wstring& where);
  // Reports a skin problem through the sink (or the log).
  static void ReportProblem(const std::wstring& text);

 protected:
  bool DrawImage(cairo_t* cr, const std::wstring& image);
  const TFontInfo* FontOf(int index) const;

  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  std::wstring m_sName;
  std::wstring m_sText;
  std::wstring m_sToolTip;
  std::wstring m_sUserData;
  uintptr_t m_tag = 0;
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseEnabled = true;
  bool m_bKeyboardEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  bool m_bUpdateNeeded = true;
  bool m_bInited = false;
  CDuiRect m_rcItem;
  CDuiRect m_rcPadding;
  CDuiRect m_rcXY;
  CDuiSize m_cxyFixed;
  CDuiSize m_cxyMin;
  CDuiSize m_cxyMax{9999, 9999};
  DWORD m_dwBackColor = 0;
  DWORD m_dwBackColor2 = 0;
  DWORD m_dwBorderColor = 0;
  DWORD m_dwFocusBorderColor = 0;
  int m_nBorderSize = 0;
  CDuiRect m_rcBorderSize;  // per-side border widths, used when set
  CDuiSize m_cxyBorderRound;
  std::wstring m_sBkImage;
  UICursor m_cursor = UICursor::Arrow;
  bool m_bAccRole = false;
  AccRole m_accRole = AccRole::Unknown;
  std::wstring m_accLabel;

 private:
  std::unique_ptr<CControlAccessible> m_accessible;
};
