// The tooltip of a GTK host window: a small popup drawn in the colours the toolkit gives,
// with an empty input shape so that the pointer and clicks go through it, shown after a
// short rest of the pointer and placed beside the control, clear of what it must avoid.
#pragma once

#include <gtk/gtk.h>

#include "platform/host/Host.h"

class GtkToolTip {
 public:
  GtkToolTip() = default;
  ~GtkToolTip();
  GtkToolTip(const GtkToolTip&) = delete;
  GtkToolTip& operator=(const GtkToolTip&) = delete;

  // `area` is the drawing area the tip's rectangles are relative to.
  void Show(GtkWidget* area, const HostToolTip& tip);
  void Hide();
  // The native window while it is shown (for tests), else null.
  GtkWidget* ShownWindow() const;

  // Where a tip of `size` goes for `target` (screen coordinates) within `screen`: below
  // the target, or above it when below leaves the screen or covers `avoid`.
  static HostRect Place(const HostRect& target, int width, int height, const HostRect& avoid,
                        const HostRect& screen);

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data);
  static gboolean OnDelay(gpointer data);
  void Present();
  void Follow(GtkWidget* area);

  GtkWidget* m_window = nullptr;
  GtkWidget* m_area = nullptr;
  HostToolTip m_tip;
  guint m_delay = 0;
};
