#include "account/HeadUI.h"

#include <cairo.h>

#include <cmath>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Folders.h"
#include "app/TextConv.h"
#include "ui/ResourceStore.h"

namespace {
bool PathExists(const std::wstring& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return std::filesystem::exists(WideToAnsi(path), ec);
}

// The picture named by `path`: a file on disk, else a picture of the skin.
std::shared_ptr<CImageUI> LoadPicture(const std::wstring& path) {
  std::string native = WideToAnsi(path);
  std::error_code ec;
  if (!native.empty() && std::filesystem::is_regular_file(native, ec)) {
    std::ifstream in(native, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return CResourceStore::DecodeImage(bytes.str());
  }
  std::string data;
  if (!native.empty() && CResourceStore::Get().ReadFile(native, data)) return CResourceStore::DecodeImage(data);
  return nullptr;
}

// The colour under device pixel (x, y) of the surface being painted, made opaque; false
// when the target is not an image surface or the point lies outside it.
bool ReadTargetPixel(cairo_t* cr, double x, double y, DWORD& argb) {
  cairo_surface_t* target = cairo_get_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32)
    return false;
  cairo_user_to_device(cr, &x, &y);
  double sx = 0, sy = 0;
  cairo_surface_get_device_offset(target, &sx, &sy);
  int px = static_cast<int>(std::floor(x - sx));
  int py = static_cast<int>(std::floor(y - sy));
  if (px < 0 || py < 0 || px >= cairo_image_surface_get_width(target) || py >= cairo_image_surface_get_height(target))
    return false;
  cairo_surface_flush(target);
  const unsigned char* row = cairo_image_surface_get_data(target) + py * cairo_image_surface_get_stride(target);
  uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[px];
  uint32_t a = pixel >> 24;
  auto channel = [&](int shift) -> uint32_t {
    uint32_t c = (pixel >> shift) & 0xFF;
    return a == 0 ? 0 : std::min<uint32_t>(255, (c * 255 + a / 2) / a);  // undo premultiplication
  };
  argb = 0xFF000000u | (channel(16) << 16) | (channel(8) << 8) | channel(0);
  return true;
}

void SetSourceArgb(cairo_t* cr, DWORD c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                        ((c >> 24) & 0xFF) / 255.0);
}

// An ellipse path inscribed in the box (x, y, w, h).
void EllipsePath(cairo_t* cr, double x, double y, double w, double h) {
  if (w <= 0 || h <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, x + w / 2, y + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}
}  // namespace

void* CHeadUI::GetInterface(std::wstring_view name) {
  if (name == L"HeadIcon") return this;
  return CButtonUI::GetInterface(name);
}

bool CHeadUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"defaultbkimage") {
    m_defaultImage = std::wstring(value);
  } else if (name == L"bkimage") {
    SetHeadImage(std::wstring(value));
  } else if (name == L"pencolor") {
    size_t i = 0;
    while (i < value.size() && static_cast<unsigned>(value[i]) <= 32) ++i;
    if (i < value.size() && value[i] == L'#') ++i;
    std::wstring hex(value.substr(i));
    m_penColor = static_cast<DWORD>(std::wcstoul(hex.c_str(), nullptr, 16));
  } else if (name == L"autopencolor") {
    m_autoPenColor = value == L"true";
  } else if (name == L"penwidth") {
    std::wstring text(value);
    m_penWidth = static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
  } else {
    return CButtonUI::SetAttribute(name, value);
  }
  return true;
}

void CHeadUI::SetHeadImage(const std::wstring& path) {
  std::wstring image = path;
  if (!PathExists(path)) {
    std::wstring underProgram = GetExeFolder() + path;
    if (!path.empty() && PathExists(underProgram)) image = underProgram;
  }
  m_sBkImage = image;
  m_picture.reset();
  m_pictureLoaded = false;
  Invalidate();
}

void CHeadUI::PaintBkImage(cairo_t* cr) {
  double left = m_rcItem.left;
  double top = m_rcItem.top;
  double width = m_rcItem.GetWidth();
  double height = m_rcItem.GetHeight();
  if (width <= 0 || height <= 0 || m_sBkImage.empty()) return;
  if (!m_pictureLoaded) {
    m_picture = LoadPicture(m_sBkImage);
    m_pictureLoaded = true;
  }
  if (!m_picture) return;

  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
  EllipsePath(cr, left, top, width, height);
  cairo_clip(cr);
  cairo_translate(cr, left, top);
  cairo_scale(cr, width / m_picture->Width(), height / m_picture->Height());
  cairo_set_source_surface(cr, m_picture->Surface(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);

  DWORD colour = m_penColor;
  if (m_autoPenColor) ReadTargetPixel(cr, left + 1, top + 1, colour);
  if (m_penWidth <= 0) return;
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
  // Pixel centres lie on half coordinates: the ring's box (left, top, width - 1, height)
  // is shifted by half a pixel so a one-pixel pen covers whole pixels.
  EllipsePath(cr, left + 0.5, top + 0.5, width - 1, height - 1);
  cairo_set_line_width(cr, m_penWidth);
  SetSourceArgb(cr, colour);
  cairo_stroke(cr);
  cairo_restore(cr);
}
