// Drawing primitives of the toolkit on Cairo and Pango: colours, rounded rectangles,
// borders, pictures with dest/source/corner, and text laid out with cached Pango layouts.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <memory>
#include <string>

#include "ui/AttrParse.h"
#include "ui/UIDefs.h"

class CPaintManagerUI;

// A font of the window's font table.
struct TFontInfo {
  std::string name;
  int size = 12;  // pixels
  bool bold = false;
  bool underline = false;
  bool italic = false;
  std::shared_ptr<PangoFontDescription> desc;
  int ascent = 0;
  int height = 0;
};
std::shared_ptr<TFontInfo> MakeFont(const std::wstring& name, int size, bool bold, bool underline,
                                    bool italic);

// A Pango layout kept between paints while text, font, width and style stay the same.
class CTextLayout {
 public:
  CTextLayout() = default;
  ~CTextLayout();
  CTextLayout(const CTextLayout&) = delete;
  CTextLayout& operator=(const CTextLayout&) = delete;
  PangoLayout* Get(const std::string& utf8, const TFontInfo* font, int width, UINT style);
  void Reset();

 private:
  PangoLayout* m_layout = nullptr;
  std::string m_text;
  const TFontInfo* m_font = nullptr;
  int m_width = -1;
  UINT m_style = 0;
};

namespace CRenderEngine {
PangoContext* SharedPangoContext();
void SetSourceColor(cairo_t* cr, DWORD color);
void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry);
void FillRect(cairo_t* cr, const CDuiRect& rc, DWORD color, int roundX = 0, int roundY = 0);
void FillGradient(cairo_t* cr, const CDuiRect& rc, DWORD from, DWORD to, bool vertical, int roundX = 0,
                  int roundY = 0);
void DrawBorder(cairo_t* cr, const CDuiRect& rc, int size, DWORD color, int roundX = 0, int roundY = 0);
void DrawLine(cairo_t* cr, int x1, int y1, int x2, int y2, int size, DWORD color);
// Draws an image attribute text over the control rectangle; false when it cannot.
bool DrawImageString(cairo_t* cr, const CDuiRect& rcControl, const std::wstring& image);
bool DrawImage(cairo_t* cr, const CDuiRect& rcControl, const TImageAttr& attr);
// Draws text in the rectangle with DT_* placement; the layout is cached in `cache`.
void DrawText(cairo_t* cr, CTextLayout& cache, const CDuiRect& rc, const std::wstring& text, DWORD color,
              const TFontInfo* font, UINT style);
// Pixel size of the text in that font; width < 0 means no wrapping.
CDuiSize MeasureText(const std::wstring& text, const TFontInfo* font, int width, UINT style);
}  // namespace CRenderEngine
