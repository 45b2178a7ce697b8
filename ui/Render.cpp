// Cairo/Pango drawing of the toolkit.
#include "ui/Render.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <map>

#include "ui/ResourceStore.h"
#include "ui/UIText.h"

std::shared_ptr<TFontInfo> MakeFont(const std::wstring& name, int size, bool bold, bool underline,
                                    bool italic) {
  auto font = std::make_shared<TFontInfo>();
  font->name = ToUtf8(name);
  font->size = size > 0 ? size : 12;
  font->bold = bold;
  font->underline = underline;
  font->italic = italic;
  // The skins name Windows fonts; the CJK family keeps Chinese text in a Chinese face.
  std::string family = font->name.empty() ? std::string() : font->name + ",";
  family += "Noto Sans CJK SC,DejaVu Sans,sans-serif";
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, font->size * PANGO_SCALE);
  pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  font->desc.reset(desc, pango_font_description_free);
  PangoFontMetrics* metrics = pango_context_get_metrics(CRenderEngine::SharedPangoContext(), desc,
                                                        pango_language_from_string("zh-cn"));
  font->ascent = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics));
  font->height =
      PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  return font;
}

CTextLayout::~CTextLayout() { Reset(); }

void CTextLayout::Reset() {
  if (m_layout) g_object_unref(m_layout);
  m_layout = nullptr;
}

PangoLayout* CTextLayout::Get(const std::string& utf8, const TFontInfo* font, int width, UINT style) {
  if (m_layout && m_font == font && m_width == width && m_style == style && m_text == utf8) return m_layout;
  if (!m_layout) m_layout = pango_layout_new(CRenderEngine::SharedPangoContext());
  m_text = utf8;
  m_font = font;
  m_width = width;
  m_style = style;
  pango_layout_set_text(m_layout, utf8.data(), static_cast<int>(utf8.size()));
  pango_layout_set_font_description(m_layout, font ? font->desc.get() : nullptr);
  PangoAttrList* attrs = pango_attr_list_new();
  if (font && font->underline)
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  pango_layout_set_attributes(m_layout, attrs);
  pango_attr_list_unref(attrs);
  bool single = (style & DT_SINGLELINE) != 0;
  pango_layout_set_width(m_layout, width >= 0 ? width * PANGO_SCALE : -1);
  pango_layout_set_single_paragraph_mode(m_layout, single);
  pango_layout_set_wrap(m_layout, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_ellipsize(
      m_layout, (style & DT_END_ELLIPSIS) && width >= 0 ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
  if (single && width >= 0 && !(style & DT_END_ELLIPSIS)) pango_layout_set_width(m_layout, -1);
  PangoAlignment align = PANGO_ALIGN_LEFT;
  if (style & DT_CENTER)
    align = PANGO_ALIGN_CENTER;
  else if (style & DT_RIGHT)
    align = PANGO_ALIGN_RIGHT;
  pango_layout_set_alignment(m_layout, align);
  return m_layout;
}

namespace CRenderEngine {

PangoContext* SharedPangoContext() {
  static PangoContext* context = [] {
    PangoContext* ctx = pango_font_map_create_context(pango_cairo_font_map_get_default());
    pango_cairo_context_set_resolution(ctx, 96.0);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(ctx, options);
    cairo_font_options_destroy(options);
    pango_context_set_language(ctx, pango_language_from_string("zh-cn"));
    return ctx;
  }();
  return context;
}

void SetSourceColor(cairo_t* cr, DWORD c) {
  cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                        ((c >> 24) & 0xFF) / 255.0);
}

void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry) {
  rx = std::min(rx, w / 2);
  ry = std::min(ry, h / 2);
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_save(cr);
  cairo_translate(cr, x + w - rx, y + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, -M_PI / 2, 0);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + w - rx, y + h - ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, 0, M_PI / 2);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + rx, y + h - ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, M_PI / 2, M_PI);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_translate(cr, x + rx, y + ry);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, M_PI, 3 * M_PI / 2);
  cairo_restore(cr);
  cairo_close_path(cr);
}

