// The tray on the GTK host: a status notifier item where a watcher runs on the session bus
// (a stand-in watcher on a private bus), the XEmbed tray where only that exists, none
// where the desktop has neither.
#include <gtest/gtest.h>
// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "PrivateSessionBus.h"
#include "platform/host/GtkHost.h"

namespace {

using namespace std::chrono_literals;
using desktop_test::PrivateSessionBus;
using desktop_test::RunLoopUntil;

constexpr const char* kWatcherXml =
    "<node><interface name='org.kde.StatusNotifierWatcher'>"
    "<method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>"
    "<method name='RegisterStatusNotifierHost'><arg type='s' direction='in'/></method>"
    "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
    "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
    "<property name='ProtocolVersion' type='i' access='read'/>"
    "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
    "</interface></node>";

// A status notifier watcher that records the items registering with it.
class WatcherStandIn {
 public:
  explicit WatcherStandIn(GDBusConnection* bus) : m_bus(bus) {
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
    static const GDBusInterfaceVTable vtable = {&OnCall, &OnGet, nullptr, {}};
    g_dbus_connection_register_object(m_bus, "/StatusNotifierWatcher", info->interfaces[0], &vtable, this,
                                      nullptr, nullptr);
    g_dbus_node_info_unref(info);
    GVariant* reply = g_dbus_connection_call_sync(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName",
                                                  g_variant_new("(su)", "org.kde.StatusNotifierWatcher", 4u),
                                                  nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
  }
  // (sender, path or name) of each registration.
  std::vector<std::pair<std::string, std::string>> items;

 private:
  static void OnCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<WatcherStandIn*>(data);
    const gchar* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) self->items.emplace_back(sender, service);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
  static GVariant* OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                         GError**, gpointer) {
    if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
    if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
    return g_variant_new_strv(nullptr, 0);
  }
  GDBusConnection* m_bus;
};

// A call from the test's own connection, answered while the loop runs (the item lives in
// this process too).
GVariant* Call(GDBusConnection* bus, const std::string& name, const std::string& path, const char* interface,
               const char* method, GVariant* parameters) {
  GVariant* result = nullptr;
  bool done = false;
  struct State {
    GVariant** result;
    bool* done;
  } state{&result, &done};
  g_dbus_connection_call(
      bus, name.c_str(), path.c_str(), interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
      nullptr,
      [](GObject* source, GAsyncResult* res, gpointer data) {
        auto* s = static_cast<State*>(data);
        *s->result = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, nullptr);
        *s->done = true;
      },
      &state);
  RunLoopUntil([&] { return done; }, 10s);
  return result;
}

std::string ItemProperty(GDBusConnection* bus, const std::string& name, const std::string& path,
                         const char* key) {
  GVariant* reply = Call(bus, name, path, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", "org.kde.StatusNotifierItem", key));
  if (!reply) return {};
  GVariant* boxed = nullptr;
  g_variant_get(reply, "(v)", &boxed);
  std::string value = g_variant_get_string(boxed, nullptr);
  g_variant_unref(boxed);
  g_variant_unref(reply);
  return value;
}

class TrayTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(GtkHost::Init()) << "no display"; }
  GtkHost m_host;
};

TEST_F(TrayTest, WithAWatcherTheItemRegistersWithTitleAndMenuAndReportsChoices) {
  PrivateSessionBus bus;
  ASSERT_FALSE(bus.address().empty());
  GDBusConnection* watcherBus = bus.Connect();
  ASSERT_NE(watcherBus, nullptr);
  WatcherStandIn watcher(watcherBus);

  auto tray = m_host.CreateTray({}, "Tavo", [](int) {});
  ASSERT_NE(tray, nullptr);
  std::vector<std::string> chosen;
  tray->SetMenu({{"show", "显示主窗口"}, {"about", "关于"}, {"exit", "退出"}},
                [&](const std::string& name) { chosen.push_back(name); });
  ASSERT_TRUE(RunLoopUntil([&] { return !watcher.items.empty(); }, 10s)) << "no item registered";
  auto [sender, service] = watcher.items.front();
  std::string path = service[0] == '/' ? service : "/StatusNotifierItem";
  std::string name = service[0] == '/' ? sender : service;

  EXPECT_EQ(ItemProperty(watcherBus, name, path, "Title"), "Tavo");
  std::string menuPath = ItemProperty(watcherBus, name, path, "Menu");
  ASSERT_FALSE(menuPath.empty());

  // The menu as the desktop reads it: the three items in order.
  GVariant* layout = Call(watcherBus, name, menuPath, "com.canonical.dbusmenu", "GetLayout",
                          g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)));
  ASSERT_NE(layout, nullptr);
  guint revision = 0;
  GVariant* root = nullptr;
  g_variant_get(layout, "(u@(ia{sv}av))", &revision, &root);
  GVariant* children = g_variant_get_child_value(root, 2);
  std::vector<std::string> labels;
  std::vector<int> ids;
  for (gsize i = 0; i < g_variant_n_children(children); ++i) {
    GVariant* child = g_variant_get_variant(g_variant_get_child_value(children, i));
    gint id = 0;
    GVariant* props = nullptr;
    GVariant* grandchildren = nullptr;
    g_variant_get(child, "(i@a{sv}@av)", &id, &props, &grandchildren);
    const gchar* label = nullptr;
    if (g_variant_lookup(props, "label", "&s", &label)) {
      labels.push_back(label);
      ids.push_back(id);
    }
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"显示主窗口", "关于", "退出"}));

  // A click in the desktop's menu reaches the program by the item's name.
  ASSERT_EQ(ids.size(), 3u);
  GVariant* reply = Call(watcherBus, name, menuPath, "com.canonical.dbusmenu", "Event",
                         g_variant_new("(isvu)", ids[0], "clicked", g_variant_new_int32(0), 0u));
  if (reply) g_variant_unref(reply);
  EXPECT_TRUE(RunLoopUntil([&] { return !chosen.empty(); }, 5s));
  EXPECT_EQ(chosen, std::vector<std::string>{"show"});
  tray.reset();
  g_object_unref(watcherBus);
}

TEST_F(TrayTest, WithoutAWatcherTheXEmbedTrayOrNothing) {
  PrivateSessionBus bus;
  EXPECT_EQ(m_host.CreateTray({}, "Tavo", [](int) {}), nullptr) << "no watcher and no XEmbed tray";

  // An XEmbed tray manager: the owner of the screen's tray selection.
  Display* x = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  Window manager = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
  Atom selection = XInternAtom(x, ("_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x))).c_str(), False);
  XSetSelectionOwner(x, selection, manager, CurrentTime);
  XSync(x, False);
  EXPECT_NE(m_host.CreateTray({}, "Tavo", [](int) {}), nullptr);
  XDestroyWindow(x, manager);
  XSync(x, False);
}

}  // namespace
