// Opening what was downloaded, for the lists of the main window: documents open in the
// viewer of this module; videos play through local playback, which lives in a higher
// module and is connected here at start-up (tests connect a fake).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct DownloadTask;

using LocalPlayHook = std::function<void(const DownloadTask& task)>;

void SetLocalPlayHook(LocalPlayHook hook);
// Plays the task's downloaded video; false (and a log line) when nothing is connected.
bool PlayDownloadedVideo(const DownloadTask& task);
// The same from a moment of the video (a bookmark's), where local playback can start there.
using LocalPlayFromHook = std::function<void(const DownloadTask& task, int64_t fromSecond)>;
void SetLocalPlayFromHook(LocalPlayFromHook hook);
bool PlayDownloadedVideoFrom(const DownloadTask& task, int64_t fromSecond);
// Shows a downloaded PDF in the viewer (the one open, or a new one); any other file is handed
// to the desktop's program for it.
void OpenDownloadedDocument(const std::string& path);
