// Desktop notifications against a notification-daemon stand-in on a private session bus:
// what the daemon receives, a click coming back, and no daemon or no bus blocking nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrivateSessionBus.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "platform/host/DesktopNotifier.h"
#include "platform/host/TestHost.h"
#include "ui/Notifications.h"

namespace {

using namespace std::chrono_literals;
using desktop_test::PrivateSessionBus;
using desktop_test::RunLoopUntil;

constexpr const char* kDaemonXml =
    "<node><interface name='org.freedesktop.Notifications'>"
    "<method name='Notify'>"
    "<arg type='s' direction='in'/><arg type='u' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='s' direction='in'/><arg type='as' direction='in'/>"
    "<arg type='a{sv}' direction='in'/><arg type='i' direction='in'/><arg type='u' direction='out'/>"
    "</method>"
    "<signal name='ActionInvoked'><arg type='u'/><arg type='s'/></signal>"
    "</interface></node>";

struct Received {
  std::string app;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;
};

// Records each notification and answers with ids 41, 42, ...
class DaemonStandIn {
 public:
  explicit DaemonStandIn(GDBusConnection* bus) : m_bus(bus) {
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kDaemonXml, nullptr);
    static const GDBusInterfaceVTable vtable = {&OnCall, nullptr, nullptr, {}};
    g_dbus_connection_register_object(m_bus, "/org/freedesktop/Notifications", info->interfaces[0], &vtable,
                                      this, nullptr, nullptr);
    g_dbus_node_info_unref(info);
    GVariant* reply = g_dbus_connection_call_sync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", "org.freedesktop.Notifications", 4u),
                                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
  }
  void Click(guint32 id) {
    g_dbus_connection_emit_signal(m_bus, nullptr, "/org/freedesktop/Notifications",
                                  "org.freedesktop.Notifications", "ActionInvoked",
                                  g_variant_new("(us)", id, "default"), nullptr);
  }
  std::vector<Received> received;

 private:
  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<DaemonStandIn*>(data);
    const gchar *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
    guint32 replaces = 0;
    GVariantIter* actions = nullptr;
    GVariant* hints = nullptr;
    gint32 timeout = 0;
    g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", &app, &replaces, &icon, &summary, &body, &actions,
                  &hints, &timeout);
    Received r{app, summary, body, {}};
    const gchar* action = nullptr;
    while (g_variant_iter_next(actions, "&s", &action)) r.actions.push_back(action);
    g_variant_iter_free(actions);
    g_variant_unref(hints);
    self->received.push_back(r);
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(u)", static_cast<guint32>(40 + self->received.size())));
  }
  GDBusConnection* m_bus;
};

TEST(NotificationTest, TheDaemonGetsTitleAndTextAndAClickComesBack) {
  PrivateSessionBus bus;
  ASSERT_FALSE(bus.address().empty());
  GDBusConnection* daemonBus = bus.Connect();
  ASSERT_NE(daemonBus, nullptr);
  DaemonStandIn daemon(daemonBus);
  DesktopNotifier::Get().Reset();

  std::vector<std::string> clicked;
  DesktopNotifier::Get().Show("下载完成", "第一课 函数与极限", [&] { clicked.push_back("first"); });
  DesktopNotifier::Get().Show("下载失败", "讲义 第二章", [&] { clicked.push_back("second"); });
  ASSERT_TRUE(RunLoopUntil([&] { return daemon.received.size() == 2; }, 10s));
  EXPECT_EQ(daemon.received[0].app, "Tavo");
  EXPECT_EQ(daemon.received[0].summary, "下载完成");
  EXPECT_EQ(daemon.received[0].body, "第一课 函数与极限");
  EXPECT_EQ(daemon.received[0].actions, (std::vector<std::string>{"default", "打开"}));
  EXPECT_EQ(daemon.received[1].summary, "下载失败");

  // The second notification (id 42) is clicked; only its callback runs, once.
  RunLoopUntil([] { return false; }, 200ms);  // the ids reach the notifier
  daemon.Click(42);
  daemon.Click(42);
  EXPECT_TRUE(RunLoopUntil([&] { return !clicked.empty(); }, 5s));
  RunLoopUntil([] { return false; }, 200ms);
  EXPECT_EQ(clicked, std::vector<std::string>{"second"});
  DesktopNotifier::Get().Reset();
  g_object_unref(daemonBus);
}

TEST(NotificationTest, NoDaemonOrNoBusShowsNothingAndBlocksNothing) {
  struct Case {
    const char* name;
    bool withBus;
  } cases[] = {{"bus without a daemon", true}, {"no bus at all", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<PrivateSessionBus> bus;
    if (c.withBus) {
      bus = std::make_unique<PrivateSessionBus>();
    } else {
      setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavo-test-bus", 1);
    }
    DesktopNotifier::Get().Reset();
    auto start = std::chrono::steady_clock::now();
    bool clicked = false;
    DesktopNotifier::Get().Show("下载完成", "第一课", [&] { clicked = true; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
    RunLoopUntil([] { return false; }, 300ms);
    EXPECT_FALSE(clicked);
    DesktopNotifier::Get().Reset();
  }
}

}  // namespace

namespace {

// What the program announces and where a click leads, on the display-less test host.
TEST(ProgramNotificationsTest, ADownloadResultNamesTheFileAndAClickShowsTheMainWindow) {
  InitMessageCore();
  auto owned = std::make_unique<TestHost>();
  TestHost* host = owned.get();
  SetHost(std::move(owned));
  std::vector<UINT> mainMessages;
  MessageWindow main(
      [&](UINT msg, WPARAM, LPARAM, const Payload&) -> LRESULT {
        mainMessages.push_back(msg);
        return 0;
      },
      L"mainDlgClass", L"Tavo");

  struct Case {
    DownloadNotice outcome;
    const char* title;
  } cases[] = {{DownloadNotice::Finished, "下载完成"}, {DownloadNotice::Failed, "下载失败"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    host->notifications.clear();
    mainMessages.clear();
    NotifyDownloadResult(L"第一课 函数与极限", c.outcome, kNoWindow);
    ASSERT_EQ(host->notifications.size(), 1u);
    EXPECT_EQ(host->notifications[0].title, c.title);
    EXPECT_EQ(host->notifications[0].body, "第一课 函数与极限");
    host->notifications[0].onClick();
    PumpPendingMessages();
    EXPECT_EQ(mainMessages, std::vector<UINT>{WM_ACTIVATE_MAIN});
  }
  ShutdownMessageCore();
}

}  // namespace
