// The about window and the toast on the test host.
#include <string>

#include "WindowTestKit.h"
#include "account/AboutDlg.h"
#include "account/MessageBoxDlg.h"
#include "app/SystemInfo.h"
#include "ui/Label.h"
#include "ui/UIText.h"

namespace {

// A plain window to own toasts.
class OwnerWnd : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"ownerWndClass"; }

 protected:
  std::wstring GetSkinFile() override { return L"message_box_dlg.xml"; }
};

std::wstring LabelText(HWND hwnd, const std::wstring& name) {
  auto* wnd = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(hwnd));
  auto* label = wnd ? wnd->FindControlAs<CLabelUI>(name) : nullptr;
  return label ? label->GetText() : L"<missing>";
}

class SmallWindowsTest : public WindowTestKit {
 protected:
  std::unique_ptr<OwnerWnd> MakeOwner(int x, int y, int width, int height) {
    auto owner = std::make_unique<OwnerWnd>();
    owner->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, x, y, width, height);
    owner->ShowWindow(true, true);
    return owner;
  }
  static HWND FindTip() { return FindWindow(L"MessageBoxDlgClass", L"tip"); }
  static HWND FindAbout() { return FindWindow(L"aboutDlgClass", L"关于Tavo"); }
};

TEST_F(SmallWindowsTest, TipIsCentredBelowTheOwnerTop) {
  struct Case {
    const char* name;
    int ownerWidth, distance, width, expectedOffset;
  } cases[] = {
      {"list notice", 900, 553, 144, 378},
      {"odd width rounds down", 901, 553, 144, 378},
      {"player panel notice", 900, 600, 160, 370},
      {"tip wider than owner", 100, 10, 144, -22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto owner = MakeOwner(100, 50, c.ownerWidth, 700);
    HWND tip = ShowTip(owner->GetHWND(), c.distance, c.width, L"请检查网络连接");
    ASSERT_NE(tip, kNoWindow);
    TestHostWindow* host = HostOf(tip);
    EXPECT_EQ(host->GetScreenRect(), (HostRect{100 + c.expectedOffset, 50 + c.distance, c.width, 32}));
    EXPECT_TRUE(host->IsVisible());
    EXPECT_EQ(host->kind(), HostKind::Layer);  // drawn over its owner
    EXPECT_EQ(LabelText(tip, L"lbTip"), L"请检查网络连接");
    owner->DestroyWindow();
  }
}

TEST_F(SmallWindowsTest, TipsCloseThemselvesAfterASecondAndAreFreed) {
  auto owner = MakeOwner(0, 0, 900, 700);
  HWND first = ShowTip(owner->GetHWND(), 553, 144, L"登陆失效，重新登陆");
  HWND second = ShowTip(owner->GetHWND(), 553, 144, L"请检查网络连接");
  EXPECT_NE(first, second);
  EXPECT_EQ(CountSelfOwned(L"MessageBoxDlgClass"), 2u);
  // The real timer closes both.
  EXPECT_TRUE(RunUntil([&] { return !IsWindow(first) && !IsWindow(second); }));
  EXPECT_EQ(CountSelfOwned(L"MessageBoxDlgClass"), 0u);
  EXPECT_EQ(FindTip(), kNoWindow);
  EXPECT_TRUE(IsWindow(owner->GetHWND()));
}

TEST_F(SmallWindowsTest, TipGoesWithItsOwner) {
  auto owner = MakeOwner(0, 0, 900, 700);
  HWND tip = ShowTip(owner->GetHWND(), 553, 144, L"已添加到下载列表");
  owner->DestroyWindow();
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(CountSelfOwned(L"MessageBoxDlgClass"), 0u);
  // Its timer died with it: the loop runs on without touching the freed object.
  PumpPendingMessages();
}

TEST_F(SmallWindowsTest, AboutShowsTheVersionOrTheFallback) {
  struct Case {
    const char* name;
    std::wstring version;
    std::wstring label;
  } cases[] = {
      {"four parts", L"1.2.3.4", L"Tavo:1.2.3.4版本"},
      {"no version built in", FileVersionTextFrom(""), L"Tavo:None VerSion Supprot版本"},
      {"the program's own", GetFileVersionText(), L"Tavo:" + GetFileVersionText() + L"版本"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AboutDlg about(c.version);
    ASSERT_NE(about.Create(kNoWindow, L"关于Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 416, 556), kNoWindow);
    EXPECT_EQ(LabelText(about.GetHWND(), L"lbVersion"), c.label);
    about.DestroyWindow();
  }
  EXPECT_NE(GetFileVersionText(), L"None VerSion Supprot");
}

TEST_F(SmallWindowsTest, AboutOpensOnceAndDropsTopMostAfterEachRaise) {
  HWND about = OpenOrRaiseAboutWindow();
  ASSERT_NE(about, kNoWindow);
  TestHostWindow* host = HostOf(about);
  EXPECT_EQ(host->GetScreenRect().width, 416);
  EXPECT_EQ(host->GetScreenRect().height, 556);
  EXPECT_EQ(host->title, "关于Tavo");
  EXPECT_TRUE(host->IsVisible());
  EXPECT_TRUE(host->topMost);
  EXPECT_TRUE(RunUntil([&] { return !host->topMost; }));

  // A second choice raises the same window and drops top-most again.
  host->Show(false, false);
  EXPECT_EQ(OpenOrRaiseAboutWindow(), about);
  EXPECT_EQ(CountSelfOwned(L"aboutDlgClass"), 1u);
  EXPECT_TRUE(host->IsVisible());
  EXPECT_TRUE(host->topMost);
  EXPECT_TRUE(RunUntil([&] { return !host->topMost; }));
  EXPECT_TRUE(IsWindow(about));

  SaveScreenshot(CWindowWnd::FromHandle(about), "about.png");
}

TEST_F(SmallWindowsTest, AboutCloseButtonClosesAndFrees) {
  HWND about = OpenOrRaiseAboutWindow();
  auto* wnd = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(about));
  ASSERT_NE(wnd, nullptr);
  wnd->GetPaintManager().DoLayout();
  CDuiRect r = wnd->FindControl(L"closebtn")->GetPos();
  HostOf(about)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  EXPECT_TRUE(RunUntil([&] { return !IsWindow(about); }));
  EXPECT_EQ(CountSelfOwned(L"aboutDlgClass"), 0u);
  EXPECT_EQ(FindAbout(), kNoWindow);
  // A new choice opens a fresh window.
  EXPECT_NE(OpenOrRaiseAboutWindow(), kNoWindow);
}

TEST_F(SmallWindowsTest, ProgramEndDestroysEverySelfOwnedWindowOnce) {
  // An adopted owner with a toast over it (the toast goes with its owner) and the about window.
  OwnerWnd* owner = AdoptSelfOwned(MakeOwner(0, 0, 900, 700));
  HWND ownerHwnd = owner->GetHWND();
  HWND tip = ShowTip(ownerHwnd, 553, 144, L"请检查网络连接");
  HWND about = OpenOrRaiseAboutWindow();
  DestroySelfOwned();
  EXPECT_FALSE(IsWindow(ownerHwnd));
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_FALSE(IsWindow(about));
  EXPECT_EQ(CountSelfOwned(L"MessageBoxDlgClass") + CountSelfOwned(L"aboutDlgClass") +
                CountSelfOwned(L"ownerWndClass"),
            0u);
}

}  // namespace
