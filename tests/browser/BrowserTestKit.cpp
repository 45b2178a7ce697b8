// What the browser tests share.
#include "BrowserTestKit.h"

#include <httplib.h>
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/ClientAppBrowser.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "service/ServiceConfig.h"
#include "support/XdgFolders.h"

PageServer::PageServer(std::map<std::string, std::string> pages, PageOrigin origin)
    : m_server(std::make_unique<httplib::Server>()) {
  for (const auto& [path, body] : pages) {
    m_server->Get(path, [body](const httplib::Request&, httplib::Response& response) {
      response.set_content(body, "text/html; charset=utf-8");
    });
  }
  // One request per connection, so stopping never waits for an idle keep-alive.
  m_server->set_keep_alive_max_count(1);
  m_port = m_server->bind_to_any_port("127.0.0.1");
  m_thread = std::thread([this] { m_server->listen_after_bind(); });
  // A stop before the listen loop started would be missed and the join would hang.
  while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (origin == PageOrigin::SchoolSite) {
    SetSiteOrigin("http://127.0.0.1:" + std::to_string(m_port));
    ClientAppBrowser::Get().PublishTrustedOrigins();
  }
}

PageServer::~PageServer() {
  m_server->stop();
  m_thread.join();
}

bool PageServer::Mount(const std::string& folder) { return m_server->set_mount_point("/", folder); }

std::wstring PageServer::Url(const std::string& path) const {
  return Utf8ToWide("http://127.0.0.1:" + std::to_string(m_port) + path);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    // A short timer bounds each blocking iteration so the deadline is checked.
    GSource* tick = g_timeout_source_new(20);
    g_source_set_callback(
        tick, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(tick, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
  }
  return true;
}

void Spin(int ms) {
  bool over = false;
  g_timeout_add(
      ms,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &over);
  WaitFor([&] { return over; }, ms + 5000);
}

std::string Evaluate(WebKitWebView* view, const std::string& script) {
  struct State {
    bool done = false;
    std::string result;
  };
  auto state = std::make_shared<State>();
  auto* held = new std::shared_ptr<State>(state);
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<State>> owner(static_cast<std::shared_ptr<State>*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value) {
          char* json = jsc_value_to_json(value, 0);
          (*owner)->result = json ? json : "undefined";
          g_free(json);
          g_object_unref(value);
        }
        g_clear_error(&error);
        (*owner)->done = true;
      },
      held);
  WaitFor([&] { return state->done; }, 10000);
  return state->result;
}

bool ForgeCallCppFunc(WebKitWebView* view, const std::string& functionName, const std::string& params) {
  WebKitUserMessage* message =
      webkit_user_message_new("CallCppFunc", g_variant_new("(ss)", functionName.c_str(), params.c_str()));
  g_object_ref_sink(message);
  gboolean handled = FALSE;
  g_signal_emit_by_name(view, "user-message-received", message, &handled);
  g_object_unref(message);
  return handled;
}

std::string ReadDayLog(const std::string& baseName) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string path = WideToUtf8(GetLogFolder()) + baseName + std::to_string(local.tm_year + 1900) +
                           std::to_string(local.tm_mon + 1) + std::to_string(local.tm_mday) + ".txt";
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  char* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.data()),
                               static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
  std::string result = utf8 ? utf8 : "";
  g_free(utf8);
  return result;
}

void FixedControl::PlaceView(GtkWidget* view, const BrowserRect& rect) {
  if (gtk_widget_get_parent(view) != m_fixed) {
    gtk_fixed_put(GTK_FIXED(m_fixed), view, rect.left, rect.top);
  } else {
    gtk_fixed_move(GTK_FIXED(m_fixed), view, rect.left, rect.top);
  }
  gtk_widget_set_size_request(view, rect.right - rect.left, rect.bottom - rect.top);
}

