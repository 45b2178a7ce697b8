// Smaller behaviours: skin zip reading, progress clamping, GIF frames, menu and tray
// messages, dialogs, native views following their control.
#include <fnmatch.h>

#include <sstream>

#include "UiTestSupport.h"
#include "skin/LoadSkin.h"
#include "ui/Dialogs.h"
#include "ui/GifAnim.h"
#include "ui/MenuWnd.h"
#include "ui/NativeView.h"
#include "ui/Progress.h"
#include "ui/TrayIcon.h"
#include "ui/UIlib.h"

TEST_F(UiTest, SkinZipIsReadAndBrokenZipsAreRefused) {
  WriteSkin("inner.xml", "<Window size=\"10,10\"><Control/></Window>");
  std::string zipPath = (dir / "skin.zip").string();
  std::string cmd = "cd '" + dir.string() + "' && cmake -E tar cf skin.zip --format=zip inner.xml";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(zipPath, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  CResourceStore store;
  ASSERT_TRUE(store.SetZip(bytes.data(), bytes.size()));
  std::string xml;
  EXPECT_TRUE(store.ReadFile("inner.xml", xml));
  EXPECT_NE(xml.find("Window"), std::string::npos);
  EXPECT_FALSE(store.ReadFile("../inner.xml", xml));
  EXPECT_FALSE(store.ReadFile("missing.xml", xml));
  std::string broken = bytes.substr(0, bytes.size() / 2);
  EXPECT_FALSE(store.SetZip(broken.data(), broken.size()));
  EXPECT_FALSE(store.SetZip("PK\3\4garbage", 11));
}

TEST_F(UiTest, ProgressClampsAndPaintsItsPart) {
  auto w = MakeWindow(
      R"(<VerticalLayout><Progress name="p" height="10" min="0" max="100" forecolor="#FFFF0000" bkcolor="#FF0000FF"/><Control/></VerticalLayout>)");
  auto* p = static_cast<CProgressUI*>(w->FindControl(L"p"));
  p->SetValue(150);
  EXPECT_EQ(p->GetValue(), 100);
  p->SetValue(25);
  cairo_surface_t* s = w->Host()->Snapshot();
  auto* row =
      reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + 5 * cairo_image_surface_get_stride(s));
  EXPECT_EQ(row[50] & 0xFFFFFF, 0xFF0000u);   // inside the first quarter
  EXPECT_EQ(row[300] & 0xFFFFFF, 0x0000FFu);  // beyond it
  cairo_surface_destroy(s);
}

TEST_F(UiTest, ADisabledButtonPaintsItsDisabledBackground) {
  auto w = MakeWindow(
      R"(<VerticalLayout><Button name="b" height="10" bkcolor="#FFFF0000" disabledbkcolor="#FF0000FF"/><Control/></VerticalLayout>)");
  auto pixel = [&] {
    cairo_surface_t* s = w->Host()->Snapshot();
    auto* row =
        reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) + 5 * cairo_image_surface_get_stride(s));
    const uint32_t px = row[50] & 0xFFFFFF;
    cairo_surface_destroy(s);
    return px;
  };
  EXPECT_EQ(pixel(), 0xFF0000u);
  w->FindControl(L"b")->SetEnabled(false);
  EXPECT_EQ(pixel(), 0x0000FFu);
  w->FindControl(L"b")->SetEnabled(true);
  EXPECT_EQ(pixel(), 0xFF0000u);
}

