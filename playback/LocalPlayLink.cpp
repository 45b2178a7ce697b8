// The lists' way to local playback.
#include "playback/LocalPlayLink.h"

#include "downloads/DownloadTask.h"
#include "mainwnd/OfflineOpen.h"
#include "playback/PlayLocal.h"

void InstallLocalPlayLink() {
  SetLocalPlayHook([](const DownloadTask& task) { PlayLocal(task); });
  SetLocalPlayFromHook([](const DownloadTask& task, int64_t fromSecond) { PlayLocal(task, {}, fromSecond); });
}
