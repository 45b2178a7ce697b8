// The browser control inside a toolkit window (on the display-less test host, with a
// real WebKit view): the skin tag, the native child following the control's rectangle and
// visibility, and the bridge reaching the window.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "BrowserTestKit.h"
#include "browser/CefNativeControl.h"
#include "platform/Messages.h"
#include "platform/host/GtkHost.h"
#include "platform/host/TestHost.h"
#include "ui/ResourceStore.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr char kSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="600,400">
  <VerticalLayout>
    <Control height="40"/>
    <HorizontalLayout>
      <Control width="100"/>
      <CefControl name="web"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>
)";

class BrowserDlg : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"browserDlgClass"; }
  std::wstring GetSkinFile() override { return L"browser_dlg.xml"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override {
    auto control = CefNativeControl::CreateFromTag(tag, GetHWND());
    if (control) m_browser = static_cast<CefNativeControl*>(control.get());
    return control;
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                              bool& bHandled) override {
    bHandled = true;
    if (msg == WM_BROWSER_CREATED)
      m_browserId = static_cast<std::int64_t>(wParam);
    else if (msg == WM_BROWSER_LOAD_END)
      ++m_loadEnds;
    else if (msg >= WM_JS_FIRST && msg <= WM_JS_LAST)
      m_calls.push_back({msg, *PayloadAs<JsCallMessage>(payload)});
    else
      bHandled = false;
    return 0;
  }
  TestHostWindow* Host() const { return static_cast<TestHostWindow*>(m_host.get()); }
  const TestHostWindow::NativeChild* Child() const {
    return Host()->nativeChildren.size() == 1 ? &Host()->nativeChildren.begin()->second : nullptr;
  }

  CefNativeControl* m_browser = nullptr;
  std::int64_t m_browserId = 0;
  int m_loadEnds = 0;
  std::vector<std::pair<UINT, JsCallMessage>> m_calls;
};

class CefNativeControlTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    if (IsSkipped()) return;
    SetHost(std::make_unique<TestHost>());
    m_skins = Root() / "skins";
    std::filesystem::create_directories(m_skins);
    std::ofstream(m_skins / "browser_dlg.xml", std::ios::binary) << kSkin;
    CResourceStore::Get().SetFolder(m_skins.string());
  }
  std::filesystem::path m_skins;
};

