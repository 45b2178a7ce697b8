// The gallery skin against its reference picture (regenerate with
// `cmake --build build --target ui-gallery-reference` after a deliberate change of look).
#include <cairo.h>

#include "UiTestSupport.h"

namespace {
// Share of pixels whose channels differ by more than `tolerance`.
double DifferentShare(cairo_surface_t* a, cairo_surface_t* b, int tolerance) {
  int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
  if (w != cairo_image_surface_get_width(b) || h != cairo_image_surface_get_height(b)) return 1.0;
  long differing = 0;
  for (int y = 0; y < h; ++y) {
    auto* ra =
        reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(a) + y * cairo_image_surface_get_stride(a));
    auto* rb =
        reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(b) + y * cairo_image_surface_get_stride(b));
    for (int x = 0; x < w; ++x) {
      for (int shift = 0; shift < 32; shift += 8) {
        int ca = (ra[x] >> shift) & 0xFF, cb = (rb[x] >> shift) & 0xFF;
        if (std::abs(ca - cb) > tolerance) {
          ++differing;
          break;
        }
      }
    }
  }
  return double(differing) / (double(w) * h);
}
}  // namespace

TEST_F(UiTest, GalleryMatchesItsReferencePicture) {
  std::filesystem::path gallery = std::filesystem::path(TAVO_SOURCE_DIR) / "tests/ui/gallery";
  CResourceStore::Get().SetFolder(gallery.string());
  RecordingWnd wnd(L"gallery.xml");
  wnd.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
  wnd.ShowWindow(true);
  EXPECT_TRUE(problems.empty()) << problems.front();
  cairo_surface_t* actual = wnd.Host()->Snapshot();
  cairo_surface_t* reference = cairo_image_surface_create_from_png((gallery / "gallery.png").c_str());
  ASSERT_EQ(cairo_surface_status(reference), CAIRO_STATUS_SUCCESS);
  double share = DifferentShare(actual, reference, 24);
  if (share > 0.005) {
    std::string out = std::string(TAVO_BINARY_DIR) + "/gallery-actual.png";
    cairo_surface_write_to_png(actual, out.c_str());
    ADD_FAILURE() << share * 100 << "% of the pixels differ; this rendering is in " << out;
  }
  cairo_surface_destroy(actual);
  cairo_surface_destroy(reference);
}
