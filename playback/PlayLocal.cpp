// Choosing the player of a downloaded video.
#include "playback/PlayLocal.h"

#include <string>

#include "downloads/DownloadTask.h"
#include "platform/BackgroundTask.h"
#include "playback/MediaProbe.h"
#include "playback/SystemPlayer.h"
#include "playback/VideoLocalPlayDlg.h"

void PlayLocal(const DownloadTask& task, std::function<void(bool h264)> probed, int64_t fromSecond) {
  // The probe reads the file, so it runs off the main loop. A file the program does not
  // play goes to the external player.
  BackgroundTask::RunDetachedResult(
      [path = task.localFile](const CancelToken&) { return IsH264File(path); },
      [classId = task.classId, id = task.id, name = task.name, path = task.localFile,
       probed = std::move(probed), fromSecond](bool h264) {
        if (h264) {
          OpenLocalPlayer(classId, id, name, path, fromSecond);
        } else {
          StartSystemPlayer(path);
        }
        if (probed) probed(h264);
      });
}