void FillRect(cairo_t* cr, const CDuiRect& rc, DWORD color, int roundX, int roundY) {
  if (rc.IsEmpty() || (color >> 24) == 0) return;
  SetSourceColor(cr, color);
  RoundRectPath(cr, rc.left, rc.top, rc.GetWidth(), rc.GetHeight(), roundX / 2.0, roundY / 2.0);
  cairo_fill(cr);
}

void FillGradient(cairo_t* cr, const CDuiRect& rc, DWORD from, DWORD to, bool vertical, int roundX,
                  int roundY) {
  if (rc.IsEmpty()) return;
  cairo_pattern_t* p = vertical ? cairo_pattern_create_linear(0, rc.top, 0, rc.bottom)
                                : cairo_pattern_create_linear(rc.left, 0, rc.right, 0);
  auto stop = [p](double at, DWORD c) {
    cairo_pattern_add_color_stop_rgba(p, at, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                                      (c & 0xFF) / 255.0, ((c >> 24) & 0xFF) / 255.0);
  };
  stop(0, from);
  stop(1, to);
  cairo_set_source(cr, p);
  RoundRectPath(cr, rc.left, rc.top, rc.GetWidth(), rc.GetHeight(), roundX / 2.0, roundY / 2.0);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

void DrawBorder(cairo_t* cr, const CDuiRect& rc, int size, DWORD color, int roundX, int roundY) {
  if (size <= 0 || rc.IsEmpty() || (color >> 24) == 0) return;
  SetSourceColor(cr, color);
  double h = size / 2.0;
  RoundRectPath(cr, rc.left + h, rc.top + h, rc.GetWidth() - size, rc.GetHeight() - size, roundX / 2.0,
                roundY / 2.0);
  cairo_set_line_width(cr, size);
  cairo_stroke(cr);
}

void DrawLine(cairo_t* cr, int x1, int y1, int x2, int y2, int size, DWORD color) {
  SetSourceColor(cr, color);
  cairo_set_line_width(cr, size);
  double off = (size % 2) ? 0.5 : 0;
  cairo_move_to(cr, x1 + (x1 == x2 ? off : 0), y1 + (y1 == y2 ? off : 0));
  cairo_line_to(cr, x2 + (x1 == x2 ? off : 0), y2 + (y1 == y2 ? off : 0));
  cairo_stroke(cr);
}

namespace {

void DrawPart(cairo_t* cr, cairo_surface_t* s, double sx, double sy, double sw, double sh, double dx,
              double dy, double dw, double dh, double alpha) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, dx, dy, dw, dh);
  cairo_clip(cr);
  cairo_translate(cr, dx, dy);
  cairo_scale(cr, dw / sw, dh / sh);
  cairo_set_source_surface(cr, s, -sx, -sy);
  cairo_pattern_set_filter(cairo_get_source(cr),
                           (dw == sw && dh == sh) ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  if (alpha < 1.0)
    cairo_paint_with_alpha(cr, alpha);
  else
    cairo_paint(cr);
  cairo_restore(cr);
}

const TImageAttr* ParsedImage(const std::wstring& text) {
  static std::map<std::wstring, TImageAttr> cache;
  auto it = cache.find(text);
  if (it != cache.end()) return &it->second;
  TImageAttr attr;
  if (!ParseImage(text, attr)) attr.file.clear();
  if (cache.size() > 4096) cache.clear();
  return &cache.emplace(text, attr).first->second;
}

}  // namespace

bool DrawImageString(cairo_t* cr, const CDuiRect& rcControl, const std::wstring& image) {
  if (image.empty()) return false;
  const TImageAttr* attr = ParsedImage(image);
  if (attr->file.empty()) return false;
  return DrawImage(cr, rcControl, *attr);
}

