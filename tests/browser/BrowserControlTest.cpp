// The browser control and its handler in a real GTK window: creation and load messages,
// queued loads, scripts by browser id, popups in place, script dialogs, load errors,
// crashed web processes and a screenshot of a page under a translucent layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "BrowserTestKit.h"
#include "app/TextConv.h"
#include "browser/ClientAppBrowser.h"

namespace {

std::map<std::string, std::string> Pages() {
  return {
      {"/one.html", "<!doctype html><html><body>one</body></html>"},
      {"/two.html", "<!doctype html><html><body>two</body></html>"},
      {"/link.html",
       "<!doctype html><html><body><a id='l' target='_blank' href='/two.html'>new window</a></body></html>"},
      {"/open.html",
       "<!doctype html><html><body><button id='b' onclick=\"window.open('/two.html')\">open</button>"
       "</body></html>"},
      {"/dialogs.html",
       "<!doctype html><html><body><script>alert('a'); var c = confirm('b'); var p = prompt('c');"
       "window.after = [c, p];</script></body></html>"},
      {"/edit.html",
       "<!doctype html><html><body style='margin:0'><div style='height:100px'>page</div>"
       "<input id='i' style='display:block;width:400px;height:60px'></body></html>"},
      {"/colour.html",
       "<!doctype html><html><body style='margin:0;background:#2060c0;color:white;font:32px sans-serif'>"
       "<div style='padding:40px'>Tavo 页面 in a browser control</div></body></html>"},
  };
}

// Visible top-level windows: dialogs, popup windows and menus among them.
int ToplevelCount() {
  GList* list = gtk_window_list_toplevels();
  int count = 0;
  for (GList* item = list; item; item = item->next) {
    if (gtk_widget_get_visible(GTK_WIDGET(item->data))) ++count;
  }
  g_list_free(list);
  return count;
}

using BrowserControlTest = BrowserTest;

TEST_F(BrowserControlTest, CreationAndEveryLoadArePostedToTheHost) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  EXPECT_EQ(window.m_createdCount, 1);
  EXPECT_EQ(window.m_createdId, static_cast<std::int64_t>(webkit_web_view_get_page_id(window.View())));
  EXPECT_GT(window.m_createdId, 0);

  ASSERT_TRUE(window.Load(server.Url("/one.html")));
  ASSERT_TRUE(window.Load(server.Url("/two.html")));
  EXPECT_EQ(window.m_loadEndCount, 2);
  EXPECT_EQ(window.m_createdCount, 1);
}

TEST_F(BrowserControlTest, LoadBeforeCreationRunsOnceTheBrowserExists) {
  PageServer server(Pages());
  TestBrowserWindow window;
  window.Control().LoadURL(server.Url("/two.html"));  // before the control joined its window: lost
  window.Control().InitBrowser(window.Hwnd());
  window.Control().LoadURL(server.Url("/one.html"));
  EXPECT_EQ(window.Control().GetLastURL(), L"");

  ASSERT_TRUE(WaitFor([&] { return window.m_loadEndCount > 0; }));
  Spin(300);
  EXPECT_EQ(window.m_loadEndCount, 1);
  EXPECT_EQ(window.Control().GetLastURL(), server.Url("/one.html"));
  EXPECT_EQ(Utf8ToWide(webkit_web_view_get_uri(window.View())), server.Url("/one.html"));
  EXPECT_NE(
      ReadDayLog("browserlog").find(WideToUtf8(L"]:加载网址，URL=" + server.Url("/one.html") + L"\r\n")),
      std::string::npos);
}

TEST_F(BrowserControlTest, ScriptRunsOnlyInTheBrowserWithThatId) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/one.html")));

  window.Control().ExecuteJavaScript(0, L"window.x = 'zero'");
  window.Control().ExecuteJavaScript(-1, L"window.x = 'negative'");
  window.Control().ExecuteJavaScript(window.m_createdId + 1000, L"window.x = 'unknown'");
  window.Control().ExecuteJavaScript(window.m_createdId, L"window.y = '好'");
  EXPECT_TRUE(WaitFor([&] { return Evaluate(window.View(), "window.y") == "\"好\""; }));
  EXPECT_EQ(Evaluate(window.View(), "String(window.x)"), "\"undefined\"");
}

