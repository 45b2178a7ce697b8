// Playing a downloaded lesson video: H.264 plays in the local player, anything else (or a
// file that cannot be read as media) in the desktop's default application.
#pragma once

#include <cstdint>
#include <functional>

struct DownloadTask;

// Uses the task's class id, id, file name and local path. The file is probed on a thread
// of its own; the local player opens on the main loop afterwards. `probed` (tests) is
// called on the main loop with the probe's answer once the player was chosen.
// The local player starts at `fromSecond` (the desktop's player always at the beginning).
void PlayLocal(const DownloadTask& task, std::function<void(bool h264)> probed = {}, int64_t fromSecond = 0);
