// Shows a file in the desktop's file manager: its folder opened with the file selected
// where the file manager offers that (org.freedesktop.FileManager1 "ShowItems" on the
// session bus), else `openFolder` is handed the folder's address (the desktop's default
// handler). Asynchronous: the main loop never waits for the bus.
#pragma once

#include <functional>
#include <string>

// `path`: an absolute UTF-8 path. `openFolder` runs on the main thread when the file manager
// cannot select the file.
void ShowInFolder(const std::string& path, std::function<void(const std::string& folderUri)> openFolder);
