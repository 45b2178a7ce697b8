#include "platform/DesktopBus.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

bool DesktopSessionBusReachable() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  std::string socket = std::string(g_get_user_runtime_dir()) + "/bus";
  struct stat info {};
  return g_stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}
