// Whether the D-Bus session bus can be reached without GLib starting one of its own (which
// would outlive the program): an address is set, or the user's standard socket exists.
#pragma once

bool DesktopSessionBusReachable();