bool DrawImage(cairo_t* cr, const CDuiRect& rcControl, const TImageAttr& attr) {
  auto image = CResourceStore::Get().GetImage(ToUtf8(attr.file));
  if (!image) return false;
  CDuiRect dest = rcControl;
  if (attr.hasDest) {
    dest = {rcControl.left + attr.dest.left, rcControl.top + attr.dest.top, rcControl.left + attr.dest.right,
            rcControl.top + attr.dest.bottom};
    if (dest.right > rcControl.right) dest.right = rcControl.right;
    if (dest.bottom > rcControl.bottom) dest.bottom = rcControl.bottom;
  }
  if (dest.IsEmpty()) return false;
  CDuiRect src{0, 0, image->Width(), image->Height()};
  if (attr.hasSource) src = attr.source.Intersect(src);
  double alpha = attr.fade / 255.0;
  cairo_surface_t* s = image->Surface();
  const CDuiRect& c = attr.corner;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    if (attr.xtiled || attr.ytiled) {
      cairo_save(cr);
      cairo_rectangle(cr, dest.left, dest.top, dest.GetWidth(), dest.GetHeight());
      cairo_clip(cr);
      int stepX = attr.xtiled ? src.GetWidth() : dest.GetWidth();
      int stepY = attr.ytiled ? src.GetHeight() : dest.GetHeight();
      for (int y = dest.top; y < dest.bottom; y += std::max(1, stepY))
        for (int x = dest.left; x < dest.right; x += std::max(1, stepX))
          DrawPart(cr, s, src.left, src.top, src.GetWidth(), src.GetHeight(), x, y,
                   attr.xtiled ? src.GetWidth() : dest.GetWidth(),
                   attr.ytiled ? src.GetHeight() : dest.GetHeight(), alpha);
      cairo_restore(cr);
      return true;
    }
    DrawPart(cr, s, src.left, src.top, src.GetWidth(), src.GetHeight(), dest.left, dest.top, dest.GetWidth(),
             dest.GetHeight(), alpha);
    return true;
  }
  // Nine slices: corners keep their size, edges stretch one way, the middle both.
  double sx[4] = {double(src.left), double(src.left + c.left), double(src.right - c.right),
                  double(src.right)};
  double sy[4] = {double(src.top), double(src.top + c.top), double(src.bottom - c.bottom),
                  double(src.bottom)};
  double dx[4] = {double(dest.left), double(dest.left + c.left), double(dest.right - c.right),
                  double(dest.right)};
  double dy[4] = {double(dest.top), double(dest.top + c.top), double(dest.bottom - c.bottom),
                  double(dest.bottom)};
  for (int j = 0; j < 3; ++j)
    for (int i = 0; i < 3; ++i) {
      if (attr.hole && i == 1 && j == 1) continue;
      DrawPart(cr, s, sx[i], sy[j], sx[i + 1] - sx[i], sy[j + 1] - sy[j], dx[i], dy[j], dx[i + 1] - dx[i],
               dy[j + 1] - dy[j], alpha);
    }
  return true;
}

void DrawText(cairo_t* cr, CTextLayout& cache, const CDuiRect& rc, const std::wstring& text, DWORD color,
              const TFontInfo* font, UINT style) {
  if (text.empty() || rc.IsEmpty()) return;
  PangoLayout* layout = cache.Get(ToUtf8(text), font, rc.GetWidth(), style);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  double y = rc.top;
  if (style & DT_VCENTER)
    y = rc.top + (rc.GetHeight() - logical.height) / 2.0;
  else if (style & DT_BOTTOM)
    y = rc.bottom - logical.height;
  double x = rc.left;
  if (pango_layout_get_width(layout) < 0) {  // unconstrained single line: place it ourselves
    if (style & DT_CENTER)
      x = rc.left + (rc.GetWidth() - logical.width) / 2.0;
    else if (style & DT_RIGHT)
      x = rc.right - logical.width;
    x -= logical.x;
  }
  cairo_save(cr);
  cairo_rectangle(cr, rc.left, rc.top, rc.GetWidth(), rc.GetHeight());
  cairo_clip(cr);
  SetSourceColor(cr, color);
  cairo_move_to(cr, std::round(x), std::round(y));
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
}

CDuiSize MeasureText(const std::wstring& text, const TFontInfo* font, int width, UINT style) {
  CTextLayout cache;
  PangoLayout* layout = cache.Get(ToUtf8(text), font, width, style & ~DT_END_ELLIPSIS);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  return {logical.width, logical.height};
}

}  // namespace CRenderEngine