bool Same(const HostRect& a, const HostRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST_F(CefNativeControlTest, SkinTagMakesABrowserThatFollowsTheControl) {
  EXPECT_EQ(CefNativeControl::CreateFromTag(L"CEFCONTROL", 1) != nullptr, true);
  EXPECT_EQ(CefNativeControl::CreateFromTag(L"cefcontrols", 1), nullptr);
  EXPECT_EQ(CefNativeControl::CreateFromTag(L"Control", 1), nullptr);

  BrowserDlg dlg;
  dlg.Create(kNoWindow, L"Tavo", WS_POPUP, 0, 0, 0, 600, 400);
  dlg.ShowWindow(true);
  ASSERT_NE(dlg.m_browser, nullptr);
  ASSERT_TRUE(WaitFor([&] { return dlg.m_browserId > 0 && dlg.Child(); }));
  dlg.GetPaintManager().DoLayout();  // the test host lays out when asked, not on its own

  const auto* child = dlg.Child();
  EXPECT_EQ(child->widget, dlg.m_browser->GetBrowserHost());
  EXPECT_TRUE(Same(child->rect, HostRect{100, 40, 500, 360}));
  EXPECT_TRUE(child->visible);

  // A new size lays the window out again; the view follows.
  dlg.Host()->SetScreenRect({0, 0, 800, 500});
  dlg.GetPaintManager().DoLayout();
  EXPECT_TRUE(Same(dlg.Child()->rect, HostRect{100, 40, 700, 460}));

  dlg.m_browser->SetVisible(false);
  EXPECT_FALSE(dlg.Child()->visible);
  dlg.m_browser->SetVisible(true);
  EXPECT_TRUE(dlg.Child()->visible);
}

TEST_F(CefNativeControlTest, PageCallsReachTheWindow) {
  PageServer server(std::map<std::string, std::string>{
      {"/index.html",
       "<!doctype html><html><body><script>window.got = null;"
       "app.call('getVidAndPlayAuth', function (code, text) { got = [code, text]; });"
       "</script></body></html>"}});
  BrowserDlg dlg;
  dlg.Create(kNoWindow, L"Tavo", WS_POPUP, 0, 0, 0, 600, 400);
  dlg.m_browser->LoadURL(server.Url("/index.html"));  // before the browser exists
  dlg.ShowWindow(true);
  ASSERT_TRUE(WaitFor([&] { return !dlg.m_calls.empty() && dlg.m_loadEnds == 1; }));
  EXPECT_EQ(dlg.m_calls[0].first, WM_USER + 500u);
  EXPECT_EQ(dlg.m_calls[0].second.params, L"{}");

  dlg.m_calls[0].second.responder(200, L"{\"vid\":\"v1\"}");
  WebKitWebView* view = dlg.m_browser->GetBrowser()->GetView();
  EXPECT_TRUE(WaitFor([&] { return Evaluate(view, "got") == R"(["200","{\"vid\":\"v1\"}"])"; }));

  dlg.m_browser->ExecuteJavaScript(dlg.m_browserId, L"window.ran = true");
  EXPECT_TRUE(WaitFor([&] { return Evaluate(view, "window.ran") == "true"; }));
}

// The same window on the GTK host: a page in the cefcontrol under the caption band, and a
// half-transparent layer window of the toolkit over the page.
TEST_F(CefNativeControlTest, ScreenshotOfAToolkitWindowWithAPageAndALayer) {
  if (!GtkHost::Init()) GTEST_SKIP() << "no display";
  SetHost(std::make_unique<GtkHost>());
  std::ofstream(m_skins / "browser_dlg.xml", std::ios::binary) << R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="640,420" caption="0,0,0,48"><Font id="0" size="16" bold="true"/>
  <VerticalLayout bkcolor="#FF1F1F1F">
    <Label height="48" text="  Tavo 播放器" textcolor="#FFFFFFFF" font="0" bkcolor="#FF2B2B2B"/>
    <CefControl name="web"/>
  </VerticalLayout>
</Window>
)";
  std::ofstream(m_skins / "layer.xml", std::ios::binary) << R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="260,120" bktrans="true"><Font id="0" size="16"/>
  <VerticalLayout bkcolor="#99000000" borderround="12,12" inset="18,18,18,18">
    <Label text="透明层 over the page" textcolor="#FFFFFFFF" font="0"/>
  </VerticalLayout>
</Window>
)";
  PageServer server(std::map<std::string, std::string>{
      {"/index.html",
       "<!doctype html><html><body style='margin:0;background:#2060c0;color:white;"
       "font:28px sans-serif'><div style='padding:30px'>页面 inside a cefcontrol</div></body></html>"}});
  constexpr int kLeft = 940;  // away from where other test windows usually go
  constexpr int kTop = 460;
  BrowserDlg dlg;
  dlg.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
  dlg.MoveWindow({kLeft, kTop, kLeft + 640, kTop + 420});
  dlg.m_browser->LoadURL(server.Url("/index.html"));
  dlg.ShowWindow(true);
  ASSERT_TRUE(WaitFor([&] { return dlg.m_loadEnds > 0; }));

  class LayerWnd : public WindowImplBase {
    std::wstring GetWindowClassName() const override { return L"layerClass"; }
    std::wstring GetSkinFile() override { return L"layer.xml"; }
  } layer;
  layer.Create(dlg.GetHWND(), L"Tavo", WS_POPUP, 0);
  layer.MoveWindow({kLeft + 340, kTop + 260, kLeft + 600, kTop + 380});
  layer.ShowWindow(true, false);
  Spin(800);

  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), kLeft, kTop, 640, 420);
  ASSERT_NE(shot, nullptr);
  const std::string folder = std::string(TAVO_TEST_WEBEXT_DIR) + "/../../tests/screenshots";
  g_mkdir_with_parents(folder.c_str(), 0755);
  EXPECT_TRUE(gdk_pixbuf_save(shot, (folder + "/cefcontrol_window.png").c_str(), "png", nullptr, nullptr));
  auto pixel = [&](int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  const auto page = pixel(20, 400);    // the page, below the caption band
  const auto under = pixel(590, 370);  // the page seen through the layer's 60% black
  EXPECT_NEAR(page[2], 0xc0, 10);
  EXPECT_NEAR(under[2], 0xc0 * 0.4, 16);
  EXPECT_GT(under[2], 20);
  g_object_unref(shot);
}

}  // namespace
