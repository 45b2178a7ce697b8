// The drawing area of a GTK host window and the input it receives.
#include "platform/host/GtkDrawnWindow.h"

#include <algorithm>

#include "platform/host/GtkAccessible.h"
#include "platform/host/GtkTopWindow.h"

namespace {

// The toolkit's modifier bits (the Windows values).
constexpr unsigned kShift = 0x4, kControl = 0x8, kAlt = 0x20;

const char* CursorName(HostCursor c) {
  switch (c) {
    case HostCursor::Hand:
      return "pointer";
    case HostCursor::IBeam:
      return "text";
    case HostCursor::SizeWE:
      return "ew-resize";
    case HostCursor::SizeNS:
      return "ns-resize";
    case HostCursor::SizeNWSE:
      return "nwse-resize";
    case HostCursor::SizeNESW:
      return "nesw-resize";
    default:
      return "default";
  }
}

}  // namespace

unsigned HostModifiers(guint state) {
  unsigned m = 0;
  if (state & GDK_SHIFT_MASK) m |= kShift;
  if (state & GDK_CONTROL_MASK) m |= kControl;
  if (state & GDK_MOD1_MASK) m |= kAlt;
  return m;
}

unsigned HostKeyCode(guint keyval) {
  switch (keyval) {
    case GDK_KEY_BackSpace:
      return 0x08;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return 0x09;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return 0x0D;
    case GDK_KEY_Escape:
      return 0x1B;
    case GDK_KEY_space:
      return 0x20;
    case GDK_KEY_Page_Up:
      return 0x21;
    case GDK_KEY_Page_Down:
      return 0x22;
    case GDK_KEY_End:
      return 0x23;
    case GDK_KEY_Home:
      return 0x24;
    case GDK_KEY_Left:
      return 0x25;
    case GDK_KEY_Up:
      return 0x26;
    case GDK_KEY_Right:
      return 0x27;
    case GDK_KEY_Down:
      return 0x28;
    case GDK_KEY_Delete:
      return 0x2E;
    default:
      break;
  }
  guint upper = gdk_keyval_to_upper(keyval);
  if ((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9')) return upper;
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return 0x70 + (keyval - GDK_KEY_F1);
  return 0;
}

GtkDrawnWindow::GtkDrawnWindow(HostWindowDelegate* delegate) : m_delegate(delegate) {
  m_area = NewAccessibleArea(this);
  // GTK destroys the area with its top-level window; the pointer then turns null.
  g_object_add_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
  gtk_widget_set_can_focus(m_area, TRUE);
  gtk_widget_set_app_paintable(m_area, TRUE);
  gtk_widget_add_events(m_area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                    GDK_KEY_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_FOCUS_CHANGE_MASK);
  g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(m_area, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
  g_signal_connect(m_area, "button-press-event", G_CALLBACK(OnButton), this);
  g_signal_connect(m_area, "button-release-event", G_CALLBACK(OnButton), this);
  g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(m_area, "leave-notify-event", G_CALLBACK(OnLeave), this);
  g_signal_connect(m_area, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(m_area, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(m_area, "key-release-event", G_CALLBACK(OnKey), this);
  g_signal_connect(m_area, "focus-in-event", G_CALLBACK(OnFocus), this);
  g_signal_connect(m_area, "focus-out-event", G_CALLBACK(OnFocus), this);
  g_signal_connect(m_area, "realize", G_CALLBACK(OnRealize), this);
  m_im = gtk_im_multicontext_new();
  g_signal_connect(m_im, "commit", G_CALLBACK(OnCommit), this);
  g_signal_connect(m_im, "preedit-changed", G_CALLBACK(OnPreedit), this);
}

GtkDrawnWindow::~GtkDrawnWindow() {
  DetachArea();
  if (m_area) g_object_remove_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
}

void GtkDrawnWindow::DetachArea() {
  m_tip.Hide();
  if (m_im) {
    g_signal_handlers_disconnect_by_data(m_im, this);
    gtk_im_context_set_client_window(m_im, nullptr);
    g_object_unref(m_im);
    m_im = nullptr;
  }
  if (m_area) {
    g_signal_handlers_disconnect_by_data(m_area, this);
    ForgetAccessibleArea(m_area);
  }
}

void GtkDrawnWindow::Invalidate(const HostRect& r) {
  if (!m_area) return;
  if (r.width <= 0 || r.height <= 0)
    gtk_widget_queue_draw(m_area);
  else
    gtk_widget_queue_draw_area(m_area, r.x, r.y, r.width, r.height);
}

void GtkDrawnWindow::SetCursor(HostCursor cursor) {
  if (cursor == m_cursor || !m_area || !gtk_widget_get_window(m_area)) return;
  m_cursor = cursor;
  GdkCursor* c = gdk_cursor_new_from_name(gtk_widget_get_display(m_area), CursorName(cursor));
  gdk_window_set_cursor(gtk_widget_get_window(m_area), c);
  if (c) g_object_unref(c);
}

void GtkDrawnWindow::SetToolTip(const std::string& utf8) {
  if (!m_area || utf8 == m_toolTip) return;
  m_toolTip = utf8;
  gtk_widget_set_tooltip_text(m_area, utf8.empty() ? nullptr : utf8.c_str());
}

void GtkDrawnWindow::ShowToolTip(const HostToolTip& tip) {
  // Drawn by the host in the window's colours in place of the theme's tooltip.
  if (!m_toolTip.empty() && m_area) gtk_widget_set_tooltip_text(m_area, nullptr);
  m_toolTip.clear();
  m_tip.Show(m_area, tip);
}

void GtkDrawnWindow::SetEnabled(bool enabled) {
  if (m_area) gtk_widget_set_sensitive(m_area, enabled);
}

void GtkDrawnWindow::SetTextInput(bool enabled, const HostRect& caret) {
  if (!m_im) return;
  if (!enabled) {
    if (m_imFocused) gtk_im_context_focus_out(m_im);
    m_imFocused = false;
    return;
  }
  if (!m_imFocused) {
    gtk_im_context_focus_in(m_im);
    m_imFocused = true;
  }
  GdkRectangle r{caret.x, caret.y, std::max(1, caret.width), std::max(1, caret.height)};
  gtk_im_context_set_cursor_location(m_im, &r);
}

int GtkDrawnWindow::AddNativeChild(void* widget) {
  return Top().AddNativeWidget(static_cast<GtkWidget*>(widget));
}

void GtkDrawnWindow::PlaceNativeChild(int id, const HostRect& rect, bool visible) {
  const HostRect off = OffsetInTop();
  Top().PlaceNativeWidget(id, {rect.x + off.x, rect.y + off.y, rect.width, rect.height}, visible);
}

void GtkDrawnWindow::RemoveNativeChild(int id) { Top().RemoveNativeWidget(id); }

gboolean GtkDrawnWindow::OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  self->m_delegate->OnHostPaint(cr, {clip.x, clip.y, clip.width, clip.height});
  self->OnAreaDrawn();
  return TRUE;
}

void GtkDrawnWindow::OnSizeAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  if (self->m_allocW == a->width && self->m_allocH == a->height) return;
  self->m_allocW = a->width;
  self->m_allocH = a->height;
  self->OnAreaResized(a->width, a->height);
  self->m_delegate->OnHostSize(a->width, a->height);
}

void GtkDrawnWindow::OnRealize(GtkWidget* widget, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  gtk_im_context_set_client_window(self->m_im, gtk_widget_get_window(widget));
}

gboolean GtkDrawnWindow::OnButton(GtkWidget* widget, GdkEventButton* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  HostMouseEvent m;
  if (e->type == GDK_BUTTON_PRESS)
    m.type = HostMouseType::Down;
  else if (e->type == GDK_2BUTTON_PRESS)
    m.type = HostMouseType::DoubleClick;
  else if (e->type == GDK_BUTTON_RELEASE)
    m.type = HostMouseType::Up;
  else
    return TRUE;
  if (e->type == GDK_BUTTON_PRESS) {
    gtk_widget_grab_focus(widget);
    self->m_press = {static_cast<int>(e->button), static_cast<int>(e->x_root), static_cast<int>(e->y_root),
                     e->time};
    static_cast<GtkDrawnWindow&>(self->Top()).m_press = self->m_press;
  }
  m.button = static_cast<int>(e->button);
  m.x = static_cast<int>(e->x);
  m.y = static_cast<int>(e->y);
  m.modifiers = HostModifiers(e->state);
  m.time = e->time;
  self->m_delegate->OnHostMouse(m);
  return TRUE;
}

gboolean GtkDrawnWindow::OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  HostMouseEvent m;
  m.type = HostMouseType::Move;
  m.x = static_cast<int>(e->x);
  m.y = static_cast<int>(e->y);
  m.modifiers = HostModifiers(e->state);
  m.time = e->time;
  self->m_delegate->OnHostMouse(m);
  return TRUE;
}

gboolean GtkDrawnWindow::OnLeave(GtkWidget*, GdkEventCrossing* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  if (e->mode != GDK_CROSSING_NORMAL) return FALSE;
  HostMouseEvent m;
  m.type = HostMouseType::Leave;
  m.x = static_cast<int>(e->x);
  m.y = static_cast<int>(e->y);
  self->m_delegate->OnHostMouse(m);
  return FALSE;
}

gboolean GtkDrawnWindow::OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  int delta = 0;
  if (e->direction == GDK_SCROLL_UP)
    delta = 1;
  else if (e->direction == GDK_SCROLL_DOWN)
    delta = -1;
  else if (e->direction == GDK_SCROLL_SMOOTH) {
    self->m_smooth += e->delta_y;
    if (self->m_smooth <= -1) {
      delta = 1;
      self->m_smooth = 0;
    } else if (self->m_smooth >= 1) {
      delta = -1;
      self->m_smooth = 0;
    }
  }
  if (delta == 0) return TRUE;
  HostMouseEvent m;
  m.type = HostMouseType::Wheel;
  m.x = static_cast<int>(e->x);
  m.y = static_cast<int>(e->y);
  m.wheel = delta;
  m.modifiers = HostModifiers(e->state);
  m.time = e->time;
  self->m_delegate->OnHostMouse(m);
  return TRUE;
}

gboolean GtkDrawnWindow::OnKey(GtkWidget*, GdkEventKey* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  bool ctrlOrAlt = (e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0;
  if (self->m_imFocused && !ctrlOrAlt && gtk_im_context_filter_keypress(self->m_im, e)) return TRUE;
  HostKeyEvent k;
  k.down = e->type == GDK_KEY_PRESS;
  k.key = HostKeyCode(e->keyval);
  k.modifiers = HostModifiers(e->state);
  if (k.key == 0) return FALSE;
  return self->m_delegate->OnHostKey(k) ? TRUE : FALSE;
}

gboolean GtkDrawnWindow::OnFocus(GtkWidget*, GdkEventFocus* e, gpointer data) {
  auto* self = static_cast<GtkDrawnWindow*>(data);
  if (!e->in && self->m_imFocused) {
    gtk_im_context_focus_out(self->m_im);
    self->m_imFocused = false;
  }
  self->m_delegate->OnHostFocus(e->in != 0);
  return FALSE;
}

void GtkDrawnWindow::OnCommit(GtkIMContext*, const char* text, gpointer data) {
  static_cast<GtkDrawnWindow*>(data)->m_delegate->OnHostText(text ? text : "");
}

void GtkDrawnWindow::OnPreedit(GtkIMContext* im, gpointer data) {
  gchar* text = nullptr;
  gint cursor = 0;
  gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
  static_cast<GtkDrawnWindow*>(data)->m_delegate->OnHostPreedit(text ? text : "", cursor);
  g_free(text);
}
