// A layer of the GTK host: an owned window drawn as an overlay child of its owner's
// top-level window, above the owner's content and native children, with real
// transparency. It takes the mouse only where it paints something.
#pragma once

#include "platform/host/GtkDrawnWindow.h"

class GtkLayerWindow : public GtkDrawnWindow {
 public:
  GtkLayerWindow(HostWindowDelegate* delegate, GtkDrawnWindow& owner);
  ~GtkLayerWindow() override;

  GtkTopWindow& Top() override { return *m_top; }
  HostRect OffsetInTop() const override;

  void Show(bool show, bool activate) override;
  bool IsVisible() const override;
  void SetScreenRect(const HostRect& rect) override;
  HostRect GetScreenRect() const override;
  HostRect GetOwnerRect() const override { return m_rect; }
  void Invalidate(const HostRect& rect) override;
  void SetTitle(const std::string&) override {}
  void SetMinSize(int, int) override {}
  void BeginMoveDrag() override {}
  void BeginResizeDrag(HostEdge) override {}
  void Minimize() override { Show(false, false); }
  void Maximize() override {}
  void Restore() override {}
  bool IsMinimized() const override { return false; }
  bool IsMaximized() const override { return false; }
  void Activate() override;
  void SetTopMost(bool) override {}
  void SetIcon(const std::vector<unsigned char>&) override {}
  void* NativeHandle() const override { return m_area; }

 protected:
  void OnAreaDrawn() override;

 private:
  // The input shape is the opaque part of a full rendering of the layer. It is rebuilt
  // (from the main loop, after the pending drawing) when the layer was shown, resized or
  // changed its content, not for drawings that only repaint what it already shows.
  void InputShapeChanged();
  // False when the area has no native window yet; the next drawing then tries again.
  bool RebuildInputShape();

  GtkTopWindow* m_top;
  HostRect m_ownerOffset;  // the owner's offset in the top-level window
  HostRect m_rect;         // in the owner's coordinates
  bool m_shapeStale = true;
  bool m_rebuilding = false;  // the rendering for the shape is running
  guint m_shapeSource = 0;
  // The widget that had the keyboard focus when the layer took it (cleared by GTK when
  // that widget goes): it gets the focus back when the layer hides.
  GtkWidget* m_focusBefore = nullptr;
  void ForgetFocusBefore();
};