TestBrowserWindow::TestBrowserWindow()
    : m_window(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      m_overlay(gtk_overlay_new()),
      m_fixed(gtk_fixed_new()),
      m_messages([this](UINT msg, WPARAM wParam, LPARAM, const Payload& payload) -> LRESULT {
        if (msg == WM_BROWSER_CREATED) {
          ++m_createdCount;
          m_createdId = static_cast<std::int64_t>(wParam);
        } else if (msg == WM_BROWSER_LOAD_END) {
          ++m_loadEndCount;
        } else if (msg >= WM_JS_FIRST && msg <= WM_JS_LAST) {
          auto* call = PayloadAs<JsCallMessage>(payload);
          m_calls.push_back({msg, call ? call->params : L"<none>", call ? call->responder : JsResponder()});
          if (m_onCall) m_onCall(m_calls.back());
        }
        return 0;
      }),
      m_control(std::make_unique<FixedControl>(m_fixed)) {
  gtk_window_set_default_size(GTK_WINDOW(m_window), 480, 320);
  // Other test processes click on the same display: keep out of their usual places, and
  // let the real pointer pass through (these tests deliver their input to the view).
  gtk_window_move(GTK_WINDOW(m_window), 1100, 20);
  gtk_container_add(GTK_CONTAINER(m_overlay), m_fixed);
  gtk_container_add(GTK_CONTAINER(m_window), m_overlay);
  gtk_widget_show_all(m_window);
  cairo_region_t* none = cairo_region_create();
  gdk_window_input_shape_combine_region(gtk_widget_get_window(m_window), none, 0, 0);
  cairo_region_destroy(none);
}

TestBrowserWindow::~TestBrowserWindow() {
  m_control.reset();
  gtk_widget_destroy(m_window);
}

WebKitWebView* TestBrowserWindow::View() {
  BrowserPtr browser = m_control->GetBrowser();
  return browser ? browser->GetView() : nullptr;
}

bool TestBrowserWindow::Start() {
  m_control->InitBrowser(Hwnd());
  return WaitFor([this] { return m_createdCount > 0; });
}

bool TestBrowserWindow::Load(const std::wstring& url) {
  const int before = m_loadEndCount;
  m_control->LoadURL(url);
  return WaitFor([&] { return m_loadEndCount > before; });
}

bool TestBrowserWindow::WaitForCalls(size_t count, int ms) {
  return WaitFor([&] { return m_calls.size() >= count; }, ms);
}

CallCppFuncCounter::CallCppFuncCounter() {
  // The view's signals exist once its class does.
  g_type_class_unref(g_type_class_ref(WEBKIT_TYPE_WEB_VIEW));
  m_signal = g_signal_lookup("user-message-received", WEBKIT_TYPE_WEB_VIEW);
  m_hook = g_signal_add_emission_hook(m_signal, 0, Hook, this, nullptr);
}

CallCppFuncCounter::~CallCppFuncCounter() { g_signal_remove_emission_hook(m_signal, m_hook); }

int CallCppFuncCounter::Count(const std::string& functionName) const {
  auto found = m_counts.find(functionName);
  return found == m_counts.end() ? 0 : found->second;
}

gboolean CallCppFuncCounter::Hook(GSignalInvocationHint*, guint count, const GValue* values, gpointer data) {
  if (count < 2) return TRUE;
  auto* message = WEBKIT_USER_MESSAGE(g_value_get_object(&values[1]));
  GVariant* params = webkit_user_message_get_parameters(message);
  if (std::string(webkit_user_message_get_name(message)) == "CallCppFunc" && params &&
      g_variant_is_of_type(params, G_VARIANT_TYPE("(ss)"))) {
    const char* name = nullptr;
    g_variant_get(params, "(&ss)", &name, nullptr);
    ++static_cast<CallCppFuncCounter*>(data)->m_counts[name];
  }
  return TRUE;
}

std::filesystem::path BrowserTest::Root() {
  // Removed when the test process ends.
  struct Folder {
    std::filesystem::path path;
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder = [] {
    char pattern[] = "/tmp/tavo-browser-test-XXXXXX";
    return Folder{mkdtemp(pattern)};
  }();
  return folder.path;
}

void BrowserTest::SetUpTestSuite() { PrepareBrowserEnvironment(); }

void PrepareBrowserEnvironment() {
  const auto root = BrowserTest::Root();
  PointXdgFoldersInto(root);
  setenv("TAVO_WEBEXT_DIR", TAVO_TEST_WEBEXT_DIR, 1);
  // No accessibility bus: the display is shared by test processes, and a bus started by
  // one of them (in its private folder) is gone when another one's web-process sandbox
  // tries to mount it. Without a session bus nothing can start one.
  setenv("NO_AT_BRIDGE", "1", 1);
  setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 1);
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (root / "no-session-bus").string()).c_str(), 1);
  static const bool logOpen = OpenLog(L"browserlog");
  (void)logOpen;
}

// Removes the display's accessibility bus address when its socket is gone (left by an
// earlier test process); WebKit's sandbox would fail to mount it.
static void DropDanglingAccessibilityBus() {
  GdkWindow* root = gdk_get_default_root_window();
  GdkAtom property = gdk_atom_intern_static_string("AT_SPI_BUS");
  GdkAtom type = nullptr;
  gint format = 0;
  gint length = 0;
  guchar* data = nullptr;
  if (!gdk_property_get(root, property, GDK_NONE, 0, 4096, FALSE, &type, &format, &length, &data)) return;
  const std::string address(reinterpret_cast<char*>(data), static_cast<size_t>(length));
  g_free(data);
  const std::string prefix = "unix:path=";
  if (address.rfind(prefix, 0) != 0) return;
  const std::string path = address.substr(prefix.size(), address.find(',') - prefix.size());
  if (!std::filesystem::exists(path)) gdk_property_delete(root, property);
}

bool PrepareDisplay() {
  // The X server shared by many test processes sometimes refuses a connection for a moment.
  bool opened = false;
  for (int attempt = 0; attempt < 20 && !opened; ++attempt) {
    opened = gtk_init_check(nullptr, nullptr);
    if (!opened) g_usleep(100 * 1000);
  }
  if (!opened) return false;
  DropDanglingAccessibilityBus();
  InitMessageCore();
  return true;
}

void BrowserTest::SetUp() {
  if (!PrepareDisplay()) GTEST_SKIP() << "no display";
}
