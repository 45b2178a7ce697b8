// GTK top-level windows: the native window, its overlay of native children and layers,
// placement, window states and the X11 class hint.
#include "platform/host/GtkTopWindow.h"

#include <X11/Xutil.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/host/GtkAccessible.h"
#include "platform/host/GtkImage.h"

namespace {

// With TAVO_TRACE_FIRST_DRAW set, the first drawing of a top-level window writes one line
// with the monotonic clock (microseconds) to standard error: the start-up bench measures
// the time to the first window from it.
void TraceFirstDraw() {
  static bool traced = false;
  if (traced) return;
  traced = true;
  if (g_getenv("TAVO_TRACE_FIRST_DRAW") == nullptr) return;
  std::fprintf(stderr, "tavo-first-draw %lld\n", static_cast<long long>(g_get_monotonic_time()));
  std::fflush(stderr);
}

}  // namespace

GtkTopWindow::GtkTopWindow(HostWindowDelegate* delegate, GtkDrawnWindow* owner, HostKind kind)
    : GtkDrawnWindow(delegate), m_kind(kind == HostKind::Layer ? HostKind::TopLevel : kind) {
  m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_add_weak_pointer(G_OBJECT(m_window), reinterpret_cast<gpointer*>(&m_window));
  gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
  gtk_widget_set_app_paintable(m_window, TRUE);
  GdkScreen* screen = gtk_widget_get_screen(m_window);
  if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen); rgba && gdk_screen_is_composited(screen))
    gtk_widget_set_visual(m_window, rgba);
  if (m_kind == HostKind::Popup) {
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_POPUP_MENU);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m_window), TRUE);
    gtk_window_set_keep_above(GTK_WINDOW(m_window), TRUE);
  }
  if (owner && owner->Top().Window() && m_kind != HostKind::TopLevel)
    gtk_window_set_transient_for(GTK_WINDOW(m_window), GTK_WINDOW(owner->Top().Window()));
  m_overlay = gtk_overlay_new();
  g_signal_connect(m_overlay, "get-child-position", G_CALLBACK(OnGetChildPosition), this);
  gtk_container_add(GTK_CONTAINER(m_overlay), m_area);
  gtk_container_add(GTK_CONTAINER(m_window), m_overlay);
  gtk_widget_show(m_area);
  gtk_widget_show(m_overlay);
  g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(m_window, "realize", G_CALLBACK(ApplyClassHint), this);
  g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnWindowKey), this);
  g_signal_connect(m_window, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(m_window, "window-state-event", G_CALLBACK(OnWindowState), this);
}

GtkTopWindow::~GtkTopWindow() {
  DetachArea();
  if (m_overlay) g_signal_handlers_disconnect_by_data(m_overlay, this);
  if (m_window) {
    g_signal_handlers_disconnect_by_data(m_window, this);
    gtk_widget_destroy(m_window);
  }
}

void GtkTopWindow::Show(bool show, bool activate) {
  if (!m_window) return;
  if (show) {
    gtk_window_set_focus_on_map(GTK_WINDOW(m_window), activate);
    gtk_widget_show(m_window);
    if (activate) gtk_window_present(GTK_WINDOW(m_window));
    // A layer that took the focus before the window showed (the login form) keeps it.
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_window));
    if (!focus || !gtk_widget_is_visible(focus)) gtk_widget_grab_focus(m_area);
  } else {
    gtk_widget_hide(m_window);
  }
}

bool GtkTopWindow::IsVisible() const { return m_window && gtk_widget_get_visible(m_window); }

void GtkTopWindow::SetScreenRect(const HostRect& rect) {
  const bool resized = rect.width != m_rect.width || rect.height != m_rect.height;
  m_rect = rect;
  if (!m_window) return;
  gtk_window_move(GTK_WINDOW(m_window), rect.x, rect.y);
  if (rect.width > 0 && rect.height > 0) gtk_window_resize(GTK_WINDOW(m_window), rect.width, rect.height);
  if (resized) m_delegate->OnHostSize(rect.width, rect.height);
}

void GtkTopWindow::SetTitle(const std::string& utf8) {
  if (m_window) gtk_window_set_title(GTK_WINDOW(m_window), utf8.c_str());
}

void GtkTopWindow::SetClassName(const std::string& utf8) {
  m_className = utf8;
  if (!m_window) return;
  gtk_window_set_role(GTK_WINDOW(m_window), utf8.c_str());
  if (gtk_widget_get_realized(m_window)) ApplyClassHint(m_window, this);
}

