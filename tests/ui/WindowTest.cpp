// Windows on the test host: timers, modal loops, layers, caption and size box, hot keys.
#include <chrono>

#include "UiTestSupport.h"

namespace {
// Runs the loop until `done` or two seconds pass; false on the time-out.
bool RunUntil(const std::function<bool()>& done) {
  auto start = std::chrono::steady_clock::now();
  bool timedOut = false;
  RunNestedLoopUntil([&] {
    timedOut = std::chrono::steady_clock::now() - start > std::chrono::seconds(2);
    return done() || timedOut;
  });
  return !timedOut;
}
}  // namespace

TEST_F(UiTest, WindowTimersRunAndStopWithTheWindow) {
  auto w = MakeWindow("<VerticalLayout/>");
  ASSERT_TRUE(::SetTimer(w->GetHWND(), 7, 10));
  // A guard timer keeps the nested loop waking up even if the timer never fires.
  EXPECT_TRUE(RunUntil([&] { return w->timers.size() >= 3; }));
  EXPECT_EQ(w->timers.front(), 7u);
  HWND hwnd = w->GetHWND();
  w->DestroyWindow();
  EXPECT_FALSE(::IsWindow(hwnd));
  EXPECT_FALSE(::SetTimer(hwnd, 7, 10));
}

TEST_F(UiTest, ModalWindowReturnsItsCloseValue) {
  auto owner = MakeWindow("<VerticalLayout/>");
  WriteSkin(
      "modal.xml",
      R"(<Window size="200,100"><VerticalLayout><Button name="ok" height="40"/></VerticalLayout></Window>)");
  RecordingWnd modal(L"modal.xml", L"modalDlgClass");
  modal.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  modal.onMessage = [](UINT, WPARAM, LPARAM, const Payload&, bool& handled) {
    handled = false;
    return LRESULT(0);
  };
  // Closing is posted; the modal loop delivers it and returns the value.
  PostMessage(modal.GetHWND(), WM_CLOSE, 42);
  auto* ownerHost = owner->Host();
  UINT result = modal.ShowModal();
  EXPECT_EQ(result, 42u);
  EXPECT_TRUE(ownerHost->enabled);
  EXPECT_EQ(modal.GetHWND(), kNoWindow);
}

TEST_F(UiTest, CloseButtonClosesThroughTheQueue) {
  auto w = MakeWindow(R"(<VerticalLayout><Button name="closebtn" height="30"/><Control/></VerticalLayout>)");
  HWND hwnd = w->GetHWND();
  ClickOn(*w, L"closebtn");
  EXPECT_TRUE(::IsWindow(hwnd));
  PumpPendingMessages();
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(UiTest, LayersArePlacedFromScreenRectanglesRelativeToTheirOwner) {
  auto owner = MakeWindow("<VerticalLayout/>", "size=\"800,600\"");
  owner->MoveWindow({100, 50, 900, 650});
  WriteSkin("layer.xml",
            R"(<Window size="103,240" bktrans="true"><VerticalLayout bkcolor="#80000000"/></Window>)");
  RecordingWnd layer(L"layer.xml", L"videoRightDlgClass");
  layer.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  EXPECT_EQ(layer.Host()->kind(), HostKind::Layer);
  layer.MoveWindow({100 + 800 - 103, 50 + 180, 100 + 800, 50 + 180 + 240});
  EXPECT_EQ(layer.Host()->GetOwnerRect(), (HostRect{697, 180, 103, 240}));
  // Moving the owner carries the layer along.
  owner->MoveWindow({0, 0, 800, 600});
  EXPECT_EQ(layer.GetWindowRect(), (CDuiRect{697, 180, 800, 420}));
  // The layer paints with real transparency.
  cairo_surface_t* s = layer.Host()->Snapshot();
  uint32_t px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s))[0];
  EXPECT_EQ(px >> 24, 0x80u);
  cairo_surface_destroy(s);
  // The layer dies with its owner.
  owner->DestroyWindow();
  EXPECT_EQ(layer.GetHWND(), kNoWindow);
}

