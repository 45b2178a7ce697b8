// What the browser tests share: private XDG folders, a loopback page server, a GTK test
// window hosting a browser control, waiting on the main loop with a guard timeout, and
// reading script values and the UTF-16LE day logs.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/CefControlBase.h"
#include "browser/JsFunctionTable.h"
#include "platform/MessageWindow.h"

namespace httplib {
class Server;
}

// Whose pages a server stands for: the school's web site (an origin the program trusts
// with the script bridge) or anybody else's.
enum class PageOrigin { SchoolSite, Foreign };

// Serves fixed pages on 127.0.0.1 at a free port, from its own thread. A school-site
// server becomes the site origin the bridge trusts.
class PageServer {
 public:
  explicit PageServer(std::map<std::string, std::string> pages, PageOrigin origin = PageOrigin::SchoolSite);
  ~PageServer();
  std::wstring Url(const std::string& path) const;
  // Also serves the files of a folder under "/".
  bool Mount(const std::string& folder);
  int Port() const { return m_port; }

 private:
  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  int m_port = 0;
};

// Runs the main loop until `done` or until `ms` pass; false on time-out.
bool WaitFor(const std::function<bool()>& done, int ms = 15000);
// Runs the main loop for `ms` (to show that something does NOT happen).
void Spin(int ms);

// Evaluates script in the view's main frame; the result as JSON text ("" on failure).
std::string Evaluate(WebKitWebView* view, const std::string& script);

// Hands the view a "CallCppFunc" as if its web process had sent it (a web process that
// ignored the extension's rules); true when the view's handler took it.
bool ForgeCallCppFunc(WebKitWebView* view, const std::string& functionName, const std::string& params);

// The day log of a role ("browserlog", "renderlog") as UTF-8; "" when missing.
std::string ReadDayLog(const std::string& baseName);

// One bridge message as the host window received it.
struct ReceivedCall {
  UINT message;
  std::wstring params;
  JsResponder responder;
};

// A browser control on a plain GTK window (a GtkFixed over the client area).
class FixedControl : public CefControlBase {
 public:
  explicit FixedControl(GtkWidget* fixed) : m_fixed(fixed) {}
  BrowserRect m_rect{0, 0, 480, 320};

 protected:
  BrowserRect GetViewRect() const override { return m_rect; }
  void PlaceView(GtkWidget* view, const BrowserRect& rect) override;

 private:
  GtkWidget* m_fixed;
};

// A host window: a GTK window with a browser control and a message window that records
// 1037, 1039 and the bridge messages.
class TestBrowserWindow {
 public:
  TestBrowserWindow();
  ~TestBrowserWindow();

  HWND Hwnd() const { return m_messages.GetHWND(); }
  FixedControl& Control() { return *m_control; }
  GtkWidget* Window() const { return m_window; }
  GtkWidget* Overlay() const { return m_overlay; }
  WebKitWebView* View();

  // Creates the browser and waits for 1037.
  bool Start();
  // Loads a page and waits for the 1039 of it.
  bool Load(const std::wstring& url);
  // Waits until `count` bridge messages have arrived.
  bool WaitForCalls(size_t count, int ms = 15000);

  std::int64_t m_createdId = 0;
  int m_createdCount = 0;
  int m_loadEndCount = 0;
  std::vector<ReceivedCall> m_calls;
  // Called for each bridge message inside the host's handler (to answer at once).
  std::function<void(const ReceivedCall&)> m_onCall;

 private:
  GtkWidget* m_window;
  GtkWidget* m_overlay;
  GtkWidget* m_fixed;
  MessageWindow m_messages;
  std::unique_ptr<FixedControl> m_control;
};

// Counts the "CallCppFunc" messages reaching any view, by function name.
class CallCppFuncCounter {
 public:
  CallCppFuncCounter();
  ~CallCppFuncCounter();
  int Count(const std::string& functionName) const;

 private:
  static gboolean Hook(GSignalInvocationHint*, guint count, const GValue* values, gpointer self);
  gulong m_hook = 0;
  guint m_signal = 0;
  std::map<std::string, int> m_counts;
};

// Private XDG folders (once per process, before GLib reads them), the extension's folder
// and no accessibility bus; then GTK and the message core on this thread (false: no display).
void PrepareBrowserEnvironment();
bool PrepareDisplay();

// Every browser test: private XDG folders (set once per process, before GLib reads
// them), the message core bound to this thread, and a display.
class BrowserTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

 public:
  static std::filesystem::path Root();
};
