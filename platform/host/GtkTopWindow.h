// A native top-level window of the GTK host (also popups and dialogs): undecorated, drawn
// by the toolkit, with an overlay that holds the native children placed over control
// rectangles and, above them, the layers of the windows it owns.
#pragma once

#include <map>
#include <string>

#include "platform/host/GtkDrawnWindow.h"

class GtkTopWindow : public GtkDrawnWindow {
 public:
  // `owner` (may be null) makes popups and dialogs transient for its top-level window.
  GtkTopWindow(HostWindowDelegate* delegate, GtkDrawnWindow* owner, HostKind kind);
  ~GtkTopWindow() override;

  GtkTopWindow& Top() override { return *this; }
  HostRect OffsetInTop() const override { return {}; }

  void Show(bool show, bool activate) override;
  bool IsVisible() const override;
  void SetScreenRect(const HostRect& rect) override;
  HostRect GetScreenRect() const override { return m_rect; }
  HostRect GetOwnerRect() const override { return m_rect; }
  void SetTitle(const std::string& utf8) override;
  void SetClassName(const std::string& utf8) override;
  void SetMinSize(int width, int height) override;
  void BeginMoveDrag() override;
  void BeginResizeDrag(HostEdge edge) override;
  void Minimize() override;
  void Maximize() override;
  void Restore() override;
  bool IsMinimized() const override { return m_minimized; }
  bool IsMaximized() const override { return m_maximized; }
  void Activate() override;
  void SetTopMost(bool topMost) override;
  void SetIcon(const std::vector<unsigned char>& data) override;
  void* NativeHandle() const override { return m_window ? m_window : m_area; }

  // The GtkWindow, null once GTK destroyed it.
  GtkWidget* Window() const { return m_window; }
  // The overlay's own GdkWindow (the layers' wrappers are its children).
  GdkWindow* OverlayWindow() const;

  // Native children, placed by rectangles in this window's coordinates, below every layer.
  int AddNativeWidget(GtkWidget* widget);
  void PlaceNativeWidget(int id, const HostRect& rect, bool visible);
  void RemoveNativeWidget(int id);
  // Layers: overlay children above everything else, placed like native children.
  void AddLayerWidget(GtkWidget* area);
  void PlaceLayerWidget(GtkWidget* area, const HostRect& rect);
  void ForgetLayerWidget(GtkWidget* area);

 protected:
  void OnAreaDrawn() override;
  void OnAreaResized(int width, int height) override;

 private:
  static gboolean OnGetChildPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation, gpointer data);
  static void ApplyClassHint(GtkWidget* window, gpointer data);
  static gboolean OnWindowKey(GtkWidget*, GdkEventKey* e, gpointer data);
  // F6: the keyboard focus goes to the next part of the window (its own drawing, each
  // shown layer, each browser view), Shift+F6 to the one before. False when there is none.
  bool FocusNextPart(bool forward);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data);
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data);

  HostKind m_kind;
  GtkWidget* m_window = nullptr;
  GtkWidget* m_overlay = nullptr;
  // Rectangles of the overlay's children (native children and layers), by widget.
  std::map<GtkWidget*, GdkRectangle> m_placement;
  std::map<int, GtkWidget*> m_children;
  int m_nextChild = 0;
  HostRect m_rect;
  bool m_minimized = false;
  bool m_maximized = false;
  std::string m_className;
};
