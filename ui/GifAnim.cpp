// CGifAnimUI on gdk-pixbuf animations; time advances by the frame delays themselves so
// the animation runs the same on the test host and on screen.
#include "ui/GifAnim.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

// gdk-pixbuf's animation iterator still takes the deprecated GTimeVal.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "app/Log.h"
#include "ui/AttrParse.h"
#include "ui/PaintManager.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"

namespace {
constexpr UINT kFrameTimer = 30;

cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
  int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
  int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  unsigned char* dst = cairo_image_surface_get_data(s);
  int dstride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(dst + y * dstride);
    const guchar* p = src + y * stride;
    for (int x = 0; x < w; ++x, p += channels) {
      uint32_t a = channels == 4 ? p[3] : 255;
      row[x] = (a << 24) | ((p[0] * a / 255) << 16) | ((p[1] * a / 255) << 8) | (p[2] * a / 255);
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}
}  // namespace

CGifAnimUI::CGifAnimUI() = default;

CGifAnimUI::~CGifAnimUI() { ReleaseAnimation(); }

void* CGifAnimUI::GetInterface(std::wstring_view name) {
  if (name == L"GifAnim") return this;
  return CControlUI::GetInterface(name);
}

void CGifAnimUI::ReleaseAnimation() {
  if (m_frame) cairo_surface_destroy(m_frame);
  if (m_iter) g_object_unref(m_iter);
  if (m_animation) g_object_unref(m_animation);
  m_frame = nullptr;
  m_iter = nullptr;
  m_animation = nullptr;
  m_nFrames = 0;
}

bool CGifAnimUI::LoadGif(const std::wstring& file) {
  StopGif();
  ReleaseAnimation();
  m_sFile = file;
  std::string bytes;
  if (!CResourceStore::Get().ReadFile(ToUtf8(file), bytes)) {
    LogError(L"gif missing: " + file);
    return false;
  }
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  bool ok =
      gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
  ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
  GdkPixbufAnimation* anim = ok ? gdk_pixbuf_loader_get_animation(loader) : nullptr;
  if (anim) m_animation = GDK_PIXBUF_ANIMATION(g_object_ref(anim));
  g_object_unref(loader);
  if (!m_animation) {
    LogError(L"gif unreadable: " + file);
    return false;
  }
  GTimeVal start{0, 0};
  m_iter = gdk_pixbuf_animation_get_iter(m_animation, &start);
  m_elapsedMs = 0;
  m_frame = SurfaceFromPixbuf(gdk_pixbuf_animation_iter_get_pixbuf(m_iter));
  m_nFrames = gdk_pixbuf_animation_is_static_image(m_animation) ? 1 : 2;
  Invalidate();
  if (m_bAutoPlay && IsVisible()) PlayGif();
  return true;
}

void CGifAnimUI::ScheduleNext() {
  if (!m_iter || !m_pManager) return;
  int delay = gdk_pixbuf_animation_iter_get_delay_time(m_iter);
  if (delay < 0) {  // a still picture or the last frame of a finite animation
    m_bPlaying = false;
    return;
  }
  m_pManager->SetTimer(this, kFrameTimer, static_cast<UINT>(std::max(delay, 20)));
}

void CGifAnimUI::PlayGif() {
  if (!m_animation || m_bPlaying) return;
  m_bPlaying = true;
  ScheduleNext();
}

void CGifAnimUI::PauseGif() {
  m_bPlaying = false;
  if (m_pManager) m_pManager->KillTimer(this, kFrameTimer);
}

void CGifAnimUI::StopGif() {
  PauseGif();
  if (m_animation && m_iter) {
    g_object_unref(m_iter);
    GTimeVal start{0, 0};
    m_iter = gdk_pixbuf_animation_get_iter(m_animation, &start);
    m_elapsedMs = 0;
  }
}

void CGifAnimUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  if (!visible)
    PauseGif();
  else if (m_bAutoPlay)
    PlayGif();
}

void CGifAnimUI::DoInit() {
  if (m_animation && m_bAutoPlay && IsVisible()) PlayGif();
}

void CGifAnimUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::Timer && event.wParam == kFrameTimer) {
    if (!m_iter) return;
    m_elapsedMs += std::max(gdk_pixbuf_animation_iter_get_delay_time(m_iter), 20);
    GTimeVal now{static_cast<glong>(m_elapsedMs / 1000), static_cast<glong>((m_elapsedMs % 1000) * 1000)};
    gdk_pixbuf_animation_iter_advance(m_iter, &now);
    if (m_frame) cairo_surface_destroy(m_frame);
    m_frame = SurfaceFromPixbuf(gdk_pixbuf_animation_iter_get_pixbuf(m_iter));
    Invalidate();
    if (m_bPlaying) ScheduleNext();
    return;
  }
  CControlUI::DoEvent(event);
}

bool CGifAnimUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool b = false;
  if (name == L"bkimage" || name == L"gif" || name == L"file") {
    TImageAttr img;
    if (!ParseImage(value, img)) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    return LoadGif(img.file);
  }
  if (name == L"autoplay" || name == L"autosize") {
    if (!ParseBool(value, b)) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    if (name == L"autoplay") m_bAutoPlay = b;
    return true;
  }
  return CControlUI::SetAttribute(name, value);
}

void CGifAnimUI::PaintBkImage(cairo_t* cr) {
  if (!m_frame) return;
  int w = cairo_image_surface_get_width(m_frame), h = cairo_image_surface_get_height(m_frame);
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, m_rcItem.left, m_rcItem.top, m_rcItem.GetWidth(), m_rcItem.GetHeight());
  cairo_clip(cr);
  cairo_translate(cr, m_rcItem.left, m_rcItem.top);
  cairo_scale(cr, double(m_rcItem.GetWidth()) / w, double(m_rcItem.GetHeight()) / h);
  cairo_set_source_surface(cr, m_frame, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}
