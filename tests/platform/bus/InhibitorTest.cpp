// The inhibitor against stand-in services on private buses: what it asks, what it gives back
// and when, the fallback to GNOME's session manager, and logind's lock that ends when its
// file descriptor is closed.
#include <gtest/gtest.h>
#include <gio/gunixfdlist.h>
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "StandInService.h"
#include "platform/Inhibitor.h"

namespace {

using bus_test::PrivateBus;
using bus_test::RunLoopUntil;
using bus_test::StandInService;

const char* const kScreenSaverXml = R"(<node><interface name="org.freedesktop.ScreenSaver">
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="u" direction="out"/></method>
  <method name="UnInhibit"><arg type="u" direction="in"/></method></interface></node>)";
const char* const kGnomeSessionXml = R"(<node><interface name="org.gnome.SessionManager">
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
    <arg type="u" direction="in"/><arg type="u" direction="out"/></method>
  <method name="Uninhibit"><arg type="u" direction="in"/></method></interface></node>)";
const char* const kLogindXml = R"(<node><interface name="org.freedesktop.login1.Manager">
  <method name="Inhibit"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
    <arg type="s" direction="in"/><arg type="h" direction="out"/></method></interface></node>)";

// A screen saver or session manager that hands out cookies and keeps the ones not given back.
struct CookieJar {
  guint32 next = 41;
  std::set<guint32> active;
  StandInService::Handler Handler(bool refuse = false) {
    return [this, refuse](const std::string& method, GVariant* parameters, GUnixFDList**,
                          std::string& error) -> GVariant* {
      if (refuse) {
        error = "not here";
        return nullptr;
      }
      if (method == "Inhibit") {
        active.insert(++next);
        return g_variant_new("(u)", next);
      }
      guint32 cookie = 0;
      g_variant_get(parameters, "(u)", &cookie);
      active.erase(cookie);
      return nullptr;
    };
  }
};

class InhibitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_session.address().empty()) << "dbus-daemon did not start";
    m_service.reset(m_session.Connect());
    ASSERT_TRUE(m_service);
  }

  struct Unref {
    void operator()(GDBusConnection* c) const { g_object_unref(c); }
  };
  PrivateBus m_session{"DBUS_SESSION_BUS_ADDRESS"};
  std::unique_ptr<GDBusConnection, Unref> m_service;
};

TEST_F(InhibitorTest, TheScreenSaverHoldsWhileWantedAndGetsItsCookieBack) {
  CookieJar jar;
  StandInService saver(m_service.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                       kScreenSaverXml, jar.Handler());
  ASSERT_TRUE(saver.owned());
  {
    Inhibitor awake(InhibitKind::Idle, "正在播放课程视频");
    awake.Hold();
    awake.Hold();  // holding twice is holding once
    ASSERT_TRUE(RunLoopUntil([&] { return awake.IsHeld(); }, 5000));
    EXPECT_EQ(saver.Count("Inhibit"), 1);
    EXPECT_EQ(saver.calls()[0].args, "('Tavo', '正在播放课程视频')");
    EXPECT_EQ(jar.active.size(), 1u);

    awake.Release();
    EXPECT_FALSE(awake.IsHeld());
    ASSERT_TRUE(RunLoopUntil([&] { return jar.active.empty(); }, 5000)) << "the cookie was not given back";

    // Held again, then the owner goes: destruction gives it back too.
    awake.Hold();
    ASSERT_TRUE(RunLoopUntil([&] { return awake.IsHeld(); }, 5000));
  }
  EXPECT_TRUE(RunLoopUntil([&] { return jar.active.empty(); }, 5000)) << "the inhibit outlived its owner";
  EXPECT_EQ(saver.Count("Inhibit"), 2);
  EXPECT_EQ(saver.Count("UnInhibit"), 2);
}

TEST_F(InhibitorTest, AReleaseBeforeTheAnswerGivesBackWhatArrivesLater) {
  CookieJar jar;
  StandInService saver(m_service.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                       kScreenSaverXml, jar.Handler());
  auto awake = std::make_unique<Inhibitor>(InhibitKind::Idle, "lesson");
  awake->Hold();
  awake->Release();  // the Inhibit call is still on its way
  awake.reset();
  ASSERT_TRUE(RunLoopUntil([&] { return saver.Count("UnInhibit") == saver.Count("Inhibit"); }, 5000));
  // Whatever was granted meanwhile is given back; nothing stays inhibited.
  EXPECT_TRUE(RunLoopUntil([&] { return jar.active.empty(); }, 2000));
}

TEST_F(InhibitorTest, WithoutAScreenSaverGnomesSessionManagerIsAskedForIdle) {
  CookieJar refused;
  CookieJar gnome;
  StandInService saver(m_service.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                       kScreenSaverXml, refused.Handler(/*refuse=*/true));
  StandInService session(m_service.get(), "org.gnome.SessionManager", "/org/gnome/SessionManager",
                         kGnomeSessionXml, gnome.Handler());
  Inhibitor awake(InhibitKind::Idle, "lesson");
  awake.Hold();
  ASSERT_TRUE(RunLoopUntil([&] { return awake.IsHeld(); }, 5000));
  ASSERT_EQ(session.Count("Inhibit"), 1);
  // app id, no window, reason, flags 8 (idle)
  EXPECT_EQ(session.calls()[0].args, "('Tavo', 0, 'lesson', 8)");
  awake.Release();
  EXPECT_TRUE(RunLoopUntil([&] { return gnome.active.empty(); }, 5000));
}

TEST_F(InhibitorTest, NoServiceHoldsNothingAndKeepsRunning) {
  Inhibitor awake(InhibitKind::Idle, "lesson");
  awake.Hold();
  // Both services are missing on this bus: the asking ends, nothing is held.
  EXPECT_FALSE(RunLoopUntil([&] { return awake.IsHeld(); }, 1500));
  EXPECT_TRUE(awake.IsWanted());
  awake.Release();
  EXPECT_FALSE(awake.IsWanted());
}

TEST_F(InhibitorTest, SuspendHoldsLogindsLockUntilItsDescriptorIsClosed) {
  PrivateBus system("DBUS_SYSTEM_BUS_ADDRESS");
  ASSERT_FALSE(system.address().empty());
  struct Unref {
    void operator()(GDBusConnection* c) const { g_object_unref(c); }
  };
  std::unique_ptr<GDBusConnection, Unref> connection(system.Connect());
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  StandInService logind(connection.get(), "org.freedesktop.login1", "/org/freedesktop/login1", kLogindXml,
                        [&](const std::string&, GVariant*, GUnixFDList** fds, std::string&) -> GVariant* {
                          *fds = g_unix_fd_list_new();
                          g_unix_fd_list_append(*fds, pipeFds[1], nullptr);
                          close(pipeFds[1]);  // the lock lives in the client's copy only
                          return g_variant_new("(h)", 0);
                        });
  ASSERT_TRUE(logind.owned());
  auto lockGone = [&] {
    pollfd p{pipeFds[0], POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
  };

  Inhibitor sleepless(InhibitKind::Suspend, "正在下载课程");
  sleepless.Hold();
  ASSERT_TRUE(RunLoopUntil([&] { return sleepless.IsHeld(); }, 5000));
  EXPECT_EQ(logind.calls()[0].args, "('sleep', 'Tavo', '正在下载课程', 'block')");
  EXPECT_FALSE(lockGone()) << "the lock ended while held";
  sleepless.Release();
  EXPECT_TRUE(RunLoopUntil(lockGone, 2000)) << "the lock outlived the release";
  close(pipeFds[0]);
}

}  // namespace