void GtkTopWindow::SetMinSize(int width, int height) {
  if (!m_window) return;
  GdkGeometry g{};
  g.min_width = width;
  g.min_height = height;
  gtk_window_set_geometry_hints(GTK_WINDOW(m_window), nullptr, &g, GDK_HINT_MIN_SIZE);
  // GTK shows the window at least this large: the rectangle says so at once, so that
  // centring a window created smaller uses the size it really gets.
  if (m_rect.width > 0 && m_rect.height > 0 && (m_rect.width < width || m_rect.height < height))
    SetScreenRect({m_rect.x, m_rect.y, std::max(m_rect.width, width), std::max(m_rect.height, height)});
}

void GtkTopWindow::BeginMoveDrag() {
  if (!m_window) return;
  gtk_window_begin_move_drag(GTK_WINDOW(m_window), m_press.button, m_press.rootX, m_press.rootY,
                             m_press.time);
}

void GtkTopWindow::BeginResizeDrag(HostEdge edge) {
  if (!m_window) return;
  static const GdkWindowEdge kEdges[] = {GDK_WINDOW_EDGE_WEST,       GDK_WINDOW_EDGE_EAST,
                                         GDK_WINDOW_EDGE_NORTH,      GDK_WINDOW_EDGE_SOUTH,
                                         GDK_WINDOW_EDGE_NORTH_WEST, GDK_WINDOW_EDGE_NORTH_EAST,
                                         GDK_WINDOW_EDGE_SOUTH_WEST, GDK_WINDOW_EDGE_SOUTH_EAST};
  gtk_window_begin_resize_drag(GTK_WINDOW(m_window), kEdges[static_cast<int>(edge)], m_press.button,
                               m_press.rootX, m_press.rootY, m_press.time);
}

void GtkTopWindow::Minimize() {
  if (m_window) gtk_window_iconify(GTK_WINDOW(m_window));
}

void GtkTopWindow::Maximize() {
  if (m_window) gtk_window_maximize(GTK_WINDOW(m_window));
}

void GtkTopWindow::Restore() {
  if (!m_window) return;
  if (m_minimized) gtk_window_deiconify(GTK_WINDOW(m_window));
  if (m_maximized) gtk_window_unmaximize(GTK_WINDOW(m_window));
  gtk_window_present(GTK_WINDOW(m_window));
}

void GtkTopWindow::Activate() {
  if (m_window) gtk_window_present(GTK_WINDOW(m_window));
  if (m_area) gtk_widget_grab_focus(m_area);
}

void GtkTopWindow::SetTopMost(bool topMost) {
  if (m_window) gtk_window_set_keep_above(GTK_WINDOW(m_window), topMost);
}

void GtkTopWindow::SetIcon(const std::vector<unsigned char>& data) {
  if (!m_window) return;
  if (GdkPixbuf* pixbuf = PixbufFromBytes(data)) {
    gtk_window_set_icon(GTK_WINDOW(m_window), pixbuf);
    g_object_unref(pixbuf);
  }
}

GdkWindow* GtkTopWindow::OverlayWindow() const {
  return m_overlay ? gtk_widget_get_window(m_overlay) : nullptr;
}

int GtkTopWindow::AddNativeWidget(GtkWidget* widget) {
  if (!m_overlay || !widget) return 0;
  gtk_overlay_add_overlay(GTK_OVERLAY(m_overlay), widget);
  // Native children stay below every layer.
  gtk_overlay_reorder_overlay(GTK_OVERLAY(m_overlay), widget, 0);
  m_placement[widget] = {0, 0, 1, 1};
  const int id = ++m_nextChild;
  m_children[id] = widget;
  return id;
}

void GtkTopWindow::PlaceNativeWidget(int id, const HostRect& rect, bool visible) {
  auto it = m_children.find(id);
  if (it == m_children.end()) return;
  m_placement[it->second] = {rect.x, rect.y, std::max(1, rect.width), std::max(1, rect.height)};
  gtk_widget_set_visible(it->second, visible);
  gtk_widget_queue_resize(m_overlay);
}

void GtkTopWindow::RemoveNativeWidget(int id) {
  auto it = m_children.find(id);
  if (it == m_children.end()) return;
  m_placement.erase(it->second);
  if (m_overlay && gtk_widget_get_parent(it->second) == m_overlay)
    gtk_container_remove(GTK_CONTAINER(m_overlay), it->second);
  m_children.erase(it);
}

