// Videos the program does not play itself go to the desktop's default application for
// the file's media type, started as a process of its own and waited for on a thread of
// its own, so the program stays usable while it runs.
#pragma once

#include <string>

enum class SystemPlayerResult {
  Ended,          // the program ran and has ended
  NotWaited,      // started, but through the desktop bus: there is no process to wait for
  NoApplication,  // no application is registered for the file's media type
  LaunchFailed,   // the application could not be started
};

// Starts the default application with the file and waits for its process. Blocks: call it
// from a thread of its own. Every outcome leaves a log line.
SystemPlayerResult PlayWithSystemPlayer(const std::string& path);

// From any thread: the main window shows a tip that no application can play the file.
void ShowNoPlayerTip();

// PlayWithSystemPlayer on a detached thread of its own, which owns its copy of the path;
// the tip above when no application can play the file.
void StartSystemPlayer(std::string path);

// The tip shown when no application can play a file.
inline constexpr const wchar_t* kNoPlayerTip = L"没有可以播放该文件的程序";
