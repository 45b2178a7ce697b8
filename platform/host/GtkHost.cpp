// The GTK 3 host: its windows (GtkTopWindow, GtkLayerWindow), tray icon, choosers,
// clipboard and URI opening.
#include "platform/host/GtkHost.h"

#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include "platform/host/DesktopNotifier.h"
#include "platform/host/GtkAccessible.h"
#include "platform/host/GtkImage.h"
#include "platform/host/GtkIndicatorTray.h"
#include "platform/host/GtkLayerWindow.h"
#include "platform/host/GtkTopWindow.h"

namespace {

// gtk_status_icon is the XEmbed tray of X11 desktops; deprecated but still working.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS
class GtkTray : public HostTray {
 public:
  GtkTray(GdkPixbuf* icon, const std::string& tip, std::function<void(int)> onClick)
      : m_onClick(std::move(onClick)) {
    m_icon = icon ? gtk_status_icon_new_from_pixbuf(icon)
                  : gtk_status_icon_new_from_icon_name("applications-other");
    gtk_status_icon_set_tooltip_text(m_icon, tip.c_str());
    g_signal_connect(m_icon, "button-release-event", G_CALLBACK(OnRelease), this);
  }
  ~GtkTray() override {
    g_signal_handlers_disconnect_by_data(m_icon, this);
    gtk_status_icon_set_visible(m_icon, FALSE);
    g_object_unref(m_icon);
  }
  void SetTooltip(const std::string& utf8) override {
    gtk_status_icon_set_tooltip_text(m_icon, utf8.c_str());
  }

 private:
  static gboolean OnRelease(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
    auto* self = static_cast<GtkTray*>(data);
    if (self->m_onClick) self->m_onClick(static_cast<int>(e->button));
    return TRUE;
  }
  GtkStatusIcon* m_icon;
  std::function<void(int)> m_onClick;
};
G_GNUC_END_IGNORE_DEPRECATIONS

// True when an XEmbed tray manager runs on the screen.
bool TrayExists() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = gdk_x11_display_get_xdisplay(display);
  int screen = gdk_x11_screen_get_screen_number(gdk_screen_get_default());
  std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  Atom atom = XInternAtom(x, name.c_str(), False);
  return XGetSelectionOwner(x, atom) != None;
}

}  // namespace

bool GtkHost::Init() {
  if (!gtk_init_check(nullptr, nullptr)) return false;
  InstallAtkSink();
  return true;
}

std::unique_ptr<HostWindow> GtkHost::CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                                      HostKind kind) {
  auto* drawnOwner = static_cast<GtkDrawnWindow*>(owner);
  if (kind == HostKind::Layer && drawnOwner) return std::make_unique<GtkLayerWindow>(delegate, *drawnOwner);
  return std::make_unique<GtkTopWindow>(delegate, drawnOwner, kind);
}

HostRect GtkHost::GetWorkArea() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
  if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return {0, 0, 1366, 768};
  GdkRectangle r;
  gdk_monitor_get_workarea(monitor, &r);
  return {r.x, r.y, r.width, r.height};
}

void GtkHost::GetCursorPos(int& x, int& y) {
  x = y = 0;
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return;
  GdkSeat* seat = gdk_display_get_default_seat(display);
  GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
  if (pointer) gdk_device_get_position(pointer, nullptr, &x, &y);
}

void GtkHost::SetClipboardText(const std::string& utf8) {
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), utf8.c_str(),
                         static_cast<gint>(utf8.size()));
}

std::string GtkHost::GetClipboardText() {
  gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  std::string out = text ? text : "";
  g_free(text);
  return out;
}

std::unique_ptr<HostTray> GtkHost::CreateTray(const std::vector<unsigned char>& icon, const std::string& tip,
                                              std::function<void(int)> onClick) {
  // A status notifier item where the desktop watches for one, the XEmbed tray otherwise.
  if (StatusNotifierWatcherExists()) {
    if (auto tray = CreateIndicatorTray(icon, tip)) return tray;
  }
  if (!TrayExists()) return nullptr;
  GdkPixbuf* pixbuf = PixbufFromBytes(icon);
  auto tray = std::make_unique<GtkTray>(pixbuf, tip, std::move(onClick));
  if (pixbuf) g_object_unref(pixbuf);
  return tray;
}

namespace {
std::string RunChooser(GtkFileChooserNative* chooser) {
  std::string result;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (path) result = path;
    g_free(path);
  }
  g_object_unref(chooser);
  return result;
}

GtkWindow* ParentOf(HostWindow* owner) {
  if (!owner || !owner->NativeHandle()) return nullptr;
  GtkWidget* w = gtk_widget_get_toplevel(static_cast<GtkWidget*>(owner->NativeHandle()));
  return GTK_IS_WINDOW(w) ? GTK_WINDOW(w) : nullptr;
}
}  // namespace

std::string GtkHost::ChooseFile(HostWindow* owner, const std::string& title, const std::string& folder,
                                const std::vector<HostFileFilter>& filters) {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(title.c_str(), ParentOf(owner),
                                                              GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  if (!folder.empty()) gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.c_str());
  bool first = true;
  for (const auto& f : filters) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, f.name.c_str());
    // One filter may hold several patterns, separated by ';'.
    gchar** patterns = g_strsplit(f.pattern.c_str(), ";", -1);
    for (gchar** p = patterns; *p; ++p)
      if (**p) gtk_file_filter_add_pattern(filter, *p);
    g_strfreev(patterns);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    if (first) gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
    first = false;
  }
  return RunChooser(chooser);
}

std::string GtkHost::ChooseFolder(HostWindow* owner, const std::string& title) {
  GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
      title.c_str(), ParentOf(owner), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
  gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
  // The chosen folder becomes the current directory: the chooser opens there again.
  gchar* current = g_get_current_dir();
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), current);
  g_free(current);
  return RunChooser(chooser);
}

std::string GtkHost::ChooseSaveFile(HostWindow* owner, const std::string& title, const std::string& name) {
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(title.c_str(), ParentOf(owner), GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
  gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), g_get_home_dir());
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), name.c_str());
  // An existing file is refused by the caller (the program writes only files it creates),
  // so the chooser does not offer to replace one.
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), FALSE);
  return RunChooser(chooser);
}

bool GtkHost::OpenUri(const std::string& uri) {
  GError* error = nullptr;
  bool ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error) g_error_free(error);
  return ok;
}

int GtkHost::DoubleClickTime() {
  gint ms = 400;
  g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &ms, nullptr);
  return ms;
}

void GtkHost::ShowNotification(const std::string& title, const std::string& body, std::function<void()> onClick) {
  DesktopNotifier::Get().Show(title, body, std::move(onClick));
}
