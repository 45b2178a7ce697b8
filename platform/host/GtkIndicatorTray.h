// The tray icon as a status notifier item (libayatana-appindicator3): what GNOME (with
// its extension), KDE and most Wayland desktops show. Used when a status notifier watcher
// runs on the session bus; the desktop draws the menu and reports choices.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/Host.h"

// True when a session bus can be reached without one being started for this process (an
// address is given, or the user's bus socket exists).
bool SessionBusReachable();

// True when the session bus has a status notifier watcher. Never starts a bus.
bool StatusNotifierWatcherExists();

// Null when the icon could not be made.
std::unique_ptr<HostTray> CreateIndicatorTray(const std::vector<unsigned char>& icon,
                                              const std::string& title);
