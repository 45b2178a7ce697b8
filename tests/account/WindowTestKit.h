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
    for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
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
    guint tick = g_timeout_add(5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
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

  // Saves a picture of the window into <build>/screenshots/<name>.
  static void SaveScreenshot(const CWindowWnd* wnd, const std::string& name) {
    const char* bin = std::getenv("TAVO_TEST_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    std::filesystem::path dir = std::filesystem::path(bin) / "screenshots";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(HostOf(wnd)->SavePng((dir / name).string()));
  }

  TestHost* testHost = nullptr;
  std::filesystem::path m_root;
};