void GtkTopWindow::AddLayerWidget(GtkWidget* area) {
  if (!m_overlay) return;
  gtk_overlay_add_overlay(GTK_OVERLAY(m_overlay), area);
  m_placement[area] = {0, 0, 0, 0};
}

void GtkTopWindow::PlaceLayerWidget(GtkWidget* area, const HostRect& rect) {
  m_placement[area] = {rect.x, rect.y, std::max(1, rect.width), std::max(1, rect.height)};
  if (m_overlay) gtk_widget_queue_resize(m_overlay);
}

void GtkTopWindow::ForgetLayerWidget(GtkWidget* area) { m_placement.erase(area); }

void GtkTopWindow::OnAreaDrawn() { TraceFirstDraw(); }

void GtkTopWindow::OnAreaResized(int width, int height) {
  m_rect.width = width;
  m_rect.height = height;
}

gboolean GtkTopWindow::OnGetChildPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation,
                                          gpointer data) {
  auto* self = static_cast<GtkTopWindow*>(data);
  auto it = self->m_placement.find(widget);
  if (it == self->m_placement.end()) return FALSE;
  *allocation = it->second;
  return TRUE;
}

// WM_CLASS is (class name, "Tavo"): tools find a window by its class name, and the
// desktop file matches every window of the program by "Tavo".
void GtkTopWindow::ApplyClassHint(GtkWidget* window, gpointer data) {
  auto* self = static_cast<GtkTopWindow*>(data);
  GdkWindow* native = gtk_widget_get_window(window);
  if (self->m_className.empty() || !native || !GDK_IS_X11_WINDOW(native)) return;
  XClassHint hint;
  hint.res_name = self->m_className.data();
  hint.res_class = const_cast<char*>("Tavo");
  XSetClassHint(GDK_WINDOW_XDISPLAY(native), GDK_WINDOW_XID(native), &hint);
}

bool GtkTopWindow::FocusNextPart(bool forward) {
  if (!m_window || !m_overlay) return false;
  // The overlay's main child (this window's drawing) first, then its overlays in order.
  std::vector<GtkWidget*> parts;
  GList* children = gtk_container_get_children(GTK_CONTAINER(m_overlay));
  for (GList* l = children; l; l = l->next) {
    auto* w = static_cast<GtkWidget*>(l->data);
    if (gtk_widget_is_visible(w) && gtk_widget_get_can_focus(w) && gtk_widget_is_sensitive(w) && WidgetTakesKeys(w))
      parts.push_back(w);
  }
  g_list_free(children);
  if (parts.size() < 2) return false;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(m_window));
  size_t at = parts.size();
  for (size_t i = 0; i < parts.size(); ++i)
    if (focus && (focus == parts[i] || gtk_widget_is_ancestor(focus, parts[i]))) at = i;
  size_t next = 0;
  if (at == parts.size())
    next = forward ? 0 : parts.size() - 1;
  else
    next = forward ? (at + 1) % parts.size() : (at + parts.size() - 1) % parts.size();
  gtk_widget_grab_focus(parts[next]);
  return true;
}

// Runs before the focused widget sees the key, wherever the focus is in the window.
gboolean GtkTopWindow::OnWindowKey(GtkWidget*, GdkEventKey* e, gpointer data) {
  auto* self = static_cast<GtkTopWindow*>(data);
  if (e->keyval == GDK_KEY_F6 && !(e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) &&
      self->FocusNextPart(!(e->state & GDK_SHIFT_MASK)))
    return TRUE;
  HostKeyEvent k;
  k.down = true;
  k.key = HostKeyCode(e->keyval);
  k.modifiers = HostModifiers(e->state);
  if (k.key == 0) return FALSE;
  return self->m_delegate->OnHostHotKey(k) ? TRUE : FALSE;
}

gboolean GtkTopWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<GtkTopWindow*>(data)->m_delegate->OnHostCloseRequest();
  return TRUE;
}

gboolean GtkTopWindow::OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data) {
  auto* self = static_cast<GtkTopWindow*>(data);
  self->m_rect.x = e->x;
  self->m_rect.y = e->y;
  return FALSE;
}

gboolean GtkTopWindow::OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data) {
  auto* self = static_cast<GtkTopWindow*>(data);
  self->m_minimized = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  self->m_maximized = (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
  self->m_delegate->OnHostStateChanged();
  return FALSE;
}
