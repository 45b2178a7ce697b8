// Figures of a layer on the GTK host (needs a display, e.g. xvfb-run): how often and how
// long a 480 x 320 layer with text paints when its owner redraws beneath it, and when the
// layer's own content changes. The paint counts include the renderings made to find the
// layer's input shape.
#include "LayerBench.h"

#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/GtkHost.h"

namespace {

using Clock = std::chrono::steady_clock;

// Paints like a small toolkit window: a rounded panel and a column of text lines.
class PanelDelegate : public HostWindowDelegate {
 public:
  explicit PanelDelegate(bool transparentCorners) : m_corners(transparentCorners) {}
  void OnHostPaint(cairo_t* cr, const HostRect&) override {
    auto start = Clock::now();
    ++paints;
    // The window draws into the display's surface; the input shape is found on an image.
    if (cairo_surface_get_type(cairo_get_target(cr)) == CAIRO_SURFACE_TYPE_IMAGE) ++imagePaints;
    if (m_corners) {
      // Over what lies below, like the toolkit: the corners stay transparent.
      cairo_new_sub_path(cr);
      const double r = 12, w = 480, h = 320;
      cairo_arc(cr, w - r, r, r, -G_PI / 2, 0);
      cairo_arc(cr, w - r, h - r, r, 0, G_PI / 2);
      cairo_arc(cr, r, h - r, r, G_PI / 2, G_PI);
      cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, 1, 1, 1);
      cairo_fill(cr);
    } else {
      cairo_set_source_rgb(cr, 0.96, 0.965, 0.97);
      cairo_paint(cr);
    }
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans 10");
    pango_layout_set_font_description(layout, font);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    for (int line = 0; line < 14; ++line) {
      std::string text = "第" + std::to_string(line + 1) + "课 函数、极限与连续的基本概念和典型例题精讲";
      pango_layout_set_text(layout, text.c_str(), -1);
      cairo_move_to(cr, 20, 12 + line * 21);
      pango_cairo_show_layout(cr, layout);
    }
    pango_font_description_free(font);
    g_object_unref(layout);
    paintMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  void OnHostSize(int, int) override {}
  void OnHostMouse(const HostMouseEvent&) override {}
  bool OnHostKey(const HostKeyEvent&) override { return false; }
  void OnHostText(const std::string&) override {}
  void OnHostPreedit(const std::string&, int) override {}
  void OnHostFocus(bool) override {}
  void OnHostCloseRequest() override {}

  int paints = 0;
  int imagePaints = 0;
  double paintMs = 0;

 private:
  bool m_corners;
};

// Runs the main loop until `done` holds and nothing is pending any more; false at the
// deadline.
bool RunUntilIdle(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  while (Clock::now() < deadline) {
    if (gtk_events_pending()) {
      gtk_main_iteration_do(FALSE);
    } else if (done()) {
      return true;
    } else {
      g_usleep(500);
    }
  }
  return false;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct CycleFigures {
  double paintsPerCycle = 0;
  double imagePaintsPerCycle = 0;
  double paintMsPerCycle = 0;
};

// Repeats `trigger` and measures the layer's paints per repetition.
CycleFigures Measure(PanelDelegate& layer, const std::function<void()>& trigger,
                     const std::function<bool()>& drawn) {
  constexpr int kCycles = 60;
  std::vector<double> counts, imageCounts, times;
  for (int i = 0; i < kCycles; ++i) {
    const int paints = layer.paints;
    const int imagePaints = layer.imagePaints;
    const double ms = layer.paintMs;
    trigger();
    if (!RunUntilIdle(drawn)) break;
    counts.push_back(layer.paints - paints);
    imageCounts.push_back(layer.imagePaints - imagePaints);
    times.push_back(layer.paintMs - ms);
  }
  return {Median(counts), Median(imageCounts), Median(times)};
}

}  // namespace

void RunLayerBench() {
  if (!GtkHost::Init()) {
    std::printf("layer bench: no display (run under xvfb-run)\n");
    return;
  }
  GtkHost host;
  PanelDelegate ownerPaint(false);
  PanelDelegate layerPaint(true);
  auto owner = host.CreateHostWindow(&ownerPaint, nullptr, HostKind::TopLevel);
  owner->SetScreenRect({40, 40, 1366, 768});
  owner->Show(true, true);
  auto layer = host.CreateHostWindow(&layerPaint, owner.get(), HostKind::Layer);
  layer->SetScreenRect({40 + 400, 40 + 200, 480, 320});
  layer->Show(true, false);
  if (!RunUntilIdle([&] { return layerPaint.paints > 0 && ownerPaint.paints > 0; })) {
    std::printf("layer bench: the windows were never drawn\n");
    return;
  }

  // A cycle ends once the window in question was drawn on the display and nothing else
  // is pending (an input shape rendering included).
  auto drawnOnDisplay = [](PanelDelegate& d) {
    return [&d, seen = d.paints - d.imagePaints]() mutable {
      if (d.paints - d.imagePaints == seen) return false;
      seen = d.paints - d.imagePaints;
      return true;
    };
  };
  CycleFigures beneath = Measure(
      layerPaint,
      [&] {
        owner->Invalidate({0, 0, 0, 0});
      },
      drawnOnDisplay(ownerPaint));
  CycleFigures content = Measure(
      layerPaint,
      [&] {
        layer->Invalidate({0, 0, 0, 0});
      },
      drawnOnDisplay(layerPaint));

  std::printf("layer bench (480 x 320 layer with text over a 1366 x 768 window, medians):\n");
  std::printf("  owner redraw beneath the layer: %4.1f layer paints (%3.1f for its input shape), %6.2f ms\n",
              beneath.paintsPerCycle, beneath.imagePaintsPerCycle, beneath.paintMsPerCycle);
  std::printf("  layer content changed:          %4.1f layer paints (%3.1f for its input shape), %6.2f ms\n",
              content.paintsPerCycle, content.imagePaintsPerCycle, content.paintMsPerCycle);
  layer.reset();
  owner.reset();
  RunUntilIdle([] { return true; });
}