TEST_F(BrowserControlTest, NewWindowTargetsOpenInPlace) {
  struct Case {
    const char* page;
    const char* click;
  };
  for (const Case& c : {Case{"/link.html", "document.getElementById('l').click()"},
                        Case{"/open.html", "document.getElementById('b').click()"}}) {
    SCOPED_TRACE(c.page);
    PageServer server(Pages());
    TestBrowserWindow window;
    ASSERT_TRUE(window.Start());
    ASSERT_TRUE(window.Load(server.Url(c.page)));
    const int windows = ToplevelCount();

    Evaluate(window.View(), c.click);
    ASSERT_TRUE(WaitFor([&] { return window.m_loadEndCount == 2; }));
    EXPECT_EQ(Utf8ToWide(webkit_web_view_get_uri(window.View())), server.Url("/two.html"));
    EXPECT_EQ(ToplevelCount(), windows);
  }
}

TEST_F(BrowserControlTest, ScriptDialogsShowNothingAndScriptGoesOn) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  const int windows = ToplevelCount();
  ASSERT_TRUE(window.Load(server.Url("/dialogs.html")));
  EXPECT_EQ(Evaluate(window.View(), "window.after"), "[false,null]");
  EXPECT_EQ(ToplevelCount(), windows);
}

TEST_F(BrowserControlTest, LoadErrorShowsTheErrorTextAndLogsTheSummary) {
  int closedPort = 0;
  {
    PageServer gone({});
    closedPort = gone.Port();
  }
  const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/missing.html";
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  window.Control().LoadURL(url);
  std::string text;
  ASSERT_TRUE(WaitFor([&] {
    text = Evaluate(window.View(), "document.body ? document.body.innerText : ''");
    return text.size() > 2;
  }));
  text = text.substr(1, text.size() - 2);  // the JSON quotes

  const std::string log = ReadDayLog("browserlog");
  const std::string summary =
      WideToUtf8(
          L"]:OnLoadError加载错误(含重新加载)！ <html><head><title>Page failed to load</title></head>"
          L"<body bgcolor=\"white\"><h2>Page failed to load.</h2><h4>URL:  <a href=\"" +
          url + L"\">" + url + L"</a><br/>Error:  ") +
      text + " (";
  EXPECT_NE(log.find(summary), std::string::npos) << log;
  EXPECT_NE(log.find(")</h4></body></html> \r\n"), std::string::npos);
  EXPECT_EQ(Utf8ToWide(webkit_web_view_get_uri(window.View())), url);
}

TEST_F(BrowserControlTest, KilledWebProcessIsLogged) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/one.html")));
  webkit_web_view_terminate_web_process(window.View());
  const std::string line = WideToUtf8(L"]:OnRenderProcessTerminated status=1,url=" + server.Url("/one.html"));
  EXPECT_TRUE(WaitFor([&] { return ReadDayLog("browserlog").find(line) != std::string::npos; }, 5000));
}

TEST_F(BrowserControlTest, ClosingEveryBrowserEmptiesTheList) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/one.html")));
  EXPECT_TRUE(window.Control().CloseAllBrowser());
  ASSERT_TRUE(WaitFor([&] { return window.Control().GetBrowserList().empty(); }));
  EXPECT_EQ(window.Control().GetBrowser(), nullptr);
  window.Control().ExecuteJavaScript(window.m_createdId, L"1");  // nothing left to run in
}

// Counts "context-menu" signals and whether a handler let the menu show.
struct ContextMenuWatch {
  ContextMenuWatch() {
    g_type_class_unref(g_type_class_ref(WEBKIT_TYPE_WEB_VIEW));
    signal = g_signal_lookup("context-menu", WEBKIT_TYPE_WEB_VIEW);
    hook = g_signal_add_emission_hook(
        signal, 0,
        [](GSignalInvocationHint*, guint, const GValue*, gpointer self) -> gboolean {
          ++static_cast<ContextMenuWatch*>(self)->count;
          return TRUE;
        },
        this, nullptr);
  }
  ~ContextMenuWatch() { g_signal_remove_emission_hook(signal, hook); }
  guint signal = 0;
  gulong hook = 0;
  int count = 0;
};

// Presses and releases the right button on the view, as GDK would deliver it (the shared
// display's real pointer is not used: other test windows may lie over this one).
void RightClick(GtkWidget* view, int x, int y) {
  GdkWindow* window = gtk_widget_get_window(view);
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  gint rootX = 0;
  gint rootY = 0;
  gdk_window_get_origin(window, &rootX, &rootY);
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(window));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.x = x;
    event->button.y = y;
    event->button.x_root = rootX + x;
    event->button.y_root = rootY + y;
    event->button.button = 3;
    gdk_event_set_device(event, pointer);
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
}

