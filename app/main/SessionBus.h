// The D-Bus session bus at start-up. Without one, GLib would start a bus of its own through
// `dbus-launch --autolaunch`, and the accessibility bus launcher would follow on it; both
// outlive the program. The program instead points the address at the user's standard bus
// socket, which does not exist then: D-Bus users (tray watcher, notifications,
// accessibility) find no bus and step aside, and nothing is left running afterwards.
#pragma once

#include <string>

// The address to set when no session bus can be reached, empty to leave the environment
// as it is. `address` is DBUS_SESSION_BUS_ADDRESS (null when unset), `runtimeDir`
// XDG_RUNTIME_DIR (null when unset), `uid` the user's id.
std::string AddressWithoutAutolaunch(const char* address, const char* runtimeDir, unsigned uid);

// Applies AddressWithoutAutolaunch to this process's environment. Call while the program
// has one thread.
void KeepSessionBusFromAutolaunch();
