// Status notifier item tray through libayatana-appindicator3.
#include "platform/host/GtkIndicatorTray.h"

#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>

namespace {

constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr int kBusCallTimeoutMs = 1000;

class GtkIndicatorTray : public HostTray {
 public:
  GtkIndicatorTray(AppIndicator* indicator, std::string iconFolder)
      : m_indicator(indicator), m_iconFolder(std::move(iconFolder)) {}
  ~GtkIndicatorTray() override {
    app_indicator_set_status(m_indicator, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(m_indicator);
    if (m_menu) g_object_unref(m_menu);
    if (!m_iconFolder.empty()) {
      g_remove((m_iconFolder + "/tavo-tray.png").c_str());
      g_rmdir(m_iconFolder.c_str());
    }
  }
  void SetTooltip(const std::string& utf8) override { app_indicator_set_title(m_indicator, utf8.c_str()); }

  void SetMenu(const std::vector<HostTrayItem>& items,
               std::function<void(const std::string&)> onChoice) override {
    m_onChoice = std::move(onChoice);
    GtkWidget* menu = gtk_menu_new();
    for (const HostTrayItem& item : items) {
      GtkWidget* entry = gtk_menu_item_new_with_label(item.label.c_str());
      g_object_set_data_full(G_OBJECT(entry), "tavo-name", g_strdup(item.name.c_str()), g_free);
      g_signal_connect(entry, "activate", G_CALLBACK(OnActivate), this);
      gtk_menu_shell_append(GTK_MENU_SHELL(menu), entry);
    }
    gtk_widget_show_all(menu);
    if (m_menu) g_object_unref(m_menu);
    m_menu = GTK_WIDGET(g_object_ref_sink(menu));
    app_indicator_set_menu(m_indicator, GTK_MENU(m_menu));
  }

 private:
  static void OnActivate(GtkMenuItem* entry, gpointer data) {
    auto* self = static_cast<GtkIndicatorTray*>(data);
    const char* name = static_cast<const char*>(g_object_get_data(G_OBJECT(entry), "tavo-name"));
    if (self->m_onChoice && name) self->m_onChoice(name);
  }

  AppIndicator* m_indicator;
  std::string m_iconFolder;
  GtkWidget* m_menu = nullptr;
  std::function<void(const std::string&)> m_onChoice;
};

}  // namespace

bool SessionBusReachable() {
  const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  std::string socket = std::string(g_get_user_runtime_dir()) + "/bus";
  struct stat info {};
  return g_stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

bool StatusNotifierWatcherExists() {
  if (!SessionBusReachable()) return false;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return false;
  GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner",
                                                g_variant_new("(s)", kWatcherName), G_VARIANT_TYPE("(b)"),
                                                G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr, nullptr);
  g_object_unref(bus);
  if (!reply) return false;
  gboolean owned = FALSE;
  g_variant_get(reply, "(b)", &owned);
  g_variant_unref(reply);
  return owned;
}

std::unique_ptr<HostTray> CreateIndicatorTray(const std::vector<unsigned char>& icon,
                                              const std::string& title) {
  // The item names its icon by file in a folder of its own; the desktop reads it from there.
  std::string folder;
  if (!icon.empty()) {
    gchar* made = g_dir_make_tmp("tavo-tray-XXXXXX", nullptr);
    if (made) {
      folder = made;
      g_free(made);
      std::ofstream(folder + "/tavo-tray.png", std::ios::binary)
          .write(reinterpret_cast<const char*>(icon.data()), static_cast<std::streamsize>(icon.size()));
    }
  }
  AppIndicator* indicator =
      folder.empty()
          ? app_indicator_new("tavo", "applications-other", APP_INDICATOR_CATEGORY_APPLICATION_STATUS)
          : app_indicator_new_with_path("tavo", "tavo-tray", APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                        folder.c_str());
  if (!indicator) return nullptr;
  app_indicator_set_title(indicator, title.c_str());
  app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
  return std::make_unique<GtkIndicatorTray>(indicator, folder);
}