// A layer has no native frame: dragging its size box resizes it within mininfo/maxinfo,
// and only the edges the size box names take a drag.
TEST_F(UiTest, LayerSizeBoxDragResizesWithinItsLimits) {
  auto owner = MakeWindow("<VerticalLayout/>", "size=\"800,600\"");
  owner->MoveWindow({100, 50, 900, 650});
  WriteSkin("side.xml", R"(<Window size="300,400" sizebox="0,0,6,0" mininfo="248,0" maxinfo="375,0">)"
                        R"(<VerticalLayout bkcolor="#FFFFFFFF"/></Window>)");
  RecordingWnd side(L"side.xml", L"sideDlgClass");
  side.Create(owner->GetHWND(), L"Tavo", WS_POPUP, 0);
  side.ShowWindow(true, false);
  side.MoveWindow({101, 126, 401, 526});
  struct Step {
    const char* name;
    int dragTo;  // window x of the pointer while the button is down
    int width;
  } steps[] = {{"wider", 340, 342}, {"beyond the maximum", 600, 375}, {"below the minimum", 10, 248}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    int edge = side.GetWindowRect().GetWidth() - 2;
    side.Host()->MouseDown(edge, 200);
    side.Host()->MouseMove(step.dragTo, 210);
    side.Host()->MouseUp(step.dragTo, 210);
    CDuiRect rc = side.GetWindowRect();
    EXPECT_EQ(rc.GetWidth(), step.width);
    EXPECT_EQ(rc.left, 101);  // the left edge and the height stay
    EXPECT_EQ(rc.GetHeight(), 400);
  }
  EXPECT_TRUE(side.Host()->resizeEdges.empty());  // no native resize was asked for
  // Outside the size box the press is an ordinary click; a later move resizes nothing.
  side.Host()->MouseDown(100, 200);
  side.Host()->MouseMove(300, 200);
  side.Host()->MouseUp(300, 200);
  EXPECT_EQ(side.GetWindowRect().GetWidth(), 248);
}

TEST_F(UiTest, CaptionDragsSizeBoxResizesButtonsStayClickable) {
  auto w = MakeWindow(
      R"(<VerticalLayout><HorizontalLayout height="72"><Control/><Button name="closebtn" width="30"/></HorizontalLayout><Control/></VerticalLayout>)",
      "size=\"400,300\" caption=\"0,0,0,72\" sizebox=\"4,4,4,4\" mininfo=\"300,200\"");
  EXPECT_EQ(w->Host()->minWidth, 300);
  w->Host()->Click(100, 30);
  EXPECT_EQ(w->Host()->moveDrags, 1);
  w->Host()->Click(398, 150);
  ASSERT_EQ(w->Host()->resizeEdges.size(), 1u);
  EXPECT_EQ(w->Host()->resizeEdges[0], HostEdge::East);
  w->Host()->Click(385, 30);  // the close button inside the band
  EXPECT_EQ(w->Host()->moveDrags, 1);
  EXPECT_EQ(w->events, (std::vector<std::string>{"click:closebtn"}));
}

TEST_F(UiTest, HotKeysPostToTheirWindow) {
  auto w = MakeWindow("<VerticalLayout/>");
  w->RegisterHotKey(1027, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'O');
  std::vector<WPARAM> hot;
  w->onMessage = [&](UINT msg, WPARAM wParam, LPARAM, const Payload&, bool& handled) {
    if (msg == WM_HOTKEY) hot.push_back(wParam);
    handled = msg == WM_HOTKEY;
    return LRESULT(0);
  };
  w->Host()->Key('O', MK_CONTROL | MK_SHIFT);  // missing Alt: no hot key
  w->Host()->Key('O', MK_CONTROL | MK_SHIFT | MK_ALT);
  PumpPendingMessages();
  EXPECT_EQ(hot, (std::vector<WPARAM>{1027}));
}

TEST_F(UiTest, WindowsAreFoundByClassAndTitleAndSkinSizeApplies) {
  auto w = MakeWindow("<VerticalLayout/>", "size=\"1366,768\"");
  EXPECT_EQ(::FindWindow(L"recordingWndClass", L"Tavo"), w->GetHWND());
  EXPECT_EQ(w->GetWindowRect().GetWidth(), 1366);
  w->CenterWindow();
  EXPECT_EQ(w->GetWindowRect().left, (1600 - 1366) / 2);
}
