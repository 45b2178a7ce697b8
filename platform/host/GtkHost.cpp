// GTK 3 host windows.
#include "platform/host/GtkHost.h"

#include <gdk/gdkx.h>
#include <X11/Xutil.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <map>

namespace {

// The toolkit's modifier and key numbers (the Windows values).
constexpr unsigned kShift = 0x4, kControl = 0x8, kAlt = 0x20;

unsigned Modifiers(guint state) {
  unsigned m = 0;
  if (state & GDK_SHIFT_MASK) m |= kShift;
  if (state & GDK_CONTROL_MASK) m |= kControl;
  if (state & GDK_MOD1_MASK) m |= kAlt;
  return m;
}

unsigned KeyCode(guint keyval) {
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

GdkPixbuf* PixbufFromBytes(const std::vector<unsigned char>& data) {
  if (data.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool ok = gdk_pixbuf_loader_write(loader, data.data(), data.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

class GtkHostWindow;

// Rectangles of the overlay children of a top-level window, by widget.
struct OverlayPlacement {
  std::map<GtkWidget*, GdkRectangle> rects;
};

gboolean OnGetChildPosition(GtkOverlay*, GtkWidget* widget, GdkRectangle* allocation, gpointer data) {
  auto* placement = static_cast<OverlayPlacement*>(data);
  auto it = placement->rects.find(widget);
  if (it == placement->rects.end()) return FALSE;
  *allocation = it->second;
  return TRUE;
}

class GtkHostWindow : public HostWindow {
 public:
  GtkHostWindow(HostWindowDelegate* delegate, GtkHostWindow* owner, HostKind kind)
      : m_delegate(delegate), m_kind(kind) {
    if (kind == HostKind::Layer && owner) {
      m_ownerTop = owner->TopLevel();
      m_ownerOffset = owner->OffsetInTop();
    } else {
      m_kind = kind == HostKind::Layer ? HostKind::TopLevel : kind;
    }
    m_area = gtk_drawing_area_new();
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

    if (m_ownerTop) {
      // A layer: an overlay child of the owner's top-level window, above native children.
      gtk_overlay_add_overlay(GTK_OVERLAY(m_ownerTop->m_overlay), m_area);
      m_ownerTop->m_placement.rects[m_area] = {0, 0, 0, 0};
      g_object_add_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
      gtk_widget_set_no_show_all(m_area, TRUE);
      return;
    }
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
    if (owner && owner->TopLevel()->m_window && m_kind != HostKind::TopLevel)
      gtk_window_set_transient_for(GTK_WINDOW(m_window), GTK_WINDOW(owner->TopLevel()->m_window));
    m_overlay = gtk_overlay_new();
    g_signal_connect(m_overlay, "get-child-position", G_CALLBACK(OnGetChildPosition), &m_placement);
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

  ~GtkHostWindow() override {
    if (m_shapeSource) g_source_remove(m_shapeSource);
    if (m_im) {
      g_signal_handlers_disconnect_by_data(m_im, this);
      gtk_im_context_set_client_window(m_im, nullptr);
      g_object_unref(m_im);
    }
    if (m_area) {
      g_signal_handlers_disconnect_by_data(m_area, this);
      if (m_ownerTop) m_ownerTop->m_placement.rects.erase(m_area);
    }
    if (m_window) {
      g_signal_handlers_disconnect_by_data(m_window, this);
      gtk_widget_destroy(m_window);
    } else if (m_area && m_ownerTop) {
      GtkWidget* area = m_area;
      g_object_remove_weak_pointer(G_OBJECT(area), reinterpret_cast<gpointer*>(&m_area));
      gtk_widget_destroy(area);
    }
  }

  GtkHostWindow* TopLevel() { return m_ownerTop ? m_ownerTop : this; }
  HostRect OffsetInTop() const {
    HostRect r = m_ownerTop ? m_rect : HostRect{};
    r.x += m_ownerOffset.x;
    r.y += m_ownerOffset.y;
    return r;
  }

  void Show(bool show, bool activate) override {
    if (m_ownerTop) {
      if (!m_area) return;
      gtk_widget_set_visible(m_area, show);
      if (show && activate) gtk_widget_grab_focus(m_area);
      if (show) ScheduleInputShape();
      return;
    }
    if (!m_window) return;
    if (show) {
      gtk_window_set_focus_on_map(GTK_WINDOW(m_window), activate);
      gtk_widget_show(m_window);
      if (activate) gtk_window_present(GTK_WINDOW(m_window));
      gtk_widget_grab_focus(m_area);
    } else {
      gtk_widget_hide(m_window);
    }
  }
  bool IsVisible() const override {
    return m_ownerTop ? (m_area && gtk_widget_get_visible(m_area))
                      : (m_window && gtk_widget_get_visible(m_window));
  }

  void SetScreenRect(const HostRect& rect) override {
    bool resized = rect.width != m_rect.width || rect.height != m_rect.height;
    if (m_ownerTop) {
      HostRect top = m_ownerTop->GetScreenRect();
      m_rect = {rect.x - top.x - m_ownerOffset.x, rect.y - top.y - m_ownerOffset.y, rect.width, rect.height};
      if (!m_area) return;
      m_ownerTop->m_placement.rects[m_area] = {m_rect.x + m_ownerOffset.x, m_rect.y + m_ownerOffset.y,
                                               std::max(1, rect.width), std::max(1, rect.height)};
      gtk_widget_queue_resize(m_ownerTop->m_overlay);
      if (resized) m_delegate->OnHostSize(rect.width, rect.height);
      ScheduleInputShape();
      return;
    }
    m_rect = rect;
    if (!m_window) return;
    gtk_window_move(GTK_WINDOW(m_window), rect.x, rect.y);
    if (rect.width > 0 && rect.height > 0) {
      gtk_window_resize(GTK_WINDOW(m_window), rect.width, rect.height);
    }
    if (resized) m_delegate->OnHostSize(rect.width, rect.height);
  }
  HostRect GetScreenRect() const override {
    if (m_ownerTop) {
      HostRect top = m_ownerTop->GetScreenRect();
      return {top.x + m_ownerOffset.x + m_rect.x, top.y + m_ownerOffset.y + m_rect.y, m_rect.width,
              m_rect.height};
    }
    return m_rect;
  }
  HostRect GetOwnerRect() const override { return m_rect; }

  void SetTitle(const std::string& utf8) override {
    if (m_window) gtk_window_set_title(GTK_WINDOW(m_window), utf8.c_str());
  }
  void SetClassName(const std::string& utf8) override {
    m_className = utf8;
    if (!m_window) return;
    gtk_window_set_role(GTK_WINDOW(m_window), utf8.c_str());
    if (gtk_widget_get_realized(m_window)) ApplyClassHint(m_window, this);
  }
  void SetMinSize(int width, int height) override {
    m_minWidth = width;
    m_minHeight = height;
    if (!m_window) return;
    GdkGeometry g{};
    g.min_width = width;
    g.min_height = height;
    gtk_window_set_geometry_hints(GTK_WINDOW(m_window), nullptr, &g, GDK_HINT_MIN_SIZE);
  }
  void Invalidate(const HostRect& r) override {
    if (!m_area) return;
    if (r.width <= 0 || r.height <= 0)
      gtk_widget_queue_draw(m_area);
    else
      gtk_widget_queue_draw_area(m_area, r.x, r.y, r.width, r.height);
  }
  void SetCursor(HostCursor cursor) override {
    if (cursor == m_cursor || !m_area || !gtk_widget_get_window(m_area)) return;
    m_cursor = cursor;
    GdkCursor* c = gdk_cursor_new_from_name(gtk_widget_get_display(m_area), CursorName(cursor));
    gdk_window_set_cursor(gtk_widget_get_window(m_area), c);
    if (c) g_object_unref(c);
  }
  void SetToolTip(const std::string& utf8) override {
    if (!m_area || utf8 == m_toolTip) return;
    m_toolTip = utf8;
    gtk_widget_set_tooltip_text(m_area, utf8.empty() ? nullptr : utf8.c_str());
  }
  void BeginMoveDrag() override {
    GtkHostWindow* top = TopLevel();
    if (m_ownerTop || !top->m_window) return;
    gtk_window_begin_move_drag(GTK_WINDOW(top->m_window), m_pressButton, m_pressRootX, m_pressRootY,
                               m_pressTime);
  }
  void BeginResizeDrag(HostEdge edge) override {
    if (m_ownerTop || !m_window) return;
    static const GdkWindowEdge kEdges[] = {GDK_WINDOW_EDGE_WEST,       GDK_WINDOW_EDGE_EAST,
                                           GDK_WINDOW_EDGE_NORTH,      GDK_WINDOW_EDGE_SOUTH,
                                           GDK_WINDOW_EDGE_NORTH_WEST, GDK_WINDOW_EDGE_NORTH_EAST,
                                           GDK_WINDOW_EDGE_SOUTH_WEST, GDK_WINDOW_EDGE_SOUTH_EAST};
    gtk_window_begin_resize_drag(GTK_WINDOW(m_window), kEdges[static_cast<int>(edge)], m_pressButton,
                                 m_pressRootX, m_pressRootY, m_pressTime);
  }
  void Minimize() override {
    if (m_window)
      gtk_window_iconify(GTK_WINDOW(m_window));
    else
      Show(false, false);
  }
  void Maximize() override {
    if (m_window) gtk_window_maximize(GTK_WINDOW(m_window));
  }
  void Restore() override {
    if (!m_window) return;
    if (m_minimized) gtk_window_deiconify(GTK_WINDOW(m_window));
    if (m_maximized) gtk_window_unmaximize(GTK_WINDOW(m_window));
    gtk_window_present(GTK_WINDOW(m_window));
  }
  bool IsMinimized() const override { return m_minimized; }
  bool IsMaximized() const override { return m_maximized; }
  void Activate() override {
    GtkHostWindow* top = TopLevel();
    if (top->m_window) gtk_window_present(GTK_WINDOW(top->m_window));
    if (m_area) gtk_widget_grab_focus(m_area);
  }
  void SetEnabled(bool enabled) override {
    if (m_area) gtk_widget_set_sensitive(m_area, enabled);
  }
  void SetTopMost(bool topMost) override {
    if (m_window) gtk_window_set_keep_above(GTK_WINDOW(m_window), topMost);
  }
  void SetIcon(const std::vector<unsigned char>& data) override {
    if (!m_window) return;
    if (GdkPixbuf* pixbuf = PixbufFromBytes(data)) {
      gtk_window_set_icon(GTK_WINDOW(m_window), pixbuf);
      g_object_unref(pixbuf);
    }
  }
  void SetTextInput(bool enabled, const HostRect& caret) override {
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
  int AddNativeChild(void* widget) override {
    GtkHostWindow* top = TopLevel();
    if (!top->m_overlay || !widget) return 0;
    auto* w = static_cast<GtkWidget*>(widget);
    gtk_overlay_add_overlay(GTK_OVERLAY(top->m_overlay), w);
    // Native children stay below every layer.
    gtk_overlay_reorder_overlay(GTK_OVERLAY(top->m_overlay), w, 0);
    top->m_placement.rects[w] = {0, 0, 1, 1};
    int id = ++top->m_nextChild;
    top->m_children[id] = w;
    return id;
  }
  void PlaceNativeChild(int id, const HostRect& rect, bool visible) override {
    GtkHostWindow* top = TopLevel();
    auto it = top->m_children.find(id);
    if (it == top->m_children.end()) return;
    HostRect off = OffsetInTop();
    top->m_placement.rects[it->second] = {rect.x + off.x, rect.y + off.y, std::max(1, rect.width),
                                          std::max(1, rect.height)};
    gtk_widget_set_visible(it->second, visible);
    gtk_widget_queue_resize(top->m_overlay);
  }
  void RemoveNativeChild(int id) override {
    GtkHostWindow* top = TopLevel();
    auto it = top->m_children.find(id);
    if (it == top->m_children.end()) return;
    top->m_placement.rects.erase(it->second);
    if (top->m_overlay && gtk_widget_get_parent(it->second) == top->m_overlay)
      gtk_container_remove(GTK_CONTAINER(top->m_overlay), it->second);
    top->m_children.erase(it);
  }
  void* NativeHandle() const override { return m_window ? m_window : m_area; }

 private:
  // A layer takes the mouse only where it paints something: its input shape is the
  // opaque part of a rendering made after it was shown, resized or drawn.
  void ScheduleInputShape() {
    if (!m_ownerTop || m_shapeSource) return;
    m_shapeSource = g_idle_add(
        [](gpointer data) -> gboolean {
          auto* self = static_cast<GtkHostWindow*>(data);
          self->m_shapeSource = 0;
          self->UpdateInputShape();
          return G_SOURCE_REMOVE;
        },
        this);
  }
  void UpdateInputShape() {
    if (!m_area || m_rect.width <= 0 || m_rect.height <= 0) return;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_rect.width, m_rect.height);
    cairo_t* cr = cairo_create(s);
    m_delegate->OnHostPaint(cr, {0, 0, m_rect.width, m_rect.height});
    cairo_destroy(cr);
    cairo_region_t* region = gdk_cairo_region_create_from_surface(s);
    gtk_widget_input_shape_combine_region(m_area, region);
    // The overlay wraps each child in a window of its own; it must let the rest through too.
    if (GdkWindow* own = gtk_widget_get_window(m_area)) {
      GdkWindow* wrapper = gdk_window_get_parent(own);
      if (wrapper && wrapper != gtk_widget_get_window(m_ownerTop->m_overlay))
        gdk_window_input_shape_combine_region(wrapper, region, 0, 0);
    }
    cairo_region_destroy(region);
    cairo_surface_destroy(s);
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    GdkRectangle clip;
    if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
    self->m_delegate->OnHostPaint(cr, {clip.x, clip.y, clip.width, clip.height});
    if (!self->m_ownerTop) TraceFirstDraw();
    self->ScheduleInputShape();  // what a layer paints may have changed its shape
    return TRUE;
  }
  static void OnSizeAllocate(GtkWidget*, GdkRectangle* a, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    if (self->m_allocW == a->width && self->m_allocH == a->height) return;
    self->m_allocW = a->width;
    self->m_allocH = a->height;
    if (!self->m_ownerTop) {
      self->m_rect.width = a->width;
      self->m_rect.height = a->height;
    }
    self->m_delegate->OnHostSize(a->width, a->height);
  }
  // WM_CLASS is (class name, "Tavo"): tools find a window by its class name, and the
  // desktop file matches every window of the program by "Tavo".
  static void ApplyClassHint(GtkWidget* window, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    GdkWindow* native = gtk_widget_get_window(window);
    if (self->m_className.empty() || !native || !GDK_IS_X11_WINDOW(native)) return;
    XClassHint hint;
    hint.res_name = self->m_className.data();
    hint.res_class = const_cast<char*>("Tavo");
    XSetClassHint(GDK_WINDOW_XDISPLAY(native), GDK_WINDOW_XID(native), &hint);
  }
  // With TAVO_TRACE_FIRST_DRAW set, the first drawing of a top-level window writes one
  // line with the monotonic clock (microseconds) to standard error: the start-up bench
  // measures the time to the first window from it.
  static void TraceFirstDraw() {
    static bool traced = false;
    if (traced) return;
    traced = true;
    if (g_getenv("TAVO_TRACE_FIRST_DRAW") == nullptr) return;
    std::fprintf(stderr, "tavo-first-draw %lld\n", static_cast<long long>(g_get_monotonic_time()));
    std::fflush(stderr);
  }
  static void OnRealize(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    gtk_im_context_set_client_window(self->m_im, gtk_widget_get_window(widget));
  }
  static gboolean OnButton(GtkWidget* widget, GdkEventButton* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
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
      self->m_pressButton = static_cast<int>(e->button);
      self->m_pressRootX = static_cast<int>(e->x_root);
      self->m_pressRootY = static_cast<int>(e->y_root);
      self->m_pressTime = e->time;
      self->TopLevel()->m_pressButton = self->m_pressButton;
      self->TopLevel()->m_pressRootX = self->m_pressRootX;
      self->TopLevel()->m_pressRootY = self->m_pressRootY;
      self->TopLevel()->m_pressTime = e->time;
    }
    m.button = static_cast<int>(e->button);
    m.x = static_cast<int>(e->x);
    m.y = static_cast<int>(e->y);
    m.modifiers = Modifiers(e->state);
    m.time = e->time;
    self->m_delegate->OnHostMouse(m);
    return TRUE;
  }
  static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    HostMouseEvent m;
    m.type = HostMouseType::Move;
    m.x = static_cast<int>(e->x);
    m.y = static_cast<int>(e->y);
    m.modifiers = Modifiers(e->state);
    m.time = e->time;
    self->m_delegate->OnHostMouse(m);
    return TRUE;
  }
  static gboolean OnLeave(GtkWidget*, GdkEventCrossing* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    if (e->mode != GDK_CROSSING_NORMAL) return FALSE;
    HostMouseEvent m;
    m.type = HostMouseType::Leave;
    m.x = static_cast<int>(e->x);
    m.y = static_cast<int>(e->y);
    self->m_delegate->OnHostMouse(m);
    return FALSE;
  }
  static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
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
    m.modifiers = Modifiers(e->state);
    m.time = e->time;
    self->m_delegate->OnHostMouse(m);
    return TRUE;
  }
  static gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    bool ctrlOrAlt = (e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0;
    if (self->m_imFocused && !ctrlOrAlt && gtk_im_context_filter_keypress(self->m_im, e)) return TRUE;
    HostKeyEvent k;
    k.down = e->type == GDK_KEY_PRESS;
    k.key = KeyCode(e->keyval);
    k.modifiers = Modifiers(e->state);
    if (k.key == 0) return FALSE;
    return self->m_delegate->OnHostKey(k) ? TRUE : FALSE;
  }
  // Runs before the focused widget sees the key, wherever the focus is in the window.
  static gboolean OnWindowKey(GtkWidget*, GdkEventKey* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    HostKeyEvent k;
    k.down = true;
    k.key = KeyCode(e->keyval);
    k.modifiers = Modifiers(e->state);
    if (k.key == 0) return FALSE;
    return self->m_delegate->OnHostHotKey(k) ? TRUE : FALSE;
  }
  static gboolean OnFocus(GtkWidget*, GdkEventFocus* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    if (!e->in && self->m_imFocused) {
      gtk_im_context_focus_out(self->m_im);
      self->m_imFocused = false;
    }
    self->m_delegate->OnHostFocus(e->in != 0);
    return FALSE;
  }
  static void OnCommit(GtkIMContext*, const char* text, gpointer data) {
    static_cast<GtkHostWindow*>(data)->m_delegate->OnHostText(text ? text : "");
  }
  static void OnPreedit(GtkIMContext* im, gpointer data) {
    gchar* text = nullptr;
    gint cursor = 0;
    gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
    static_cast<GtkHostWindow*>(data)->m_delegate->OnHostPreedit(text ? text : "", cursor);
    g_free(text);
  }
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<GtkHostWindow*>(data)->m_delegate->OnHostCloseRequest();
    return TRUE;
  }
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    self->m_rect.x = e->x;
    self->m_rect.y = e->y;
    return FALSE;
  }
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer data) {
    auto* self = static_cast<GtkHostWindow*>(data);
    self->m_minimized = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    self->m_maximized = (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    self->m_delegate->OnHostStateChanged();
    return FALSE;
  }

  HostWindowDelegate* m_delegate;
  HostKind m_kind;
  GtkHostWindow* m_ownerTop = nullptr;
  HostRect m_ownerOffset;
  GtkWidget* m_window = nullptr;
  GtkWidget* m_overlay = nullptr;
  GtkWidget* m_area = nullptr;
  GtkIMContext* m_im = nullptr;
  bool m_imFocused = false;
  OverlayPlacement m_placement;
  std::map<int, GtkWidget*> m_children;
  int m_nextChild = 0;
  HostRect m_rect;
  int m_allocW = -1;
  int m_allocH = -1;
  int m_minWidth = 0;
  int m_minHeight = 0;
  bool m_minimized = false;
  bool m_maximized = false;
  HostCursor m_cursor = HostCursor::Arrow;
  std::string m_toolTip;
  std::string m_className;
  int m_pressButton = 1;
  int m_pressRootX = 0;
  int m_pressRootY = 0;
  guint32 m_pressTime = 0;
  double m_smooth = 0;
  guint m_shapeSource = 0;
};

// gtk_status_icon is the XEmbed tray of X11 desktops; deprecated but still working.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS
class GtkTray : public HostTray {
 public:
  GtkTray(GdkPixbuf* icon, const std::string& tip, std::function<void(int)> onClick)
      : m_onClick(std::move(onClick)) {
    m_icon = icon ? gtk_status_icon_new_from_pixbuf(icon)
                  : gtk_status_icon_new_from_icon_name("applications-other");
    gtk_status_icon_set_tooltip_text(m_icon, tip.c_str());
    g_signal_connect(m_icon, "button-release-event", G_CALLBACK(OnRelease), this);
  }
  ~GtkTray() override {
    g_signal_handlers_disconnect_by_data(m_icon, this);
    gtk_status_icon_set_visible(m_icon, FALSE);
    g_object_unref(m_icon);
  }
  void SetTooltip(const std::string& utf8) override {
    gtk_status_icon_set_tooltip_text(m_icon, utf8.c_str());
  }