TEST_F(UiTest, GifAdvancesFramesOnItsTimer) {
  // Two frames drawn by ImageMagick at test time (a picture source, not a blob).
  std::string gif = (dir / "anim.gif").string();
  std::string cmd = "convert -delay 5 -size 8x8 xc:red xc:blue -loop 0 '" + gif + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "ImageMagick convert is not installed";
  auto w = MakeWindow(
      R"(<VerticalLayout><GifAnim name="g" bkimage="anim.gif" width="8" height="8"/><Control/></VerticalLayout>)");
  auto* g = static_cast<CGifAnimUI*>(w->FindControl(L"g"));
  ASSERT_TRUE(g->IsPlaying());
  auto firstPixel = [&] {
    cairo_surface_t* s = w->Host()->Snapshot();
    uint32_t px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s))[0] & 0xFFFFFF;
    cairo_surface_destroy(s);
    return px;
  };
  EXPECT_EQ(firstPixel(), 0xFF0000u);
  auto start = std::chrono::steady_clock::now();
  bool blue = false;
  RunNestedLoopUntil([&] {
    blue = firstPixel() == 0x0000FFu;
    return blue || std::chrono::steady_clock::now() - start > std::chrono::seconds(2);
  });
  EXPECT_TRUE(blue);
  g->SetVisible(false);
  EXPECT_FALSE(g->IsPlaying());
}

TEST_F(UiTest, MenuClickPostsTheItemToItsOwner) {
  auto owner = MakeWindow("<VerticalLayout/>");
  WriteSkin(
      "menu.xml",
      R"(<Window><Menu><MenuElement name="about" text="关于"/><MenuElement name="exit" text="退出"/></Menu></Window>)");
  std::vector<std::wstring> clicked;
  owner->onMessage = [&](UINT msg, WPARAM, LPARAM, const Payload& payload, bool& handled) {
    handled = msg == WM_MENU_CLICK;
    if (handled) clicked.push_back(PayloadAs<MenuCmd>(payload)->szName);
    return LRESULT(0);
  };
  CMenuWnd menu;
  menu.Init(nullptr, L"menu.xml", {500, 400}, &owner->PM(), nullptr,
            eMenuAlignment_Left | eMenuAlignment_Top);
  CDuiRect rc = menu.GetWindowRect();
  EXPECT_EQ(rc.right, 500);
  EXPECT_EQ(rc.bottom, 400);
  auto* host = static_cast<TestHostWindow*>(menu.GetHostWindow());
  menu.GetPaintManager().DoLayout();
  CDuiRect exitRect = menu.FindControl(L"exit")->GetPos();
  host->Click((exitRect.left + exitRect.right) / 2, (exitRect.top + exitRect.bottom) / 2);
  PumpPendingMessages();
  EXPECT_EQ(clicked, (std::vector<std::wstring>{L"exit"}));
  EXPECT_EQ(menu.GetHWND(), kNoWindow);
}

TEST_F(UiTest, MenuIsWalkedWithArrowsAndChosenWithEnter) {
  auto owner = MakeWindow("<VerticalLayout/>");
  WriteSkin(
      "menu.xml",
      R"(<Window><Menu><MenuElement name="about" text="关于"/><MenuElement name="exit" text="退出"/></Menu></Window>)");
  std::vector<std::wstring> clicked;
  owner->onMessage = [&](UINT msg, WPARAM, LPARAM, const Payload& payload, bool& handled) {
    handled = msg == WM_MENU_CLICK;
    if (handled) clicked.push_back(PayloadAs<MenuCmd>(payload)->szName);
    return LRESULT(0);
  };
  CMenuWnd menu;
  menu.Init(nullptr, L"menu.xml", {500, 400}, &owner->PM(), nullptr, eMenuAlignment_Left | eMenuAlignment_Top);
  auto* host = static_cast<TestHostWindow*>(menu.GetHostWindow());
  host->Key(VK_DOWN);
  host->Key(VK_DOWN);
  host->Key(VK_UP);
  host->Key(VK_DOWN);
  EXPECT_EQ(menu.GetPaintManager().GetFocus()->GetName(), L"exit");
  host->Key(VK_RETURN);
  PumpPendingMessages();
  EXPECT_EQ(clicked, (std::vector<std::wstring>{L"exit"}));
  EXPECT_EQ(menu.GetHWND(), kNoWindow);

  // Escape closes a menu without choosing.
  CMenuWnd second;
  second.Init(nullptr, L"menu.xml", {500, 400}, &owner->PM(), nullptr, eMenuAlignment_Left | eMenuAlignment_Top);
  static_cast<TestHostWindow*>(second.GetHostWindow())->Key(VK_ESCAPE);
  PumpPendingMessages();
  EXPECT_EQ(second.GetHWND(), kNoWindow);
  EXPECT_EQ(clicked.size(), 1u);
}