// A right click on the page and on an edit field.
TEST_F(BrowserControlTest, PagesHaveNoContextMenuButEditFieldsKeepTheirs) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/edit.html")));
  Spin(300);
  ContextMenuWatch watch;
  const int windows = ToplevelCount();
  GtkWidget* view = GTK_WIDGET(window.View());

  RightClick(view, 50, 50);
  ASSERT_TRUE(WaitFor([&] { return watch.count == 1; }, 5000));
  Spin(300);
  EXPECT_EQ(ToplevelCount(), windows) << "a menu was shown on the page";

  RightClick(view, 50, 130);
  ASSERT_TRUE(WaitFor([&] { return watch.count == 2; }, 5000));
  EXPECT_TRUE(WaitFor([&] { return ToplevelCount() > windows; }, 3000))
      << "the edit field's menu did not show";
}

TEST_F(BrowserControlTest, DeveloperToolsAskForTheirOwnWindowAndClose) {
  PageServer server(Pages());
  TestBrowserWindow window;
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/one.html")));
  WebKitWebInspector* inspector = webkit_web_view_get_inspector(window.View());
  int opened = 0;
  int closed = 0;
  // Counted and handled here: WebKit's own window would appear over other tests' windows.
  g_signal_connect(inspector, "open-window", G_CALLBACK(+[](WebKitWebInspector*, gpointer count) -> gboolean {
                     ++*static_cast<int*>(count);
                     return TRUE;
                   }),
                   &opened);
  g_signal_connect(inspector, "closed",
                   G_CALLBACK(+[](WebKitWebInspector*, gpointer count) { ++*static_cast<int*>(count); }),
                   &closed);

  EXPECT_TRUE(window.Control().ShowDevTools());
  ASSERT_TRUE(WaitFor([&] { return opened == 1; }, 10000));
  EXPECT_FALSE(webkit_web_inspector_is_attached(inspector));
  window.Control().CloseDevTools();
  EXPECT_TRUE(WaitFor([&] { return closed == 1; }, 10000));
  g_signal_handlers_disconnect_by_data(inspector, &opened);
  g_signal_handlers_disconnect_by_data(inspector, &closed);
}

TEST_F(BrowserControlTest, EngineStartNeedsTheExtension) {
  const std::string folder = getenv("TAVO_WEBEXT_DIR");
  setenv("TAVO_WEBEXT_DIR", (Root() / "no-extension-here").c_str(), 1);
  EXPECT_FALSE(ClientAppBrowser::Initialize());
  setenv("TAVO_WEBEXT_DIR", folder.c_str(), 1);
  EXPECT_TRUE(ClientAppBrowser::Initialize());
  EXPECT_NE(ClientAppBrowser::Get().GetContext(), nullptr);
}

// A page inside the control with a half-transparent layer over its lower right part.
TEST_F(BrowserControlTest, Screenshot) {
  PageServer server(Pages());
  TestBrowserWindow window;
  GtkWidget* layer = gtk_drawing_area_new();
  gtk_widget_set_halign(layer, GTK_ALIGN_END);
  gtk_widget_set_valign(layer, GTK_ALIGN_END);
  gtk_widget_set_size_request(layer, 240, 160);
  g_signal_connect(layer, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                     cairo_set_source_rgba(cr, 1.0, 0.3, 0.1, 0.5);
                     cairo_paint(cr);
                     return FALSE;
                   }),
                   nullptr);
  gtk_overlay_add_overlay(GTK_OVERLAY(window.Overlay()), layer);
  gtk_widget_show(layer);
  ASSERT_TRUE(window.Start());
  ASSERT_TRUE(window.Load(server.Url("/colour.html")));
  Spin(800);

  GdkWindow* gdkWindow = gtk_widget_get_window(window.Window());
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdkWindow, 0, 0, 480, 320);
  ASSERT_NE(shot, nullptr);
  const std::string folder = std::string(TAVO_TEST_WEBEXT_DIR) + "/../../tests/screenshots";
  g_mkdir_with_parents(folder.c_str(), 0755);
  EXPECT_TRUE(gdk_pixbuf_save(shot, (folder + "/browser_control.png").c_str(), "png", nullptr, nullptr));

  // The page's blue outside the layer, blue and orange mixed under it.
  auto pixel = [&](int x, int y) {
    const guchar* p = gdk_pixbuf_get_pixels(shot) + y * gdk_pixbuf_get_rowstride(shot) +
                      x * gdk_pixbuf_get_n_channels(shot);
    return std::array<int, 3>{p[0], p[1], p[2]};
  };
  const auto page = pixel(20, 300);
  const auto mixed = pixel(460, 300);
  EXPECT_NEAR(page[0], 0x20, 8);
  EXPECT_NEAR(page[2], 0xc0, 8);
  EXPECT_NEAR(mixed[0], (0x20 + 255) / 2, 12);
  EXPECT_NEAR(mixed[2], (0xc0 + 25) / 2, 12);
  g_object_unref(shot);
}

}  // namespace