 private:
  static gboolean OnRelease(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
    auto* self = static_cast<GtkTray*>(data);
    if (self->m_onClick) self->m_onClick(static_cast<int>(e->button));
    return TRUE;
  }
  GtkStatusIcon* m_icon;
  std::function<void(int)> m_onClick;
};
G_GNUC_END_IGNORE_DEPRECATIONS

// True when an XEmbed tray manager runs on the screen.
bool TrayExists() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = gdk_x11_display_get_xdisplay(display);
  int screen = gdk_x11_screen_get_screen_number(gdk_screen_get_default());
  std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  Atom atom = XInternAtom(x, name.c_str(), False);
  return XGetSelectionOwner(x, atom) != None;
}

}  // namespace

bool GtkHost::Init() { return gtk_init_check(nullptr, nullptr); }

std::unique_ptr<HostWindow> GtkHost::CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                                      HostKind kind) {
  return std::make_unique<GtkHostWindow>(delegate, static_cast<GtkHostWindow*>(owner), kind);
}

HostRect GtkHost::GetWorkArea() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return {0, 0, 1366, 768};
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  return {r.x, r.y, r.width, r.height};
}

void GtkHost::GetCursorPos(int& x, int& y) {
  x = y = 0;
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return;
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (pointer) gdk_device_get_position(pointer, nullptr, &x, &y);
}

