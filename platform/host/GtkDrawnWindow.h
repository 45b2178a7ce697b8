// What every GTK host window shares: a drawing area the toolkit paints, the input it
// receives (mouse, keys, input methods, focus), cursor and tooltip, and native children
// placed in the top-level window it belongs to.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/host/GtkToolTip.h"
#include "platform/host/Host.h"

class GtkTopWindow;

class GtkDrawnWindow : public HostWindow {
 public:
  GtkDrawnWindow(const GtkDrawnWindow&) = delete;
  GtkDrawnWindow& operator=(const GtkDrawnWindow&) = delete;
  ~GtkDrawnWindow() override;

  // The native top-level window this window is drawn in, and where it sits there.
  virtual GtkTopWindow& Top() = 0;
  virtual HostRect OffsetInTop() const = 0;

  void Invalidate(const HostRect& rect) override;
  void SetCursor(HostCursor cursor) override;
  void SetToolTip(const std::string& utf8) override;
  void ShowToolTip(const HostToolTip& tip) override;
  // The tooltip's native window while it shows, else null.
  GtkWidget* ToolTipWindow() const { return m_tip.ShownWindow(); }
  void SetEnabled(bool enabled) override;
  void SetTextInput(bool enabled, const HostRect& caret) override;
  int AddNativeChild(void* widget) override;
  void PlaceNativeChild(int id, const HostRect& rect, bool visible) override;
  void RemoveNativeChild(int id) override;

  HostWindowDelegate* Delegate() const { return m_delegate; }
  // The drawing area, null once GTK destroyed it.
  GtkWidget* Area() const { return m_area; }

 protected:
  // The pointer press a move or resize by the pointer starts from.
  struct Press {
    int button = 1;
    int rootX = 0;
    int rootY = 0;
    guint32 time = 0;
  };

  explicit GtkDrawnWindow(HostWindowDelegate* delegate);
  // Disconnects the area and the input method from this object; every subclass calls it
  // first in its destructor, before it destroys widgets.
  void DetachArea();
  // After each drawing of the area, and after its size changed (before the delegate hears).
  virtual void OnAreaDrawn() {}
  virtual void OnAreaResized(int /*width*/, int /*height*/) {}

  HostWindowDelegate* m_delegate;
  GtkWidget* m_area = nullptr;
  Press m_press;

 private:
  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data);
  static void OnSizeAllocate(GtkWidget*, GdkRectangle* a, gpointer data);
  static void OnRealize(GtkWidget* widget, gpointer data);
  static gboolean OnButton(GtkWidget* widget, GdkEventButton* e, gpointer data);
  static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data);
  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* e, gpointer data);
  static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data);
  static gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer data);
  static gboolean OnFocus(GtkWidget*, GdkEventFocus* e, gpointer data);
  static void OnCommit(GtkIMContext*, const char* text, gpointer data);
  static void OnPreedit(GtkIMContext* im, gpointer data);

  GtkIMContext* m_im = nullptr;
  bool m_imFocused = false;
  HostCursor m_cursor = HostCursor::Arrow;
  std::string m_toolTip;
  GtkToolTip m_tip;
  int m_allocW = -1;
  int m_allocH = -1;
  double m_smooth = 0;
};

// The toolkit's key number (the Windows virtual-key value) of a GDK key, 0 for none.
unsigned HostKeyCode(guint keyval);
// The toolkit's MK_* modifier bits of a GDK modifier state.
unsigned HostModifiers(guint state);
