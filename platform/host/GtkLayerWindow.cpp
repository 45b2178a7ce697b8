// GTK layers: placement in the owner's top-level window and the input shape.
#include "platform/host/GtkLayerWindow.h"

#include "platform/host/GtkTopWindow.h"

GtkLayerWindow::GtkLayerWindow(HostWindowDelegate* delegate, GtkDrawnWindow& owner)
    : GtkDrawnWindow(delegate), m_top(&owner.Top()), m_ownerOffset(owner.OffsetInTop()) {
  m_top->AddLayerWidget(m_area);
  gtk_widget_set_no_show_all(m_area, TRUE);
}

GtkLayerWindow::~GtkLayerWindow() {
  ForgetFocusBefore();
  if (m_shapeSource) g_source_remove(m_shapeSource);
  DetachArea();
  if (GtkWidget* area = m_area) {
    m_top->ForgetLayerWidget(area);
    // Sunk first, so an area that never found its overlay is freed too.
    g_object_ref_sink(area);
    gtk_widget_destroy(area);
    g_object_unref(area);
  }
}

HostRect GtkLayerWindow::OffsetInTop() const {
  return {m_rect.x + m_ownerOffset.x, m_rect.y + m_ownerOffset.y, m_rect.width, m_rect.height};
}

void GtkLayerWindow::Show(bool show, bool activate) {
  if (!m_area) return;
  const bool hadFocus = gtk_widget_has_focus(m_area);
  if (show && activate && !hadFocus) {
    ForgetFocusBefore();
    if (GtkWidget* window = m_top->Window()) {
      m_focusBefore = gtk_window_get_focus(GTK_WINDOW(window));
      if (m_focusBefore) g_object_add_weak_pointer(G_OBJECT(m_focusBefore), reinterpret_cast<gpointer*>(&m_focusBefore));
    }
  }
  gtk_widget_set_visible(m_area, show);
  if (show && activate) gtk_widget_grab_focus(m_area);
  if (show) InputShapeChanged();
  // A dialog or manager layer that closes hands the keys back to where they were.
  if (!show && hadFocus && m_focusBefore && gtk_widget_is_visible(m_focusBefore)) gtk_widget_grab_focus(m_focusBefore);
  if (!show) ForgetFocusBefore();
}

void GtkLayerWindow::ForgetFocusBefore() {
  if (m_focusBefore) g_object_remove_weak_pointer(G_OBJECT(m_focusBefore), reinterpret_cast<gpointer*>(&m_focusBefore));
  m_focusBefore = nullptr;
}

bool GtkLayerWindow::IsVisible() const { return m_area && gtk_widget_get_visible(m_area); }

void GtkLayerWindow::SetScreenRect(const HostRect& rect) {
  const bool resized = rect.width != m_rect.width || rect.height != m_rect.height;
  const HostRect top = m_top->GetScreenRect();
  m_rect = {rect.x - top.x - m_ownerOffset.x, rect.y - top.y - m_ownerOffset.y, rect.width, rect.height};
  if (!m_area) return;
  m_top->PlaceLayerWidget(m_area, OffsetInTop());
  if (!resized) return;
  m_delegate->OnHostSize(rect.width, rect.height);
  InputShapeChanged();
}

HostRect GtkLayerWindow::GetScreenRect() const {
  const HostRect top = m_top->GetScreenRect();
  const HostRect inTop = OffsetInTop();
  return {top.x + inTop.x, top.y + inTop.y, m_rect.width, m_rect.height};
}

void GtkLayerWindow::Invalidate(const HostRect& rect) {
  GtkDrawnWindow::Invalidate(rect);
  InputShapeChanged();  // the toolkit invalidates exactly when the content changed
}

void GtkLayerWindow::Activate() {
  if (GtkWidget* window = m_top->Window()) gtk_window_present(GTK_WINDOW(window));
  if (m_area) gtk_widget_grab_focus(m_area);
}

void GtkLayerWindow::OnAreaDrawn() {
  if (m_shapeStale) InputShapeChanged();
}

void GtkLayerWindow::InputShapeChanged() {
  // Whatever the rendering for the shape invalidates (a layout on the way) is in it.
  if (m_rebuilding) return;
  m_shapeStale = true;
  if (m_shapeSource) return;
  m_shapeSource = g_idle_add(
      [](gpointer data) -> gboolean {
        auto* self = static_cast<GtkLayerWindow*>(data);
        self->m_shapeSource = 0;
        if (self->RebuildInputShape()) self->m_shapeStale = false;
        return G_SOURCE_REMOVE;
      },
      this);
}

bool GtkLayerWindow::RebuildInputShape() {
  GdkWindow* own = m_area ? gtk_widget_get_window(m_area) : nullptr;
  if (!own) return false;
  if (m_rect.width <= 0 || m_rect.height <= 0) return true;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_rect.width, m_rect.height);
  cairo_t* cr = cairo_create(s);
  m_rebuilding = true;
  m_delegate->OnHostPaint(cr, {0, 0, m_rect.width, m_rect.height});
  m_rebuilding = false;
  cairo_destroy(cr);
  cairo_region_t* region = gdk_cairo_region_create_from_surface(s);
  gtk_widget_input_shape_combine_region(m_area, region);
  // The overlay wraps each child in a window of its own; it must let the rest through too.
  GdkWindow* wrapper = gdk_window_get_parent(own);
  if (wrapper && wrapper != m_top->OverlayWindow())
    gdk_window_input_shape_combine_region(wrapper, region, 0, 0);
  cairo_region_destroy(region);
  cairo_surface_destroy(s);
  return true;
}
