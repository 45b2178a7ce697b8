// The session bus address of a program started without a session bus.
#include "app/main/SessionBus.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSocket(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

std::string AddressWithoutAutolaunch(const char* address, const char* runtimeDir, unsigned uid) {
  if (address != nullptr && *address != '\0') return {};
  std::string folder =
      runtimeDir != nullptr && *runtimeDir == '/' ? runtimeDir : "/run/user/" + std::to_string(uid);
  std::string socket = folder + "/bus";
  // GLib finds the user's bus there by itself; only its absence leads to autolaunch.
  if (IsSocket(socket)) return {};
  return "unix:path=" + socket;
}

void KeepSessionBusFromAutolaunch() {
  std::string address =
      AddressWithoutAutolaunch(getenv("DBUS_SESSION_BUS_ADDRESS"), getenv("XDG_RUNTIME_DIR"), getuid());
  if (!address.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}
