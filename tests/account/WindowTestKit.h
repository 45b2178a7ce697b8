// Fixture for the program's own windows on the test host: message core, the program's
// skin, private XDG folders, a guarded loop runner and screenshots.
#pragma once

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>

#include "account/SelfOwnedWindows.h"
#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "skin/LoadSkin.h"
#include "ui/ResourceStore.h"
#include "ui/WindowWnd.h"

class WindowTestKit : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-window-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"})
      setenv(name, (m_root / name).c_str(), 1);
    InitMessageCore();
    auto host = std::make_unique<TestHost>();
    testHost = host.get();
    SetHost(std::move(host));
    ASSERT_TRUE(LoadSkin());
  }
  void TearDown() override {
    DestroySelfOwned();
    ShutdownMessageCore();
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }

  // Runs the loop until `done` or the guard time passes (which fails the test).
  static bool RunUntil(const std::function<bool()>& done,
                       std::chrono::milliseconds guard = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + guard;
    bool timedOut = false;
    // A tick keeps the loop waking up so the condition and the clock are checked.
    guint tick = g_timeout_add(
        5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    RunNestedLoopUntil([&] {
      timedOut = std::chrono::steady_clock::now() > end;
      return done() || timedOut;
    });
    g_source_remove(tick);
    EXPECT_FALSE(timedOut) << "guard time-out";
    return !timedOut;
  }

  static TestHostWindow* HostOf(const CWindowWnd* wnd) {
    return wnd ? static_cast<TestHostWindow*>(wnd->GetHostWindow()) : nullptr;
  }
  static TestHostWindow* HostOf(HWND hwnd) { return HostOf(CWindowWnd::FromHandle(hwnd)); }

  // Saves a picture of the window, with the given layers painted over it where they sit,
  // into <build>/screenshots/<name>.
  static void SaveScreenshot(const CWindowWnd* wnd, const std::string& name,
                             std::initializer_list<const CWindowWnd*> layers = {}) {
    const char* bin = std::getenv("TAVO_TEST_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    std::filesystem::path dir = std::filesystem::path(bin) / "screenshots";
    std::filesystem::create_directories(dir);
    cairo_surface_t* picture = HostOf(wnd)->Snapshot();
    cairo_t* cr = cairo_create(picture);
    for (const CWindowWnd* layer : layers) {
      if (!layer || !HostOf(layer)->IsVisible()) continue;
      cairo_surface_t* part = HostOf(layer)->Snapshot();
      HostRect at = HostOf(layer)->GetOwnerRect();
      cairo_set_source_surface(cr, part, at.x, at.y);
      cairo_paint(cr);
      cairo_surface_destroy(part);
    }
    cairo_destroy(cr);
    EXPECT_EQ(cairo_surface_write_to_png(picture, (dir / name).c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(picture);
  }

  TestHost* testHost = nullptr;
  std::filesystem::path m_root;
};