TEST_F(UiTest, TrayReportsButtonsOrItsAbsence) {
  auto w = MakeWindow("<VerticalLayout/>");
  std::vector<LPARAM> seen;
  w->onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam, const Payload&, bool& handled) {
    handled = msg == WM_TRAY_ICON;
    if (handled) {
      EXPECT_EQ(wParam, 102u);
      seen.push_back(lParam);
    }
    return LRESULT(0);
  };
  CTrayIcon tray;
  ASSERT_TRUE(tray.CreateTrayIcon(w->GetHWND(), 102, L"Tavo", 0));
  testHost->trayClick(1);
  testHost->trayClick(3);
  PumpPendingMessages();
  EXPECT_EQ(seen, (std::vector<LPARAM>{LPARAM(WM_LBUTTONUP), LPARAM(WM_RBUTTONUP)}));
  tray.DeleteTrayIcon();
  testHost->hasTray = false;
  EXPECT_FALSE(tray.CreateTrayIcon(w->GetHWND(), 102, L"Tavo", 0));
}

TEST_F(UiTest, ChoosersUseTheDesignedFiltersAndFolderChangesDirectory) {
  auto w = MakeWindow("<VerticalLayout/>");
  testHost->nextChosenPath = "/tmp/a.png";
  EXPECT_EQ(ChooseFile(w->GetHWND(), L"/tmp"), L"/tmp/a.png");
  EXPECT_EQ(testHost->lastChooserFolder, "/tmp");
  ASSERT_EQ(testHost->lastFilters.size(), 4u);
  EXPECT_EQ(testHost->lastFilters[1].name, "Jpg Files(*jpg)");
  EXPECT_EQ(testHost->lastFilters[2].name, "Png Files(*.png)");
  // The first filter shows every picture the avatar takes, whatever the case.
  auto shows = [](const HostFileFilter& f, const std::string& name) {
    std::stringstream patterns(f.pattern);
    for (std::string p; std::getline(patterns, p, ';');)
      if (fnmatch(p.c_str(), name.c_str(), 0) == 0) return true;
    return false;
  };
  for (const char* name : {"a.jpg", "B.JPG", "c.jpeg", "d.JPeG", "e.png", "F.PNG", "g.ico"})
    EXPECT_TRUE(shows(testHost->lastFilters[0], name)) << name;
  for (const char* name : {"h.gif", "jpg", "i.jpg.txt"}) EXPECT_FALSE(shows(testHost->lastFilters[0], name)) << name;
  EXPECT_TRUE(shows(testHost->lastFilters[1], "x.JPEG"));
  EXPECT_FALSE(shows(testHost->lastFilters[1], "x.png"));
  // Without a folder of its own the chooser opens among the student's files.
  ChooseFile(w->GetHWND());
  EXPECT_TRUE(std::filesystem::is_directory(testHost->lastChooserFolder)) << testHost->lastChooserFolder;
  EXPECT_EQ(ChooseFile(w->GetHWND(), L"/tmp"), L"");  // cancelled
  auto old = std::filesystem::current_path();
  testHost->nextChosenPath = dir.string() + "/";
  EXPECT_EQ(ChooseFolder(w->GetHWND()), FromUtf8(dir.string()));
  EXPECT_EQ(testHost->lastChooserTitle, "选择下载目录");
  EXPECT_EQ(std::filesystem::current_path(), dir);
  testHost->nextChosenPath = (dir / "does-not-exist").string();
  EXPECT_EQ(ChooseFolder(w->GetHWND()), L"");
  std::filesystem::current_path(old);
  testHost->cursorX = 640;
  testHost->cursorY = 480;
  EXPECT_EQ(GetCursorScreenPos().x, 640);
  EXPECT_TRUE(OpenUrl(L"https://example.org/course.html"));
  EXPECT_EQ(testHost->openedUris.back(), "https://example.org/course.html");

  // A desktop without a web browser: the fallback shows the page, or nothing does.
  testHost->canOpenUris = false;
  EXPECT_FALSE(OpenUrl(L"https://example.org/course.html"));
  std::vector<std::wstring> fallbackUrls;
  SetOpenUrlFallback([&](const std::wstring& url) {
    fallbackUrls.push_back(url);
    return true;
  });
  EXPECT_TRUE(OpenUrl(L"https://example.org/course.html"));
  EXPECT_EQ(fallbackUrls, std::vector<std::wstring>{L"https://example.org/course.html"});
  testHost->canOpenUris = true;
  EXPECT_TRUE(OpenUrl(L"https://example.org/a.html"));
  EXPECT_EQ(fallbackUrls.size(), 1u);
  SetOpenUrlFallback(nullptr);
}

