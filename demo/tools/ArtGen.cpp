// Build-time generator of the demo school's lecture PDFs and pictures (avatars, covers),
// drawn with cairo and pango from the entries of the sample media list (media.json).
//
//   tavo-demo-artgen pdf <media.json> <file name> <output path>
//   tavo-demo-artgen png <media.json> <file name> <output path>

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct LayoutDeleter {
    void operator()(PangoLayout* l) const { g_object_unref(l); }
};
struct FontDeleter {
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Cairo = std::unique_ptr<cairo_t, CairoDeleter>;
using Layout = std::unique_ptr<PangoLayout, LayoutDeleter>;
using Font = std::unique_ptr<PangoFontDescription, FontDeleter>;

const rapidjson::Value* FindEntry(const rapidjson::Document& doc, const char* list,
                                  const std::string& file) {
    if (!doc.IsObject() || !doc.HasMember(list) || !doc[list].IsArray()) return nullptr;
    for (const auto& item : doc[list].GetArray()) {
        if (item.IsObject() && item.HasMember("file") && item["file"].IsString() &&
            file == item["file"].GetString())
            return &item;
    }
    return nullptr;
}

bool WellFormed(const rapidjson::Value& e, bool pdf) {
    if (pdf) return e.HasMember("title") && e["title"].IsString() && e.HasMember("pages") && e["pages"].IsArray();
    return e.HasMember("width") && e["width"].IsInt() && e["width"].GetInt() > 0 && e["width"].GetInt() < 4096 &&
           e.HasMember("height") && e["height"].IsInt() && e["height"].GetInt() > 0 && e["height"].GetInt() < 4096 &&
           e.HasMember("color") && e["color"].IsString() && e.HasMember("text") && e["text"].IsString();
}

// Draws one line of text at (x, y) and returns its height in points.
double DrawText(cairo_t* cr, const char* family, double size, bool bold, const std::string& text,
                double x, double y, double width) {
    Layout layout(pango_cairo_create_layout(cr));
    Font font(pango_font_description_new());
    pango_font_description_set_family(font.get(), family);
    pango_font_description_set_absolute_size(font.get(), size * PANGO_SCALE);
    pango_font_description_set_weight(font.get(), bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout.get());
    int w = 0, h = 0;
    pango_layout_get_size(layout.get(), &w, &h);
    return static_cast<double>(h) / PANGO_SCALE;
}

bool MakePdf(const rapidjson::Value& entry, const std::string& out) {
    constexpr double kWidth = 595, kHeight = 842, kMargin = 64;
    Surface surface(cairo_pdf_surface_create(out.c_str(), kWidth, kHeight));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    Cairo cr(cairo_create(surface.get()));
    const std::string title = entry["title"].GetString();
    const auto& pages = entry["pages"];
    int number = 0;
    for (const auto& page : pages.GetArray()) {
        if (!page.IsArray()) continue;
        ++number;
        cairo_set_source_rgb(cr.get(), 0.16, 0.42, 0.80);
        cairo_rectangle(cr.get(), 0, 0, kWidth, 8);
        cairo_fill(cr.get());
        cairo_set_source_rgb(cr.get(), 0.1, 0.1, 0.1);
        double y = kMargin;
        y += DrawText(cr.get(), "Noto Sans CJK SC", 22, true, title, kMargin, y, kWidth - 2 * kMargin) + 24;
        for (const auto& line : page.GetArray()) {
            if (!line.IsString()) continue;
            y += DrawText(cr.get(), "Noto Sans CJK SC", 13, false, line.GetString(), kMargin, y,
                          kWidth - 2 * kMargin) + 12;
        }
        cairo_set_source_rgb(cr.get(), 0.5, 0.5, 0.5);
        DrawText(cr.get(), "Noto Sans CJK SC", 10, false,
                 "Tavo 演示学校 · 第 " + std::to_string(number) + " 页", kMargin, kHeight - 48, 300);
        cairo_show_page(cr.get());
    }
    cr.reset();
    cairo_surface_finish(surface.get());
    return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS;
}

bool MakePng(const rapidjson::Value& entry, const std::string& out) {
    const int width = entry["width"].GetInt(), height = entry["height"].GetInt();
    unsigned colour = 0x888888;
    std::sscanf(entry["color"].GetString(), "#%x", &colour);
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    Cairo cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         (colour & 0xFF) / 255.0);
    cairo_paint(cr.get());
    const std::string text = entry["text"].GetString();
    const double size = height * (width == height ? 0.5 : 0.22);
    Layout layout(pango_cairo_create_layout(cr.get()));
    Font font(pango_font_description_new());
    pango_font_description_set_family(font.get(), "Noto Sans CJK SC");
    pango_font_description_set_absolute_size(font.get(), size * PANGO_SCALE);
    pango_font_description_set_weight(font.get(), PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout.get(), font.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_move_to(cr.get(), (width - w) / 2.0, (height - h) / 2.0);
    pango_cairo_show_layout(cr.get(), layout.get());
    cairo_surface_flush(surface.get());
    return cairo_surface_write_to_png(surface.get(), out.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: tavo-demo-artgen pdf|png <media.json> <file name> <output>\n";
        return 2;
    }
    const std::string kind = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    rapidjson::Document doc;
    if (doc.Parse(text.str().c_str()).HasParseError()) {
        std::cerr << "tavo-demo-artgen: cannot parse " << argv[2] << "\n";
        return 1;
    }
    const rapidjson::Value* entry = FindEntry(doc, kind == "pdf" ? "docs" : "pictures", argv[3]);
    if (!entry || !WellFormed(*entry, kind == "pdf")) {
        std::cerr << "tavo-demo-artgen: no well-formed entry " << argv[3] << "\n";
        return 1;
    }
    const bool ok = kind == "pdf" ? MakePdf(*entry, argv[4]) : MakePng(*entry, argv[4]);
    if (!ok) {
        std::cerr << "tavo-demo-artgen: cannot write " << argv[4] << "\n";
        std::remove(argv[4]);
        return 1;
    }
    return 0;
}
