// The file manager's "show the file" call, with the folder's address as the fallback.
#include "platform/ShowInFolder.h"

#include <gio/gio.h>

#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

struct Request {
  std::string folderUri;
  std::function<void(const std::string&)> openFolder;
};

void Fallback(std::unique_ptr<Request> request) {
  if (request->openFolder) request->openFolder(request->folderUri);
}

void OnShown(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<Request> request(static_cast<Request*>(data));
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply != nullptr) {
    g_variant_unref(reply);
    return;
  }
  LogNormal(L"the file manager cannot select the file (" + Utf8ToWide(error ? error->message : "") +
            L"), opening its folder");
  if (error) g_error_free(error);
  Fallback(std::move(request));
}

}  // namespace

void ShowInFolder(const std::string& path, std::function<void(const std::string& folderUri)> openFolder) {
  auto request = std::make_unique<Request>();
  GFile* file = g_file_new_for_path(path.c_str());
  GFile* parent = g_file_get_parent(file);
  gchar* fileUri = g_file_get_uri(file);
  gchar* folderUri = parent ? g_file_get_uri(parent) : g_file_get_uri(file);
  request->folderUri = folderUri;
  request->openFolder = std::move(openFolder);
  const std::string item = fileUri;
  g_free(fileUri);
  g_free(folderUri);
  if (parent) g_object_unref(parent);
  g_object_unref(file);

  // Without a session bus there is no file manager to ask (and none is started for it).
  const char* address = g_getenv("DBUS_SESSION_BUS_ADDRESS");
  GDBusConnection* bus =
      address != nullptr && *address != '\0' ? g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr) : nullptr;
  if (bus == nullptr) {
    Fallback(std::move(request));
    return;
  }
  const gchar* items[] = {item.c_str(), nullptr};
  g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", items, ""),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, 3000, nullptr, &OnShown, request.release());
  g_object_unref(bus);
}