TEST_F(UiTest, NativeViewFollowsItsControl) {
  auto w = MakeWindow(R"(<VerticalLayout><Control height="50"/><NativeView name="web"/></VerticalLayout>)");
  auto* view = static_cast<CNativeViewUI*>(w->FindControl(L"web"));
  int widget = 0;
  view->SetNativeWidget(&widget);
  ASSERT_EQ(w->Host()->nativeChildren.size(), 1u);
  auto& child = w->Host()->nativeChildren.begin()->second;
  EXPECT_EQ(child.rect, (HostRect{0, 50, 400, 250}));
  EXPECT_TRUE(child.visible);
  view->SetVisible(false);
  EXPECT_FALSE(w->Host()->nativeChildren.begin()->second.visible);
  view->SetNativeWidget(nullptr);
  EXPECT_TRUE(w->Host()->nativeChildren.empty());
}

TEST_F(UiTest, ActivateWindowRestoresAndFocuses) {
  auto w = MakeWindow("<VerticalLayout/>");
  w->Host()->Minimize();
  ActivateWindow(w->GetHWND(), true);
  EXPECT_FALSE(w->IsIconic());
  EXPECT_TRUE(w->Host()->focused);
  ActivateWindow(kNoWindow, true);  // a gone window is ignored
}

TEST_F(UiTest, TheProgramsSkinIsLinkedIn) {
  ASSERT_TRUE(LoadSkin());
  std::string xml;
  // The test's folder is searched first; menu.xml is not there, so it comes from the zip.
  EXPECT_TRUE(CResourceStore::Get().ReadFile("menu.xml", xml));
  EXPECT_NE(xml.find("MenuElement"), std::string::npos);
}

// The window's name registry: the first registered control of a name wins, removal hands
// the name to the next one, a rename moves the control to its new name.
TEST_F(UiTest, NamesFollowRegistrationRenameAndRemoval) {
  auto wnd = MakeWindow(
      R"(<VerticalLayout name="box"><Label name="a" text="1"/><Label name="a" text="2"/></VerticalLayout>)");
  auto* box = static_cast<CContainerUI*>(wnd->FindControl(L"box"));
  ASSERT_NE(box, nullptr);
  CControlUI* first = box->GetItemAt(0);
  CControlUI* second = box->GetItemAt(1);
  EXPECT_EQ(wnd->FindControl(L"a"), first);
  box->Remove(first);
  EXPECT_EQ(wnd->FindControl(L"a"), second);
  second->SetName(L"b");
  EXPECT_EQ(wnd->FindControl(L"a"), nullptr);
  EXPECT_EQ(wnd->FindControl(L"b"), second);
  for (int i = 0; i < 3000; ++i) {
    auto label = std::make_unique<CLabelUI>();
    label->SetName(L"cell");
    box->Add(label.release());
  }
  EXPECT_EQ(wnd->FindControl(L"cell"), box->GetItemAt(1));
  box->RemoveAt(1);
  EXPECT_EQ(wnd->FindControl(L"cell"), box->GetItemAt(1));
  box->RemoveAll();
  EXPECT_EQ(wnd->FindControl(L"cell"), nullptr);
  EXPECT_EQ(wnd->FindControl(L"b"), nullptr);
}
