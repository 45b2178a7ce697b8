// Drawing and placing the GTK host's tooltip.
#include "platform/host/GtkToolTip.h"

#include <algorithm>

namespace {

constexpr int kPadX = 10, kPadY = 6, kGap = 6;
constexpr guint kDelayMs = 500;

void SetSource(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                        ((argb >> 24) & 0xFF) / 255.0);
}

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
  cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
}

bool Overlaps(const HostRect& a, const HostRect& b) {
  return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.x < b.x + b.width && b.x < a.x + a.width &&
         a.y < b.y + b.height && b.y < a.y + a.height;
}

PangoLayout* NewLayout(GtkWidget* widget, const std::string& text) {
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, text.c_str());
  PangoFontDescription* font = pango_font_description_from_string("Sans 9");
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_width(layout, 360 * PANGO_SCALE);
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  return layout;
}

}  // namespace

GtkToolTip::~GtkToolTip() {
  if (m_delay) g_source_remove(m_delay);
  Follow(nullptr);
  if (m_window) gtk_widget_destroy(m_window);
}

GtkWidget* GtkToolTip::ShownWindow() const {
  return m_window && gtk_widget_get_visible(m_window) ? m_window : nullptr;
}

void GtkToolTip::Hide() {
  if (m_delay) g_source_remove(m_delay);
  m_delay = 0;
  if (m_window) gtk_widget_hide(m_window);
}

void GtkToolTip::Show(GtkWidget* area, const HostToolTip& tip) {
  if (tip.text.empty() || !area || !gtk_widget_get_window(area)) {
    Hide();
    return;
  }
  Follow(area);
  m_tip = tip;
  // Moving from one control to the next while a tip shows changes it at once.
  if (ShownWindow()) {
    Present();
    return;
  }
  if (m_delay) g_source_remove(m_delay);
  m_delay = g_timeout_add(kDelayMs, OnDelay, this);
}

void GtkToolTip::Follow(GtkWidget* area) {
  if (area == m_area) return;
  // GTK may destroy the area with its window: the pointer then turns null.
  if (m_area) g_object_remove_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
  m_area = area;
  if (m_area) g_object_add_weak_pointer(G_OBJECT(m_area), reinterpret_cast<gpointer*>(&m_area));
}

gboolean GtkToolTip::OnDelay(gpointer data) {
  auto* self = static_cast<GtkToolTip*>(data);
  self->m_delay = 0;
  self->Present();
  return G_SOURCE_REMOVE;
}

HostRect GtkToolTip::Place(const HostRect& target, int width, int height, const HostRect& avoid,
                           const HostRect& screen) {
  HostRect r{target.x + target.width / 2 - width / 2, target.y + target.height + kGap, width, height};
  r.x = std::clamp(r.x, screen.x, std::max(screen.x, screen.x + screen.width - width));
  bool offScreen = r.y + height > screen.y + screen.height;
  if (offScreen || Overlaps(r, avoid)) {
    HostRect above = r;
    above.y = target.y - kGap - height;
    if (above.y >= screen.y && !Overlaps(above, avoid)) return above;
    // Neither fits: beside the target, to the right unless that covers it or leaves the screen.
    if (Overlaps(r, avoid)) {
      HostRect right{target.x + target.width + kGap, target.y, width, height};
      HostRect left{target.x - kGap - width, target.y, width, height};
      bool rightFits = !Overlaps(right, avoid) && right.x + width <= screen.x + screen.width;
      return rightFits ? right : left;
    }
    r.y = screen.y + screen.height - height;
  }
  return r;
}

void GtkToolTip::Present() {
  if (!m_area || !gtk_widget_get_window(m_area)) return;
  if (!m_window) {
    m_window = gtk_window_new(GTK_WINDOW_POPUP);
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_TOOLTIP);
    gtk_window_set_accept_focus(GTK_WINDOW(m_window), FALSE);
    gtk_widget_set_app_paintable(m_window, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(m_window);
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen); rgba && gdk_screen_is_composited(screen))
      gtk_widget_set_visual(m_window, rgba);
    g_signal_connect(m_window, "draw", G_CALLBACK(OnDraw), this);
    // No input at all: a click on the tip reaches what lies under it.
    cairo_region_t* none = cairo_region_create();
    gtk_widget_input_shape_combine_region(m_window, none);
    cairo_region_destroy(none);
  }
  PangoLayout* layout = NewLayout(m_window, m_tip.text);
  int tw = 0, th = 0;
  pango_layout_get_pixel_size(layout, &tw, &th);
  g_object_unref(layout);
  int ox = 0, oy = 0;
  gdk_window_get_origin(gtk_widget_get_window(m_area), &ox, &oy);
  auto toScreen = [ox, oy](HostRect r) {
    r.x += ox;
    r.y += oy;
    return r;
  };
  GdkRectangle work{0, 0, 1 << 15, 1 << 15};
  GdkDisplay* display = gtk_widget_get_display(m_area);
  if (GdkMonitor* monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(m_area)))
    gdk_monitor_get_workarea(monitor, &work);
  HostRect avoid = m_tip.avoid.width > 0 ? toScreen(m_tip.avoid) : HostRect{};
  HostRect at = Place(toScreen(m_tip.target), tw + 2 * kPadX, th + 2 * kPadY, avoid,
                      {work.x, work.y, work.width, work.height});
  gtk_window_resize(GTK_WINDOW(m_window), at.width, at.height);
  if (gtk_widget_get_visual(m_window) != gdk_screen_get_rgba_visual(gtk_widget_get_screen(m_window))) {
    // Without a compositor the window itself takes the rounded shape.
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A1, at.width, at.height);
    cairo_t* cr = cairo_create(mask);
    RoundRect(cr, 0, 0, at.width, at.height, m_tip.radius);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_region_t* shape = gdk_cairo_region_create_from_surface(mask);
    gtk_widget_shape_combine_region(m_window, shape);
    cairo_region_destroy(shape);
    cairo_surface_destroy(mask);
  }
  gtk_window_move(GTK_WINDOW(m_window), at.x, at.y);
  gtk_widget_show(m_window);
  gtk_widget_queue_draw(m_window);
}

gboolean GtkToolTip::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<GtkToolTip*>(data);
  const HostToolTip& tip = self->m_tip;
  int w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, 0, 0, 0, 0);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  RoundRect(cr, 0.5, 0.5, w - 1, h - 1, tip.radius);
  SetSource(cr, tip.background);
  cairo_fill_preserve(cr);
  SetSource(cr, tip.border);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  PangoLayout* layout = NewLayout(widget, tip.text);
  SetSource(cr, tip.textColor);
  cairo_move_to(cr, kPadX, kPadY);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  return TRUE;
}
