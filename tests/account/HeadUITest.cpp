// The round avatar control: its attributes, where SetHeadImage looks for the picture, and
// the painted circle and ring, read back pixel by pixel.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "account/HeadUI.h"
#include "app/Folders.h"
#include "app/TextConv.h"
#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

namespace {

class HeadWnd : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"headWndClass"; }
  std::wstring GetSkinFile() override { return L"head.xml"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override {
    if (tag == L"HeadIcon") return std::make_unique<CHeadUI>();
    return nullptr;
  }
  TestHostWindow* Host() const { return static_cast<TestHostWindow*>(m_host.get()); }
};

class HeadUITest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    SetHost(std::make_unique<TestHost>());
    m_dir = std::filesystem::temp_directory_path() / ("tavo-head-" + std::to_string(::getpid()));
    std::filesystem::create_directories(m_dir);
    CResourceStore::Get().SetFolder(m_dir.string());
  }
  void TearDown() override {
    if (m_wnd) m_wnd->DestroyWindow();
    m_wnd.reset();
    ShutdownMessageCore();
    std::filesystem::remove_all(m_dir);
  }

  // A 60 x 60 window of background `bk` with the avatar at (10, 10), 40 x 40.
  CHeadUI* MakeWindow(const std::string& bk, const std::string& headAttributes) {
    std::ofstream(m_dir / "head.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?><Window size=\"60,60\"><VerticalLayout bkcolor=\"" << bk
        << "\"><HeadIcon name=\"head\" float=\"true\" pos=\"10,10,50,50\" " << headAttributes
        << "/></VerticalLayout></Window>";
    m_wnd = std::make_unique<HeadWnd>();
    m_wnd->Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    m_wnd->ShowWindow(true);
    m_wnd->GetPaintManager().DoLayout();
    return m_wnd->FindControlAs<CHeadUI>(L"head");
  }
  // A plain picture of one colour, 8 x 8.
  std::string SolidPng(const char* name, double r, double g, double b) {
    std::string path = (m_dir / name).string();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path;
  }
  struct Pixel {
    int r, g, b;
  };
  Pixel At(int x, int y) {
    cairo_surface_t* s = m_wnd->Host()->Snapshot();
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    cairo_surface_destroy(s);
    return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
  }

  std::filesystem::path m_dir;
  std::unique_ptr<HeadWnd> m_wnd;
};

TEST_F(HeadUITest, AttributesAndDefaults) {
  CHeadUI head;
  EXPECT_EQ(head.GetClass(), L"HeadIconUI");
  EXPECT_EQ(head.GetInterface(L"HeadIcon"), &head);
  EXPECT_NE(head.GetInterface(L"Button"), nullptr);
  EXPECT_EQ(head.GetDefaultImage(), L"Head\\100_1.png");
  EXPECT_FALSE(head.GetAutoPenColor());
  EXPECT_EQ(head.GetPenColor(), 0xFFE6E6E6u);
  EXPECT_EQ(head.GetPenWidth(), 1);

  struct Case {
    const wchar_t* value;
    DWORD colour;
  };
  const Case colours[] = {
      {L"  #80FF0000", 0x80FF0000}, {L"#FF000000", 0xFF000000}, {L"FF00FF00", 0xFF00FF00},
      {L"\t#ff123456", 0xFF123456}, {L"#zz", 0},
  };
  for (const Case& c : colours) {
    head.SetAttribute(L"pencolor", c.value);
    EXPECT_EQ(head.GetPenColor(), c.colour) << ToUtf8(c.value);
  }
  head.SetAttribute(L"autopencolor", L"true");
  EXPECT_TRUE(head.GetAutoPenColor());
  head.SetAttribute(L"autopencolor", L"TRUE");
  EXPECT_FALSE(head.GetAutoPenColor());
  head.SetAttribute(L"penwidth", L"3");
  EXPECT_EQ(head.GetPenWidth(), 3);
  head.SetAttribute(L"defaultbkimage", L"a.png");
  EXPECT_EQ(head.GetDefaultImage(), L"a.png");
  // Everything else is the button's.
  EXPECT_TRUE(head.SetAttribute(L"tooltip", L"我的"));
  EXPECT_EQ(head.GetToolTip(), L"我的");
}

TEST_F(HeadUITest, HeadImagePathResolution) {
  CHeadUI head;
  std::string absolute = SolidPng("a.png", 1, 0, 0);
  head.SetHeadImage(AnsiToWide(absolute));
  EXPECT_EQ(head.GetBkImage(), AnsiToWide(absolute));

  // A relative path found only under the program's folder becomes the full path.
  std::wstring name = L"head-test-" + std::to_wstring(::getpid()) + L".png";
  std::filesystem::path underProgram = WideToAnsi(GetExeFolder() + name);
  std::filesystem::copy_file(absolute, underProgram, std::filesystem::copy_options::overwrite_existing);
  head.SetHeadImage(name);
  EXPECT_EQ(head.GetBkImage(), GetExeFolder() + name);
  std::filesystem::remove(underProgram);

  head.SetHeadImage(L"nowhere/at/all.png");
  EXPECT_EQ(head.GetBkImage(), L"nowhere/at/all.png");
  // The "bkimage" attribute goes the same way.
  head.SetAttribute(L"bkimage", AnsiToWide(absolute));
  EXPECT_EQ(head.GetBkImage(), AnsiToWide(absolute));
}

TEST_F(HeadUITest, PicturePaintedInsideTheCircleWithARing) {
  std::string red = SolidPng("red.png", 1, 0, 0);
  MakeWindow("#FFFFFFFF", "pencolor=\"#FF000000\" bkimage=\"" + red + "\"");
  // Centre: the picture; the rectangle's corner: outside the circle, the background.
  Pixel centre = At(30, 30);
  EXPECT_EQ(centre.r, 255);
  EXPECT_EQ(centre.g, 0);
  Pixel corner = At(12, 12);
  EXPECT_EQ(corner.r, 255);
  EXPECT_EQ(corner.g, 255);
  // The ring: dark on its left and top edges, and smoothed (neither black nor a base
  // colour) where it crosses pixels at a slant.
  EXPECT_LT(At(10, 30).g, 128);
  EXPECT_LT(At(30, 10).g, 128);
  int smoothed = 0;
  for (int x = 10; x < 50; ++x) {
    for (int y = 10; y < 20; ++y) {
      Pixel p = At(x, y);
      if (p.g > 20 && p.g < 235 && p.r > 20) ++smoothed;
    }
  }
  EXPECT_GT(smoothed, 4);
}

TEST_F(HeadUITest, RingTakesTheBackgroundColourWhenAskedAndMissingPicturesPaintNothing) {
  std::string red = SolidPng("red.png", 1, 0, 0);
  MakeWindow("#FF0000FF", "autopencolor=\"true\" penwidth=\"2\" bkimage=\"" + red + "\"");
  Pixel ring = At(10, 30);
  EXPECT_EQ(ring.b, 255);
  EXPECT_EQ(ring.r, 0);
  m_wnd->DestroyWindow();

  CHeadUI* head = MakeWindow("#FFFFFFFF", "bkimage=\"nowhere.png\"");
  EXPECT_EQ(head->GetBkImage(), L"nowhere.png");
  Pixel centre = At(30, 30);
  EXPECT_EQ(centre.r, 255);
  EXPECT_EQ(centre.g, 255);
  EXPECT_EQ(At(10, 30).g, 255) << "no ring without a picture";
}

}  // namespace