void GtkHost::SetClipboardText(const std::string& utf8) {
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), utf8.c_str(),
                         static_cast<gint>(utf8.size()));
}

std::string GtkHost::GetClipboardText() {
  gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

std::unique_ptr<HostTray> GtkHost::CreateTray(const std::vector<unsigned char>& icon, const std::string& tip,
                                              std::function<void(int)> onClick) {
  if (!TrayExists()) return nullptr;
  GdkPixbuf* pixbuf = PixbufFromBytes(icon);
  auto tray = std::make_unique<GtkTray>(pixbuf, tip, std::move(onClick));
  if (pixbuf) g_object_unref(pixbuf);
  return tray;
}

namespace {
std::string RunChooser(GtkFileChooserNative* chooser) {
  std::string result;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (path) result = path;
    g_free(path);
  }
  g_object_unref(chooser);
  return result;
}

GtkWindow* ParentOf(HostWindow* owner) {
  if (!owner || !owner->NativeHandle()) return nullptr;
  GtkWidget* w = gtk_widget_get_toplevel(static_cast<GtkWidget*>(owner->NativeHandle()));
  return GTK_IS_WINDOW(w) ? GTK_WINDOW(w) : nullptr;
}
}  // namespace

std::string GtkHost::ChooseFile(HostWindow* owner, const std::string& title, const std::string& folder,
                                const std::vector<HostFileFilter>& filters) {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(title.c_str(), ParentOf(owner),
                                                              GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  if (!folder.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.c_str());
  bool first = true;
  for (const auto& f : filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, f.name.c_str());
    gtk_file_filter_add_pattern(filter, f.pattern.c_str());
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    if (first) gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
    first = false;
  }
  return RunChooser(chooser);
}

std::string GtkHost::ChooseFolder(HostWindow* owner, const std::string& title) {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      title.c_str(), ParentOf(owner), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
  return RunChooser(chooser);
}

bool GtkHost::OpenUri(const std::string& uri) {
  GError* error = nullptr;
  bool ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error) g_error_free(error);
  return ok;
}

int GtkHost::DoubleClickTime() {
  gint ms = 400;
  g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &ms, nullptr);
  return ms;
}
