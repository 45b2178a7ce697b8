// Choosing the player of a downloaded video.
#include "playback/PlayLocal.h"

#include <string>
#include <thread>

#include "browser/LoopTask.h"
#include "downloads/DownloadTask.h"
#include "playback/MediaProbe.h"
#include "playback/SystemPlayer.h"
#include "playback/VideoLocalPlayDlg.h"

void PlayLocal(const DownloadTask& task, std::function<void(bool h264)> probed) {
  // The probe reads the file, so it runs off the main loop. A file the program does not
  // play goes to the external player from this same thread, which then waits for it.
  std::thread([classId = task.classId, id = task.id, name = task.name, path = task.localFile,
               probed = std::move(probed)]() mutable {
    const bool h264 = IsH264File(path);
    if (h264) {
      PostLoopTask([classId, id, name, path, probed] {
        OpenLocalPlayer(classId, id, name, path);
        if (probed) probed(true);
      });
      return;
    }
    if (probed) PostLoopTask([probed] { probed(false); });
    if (PlayWithSystemPlayer(path) == SystemPlayerResult::NoApplication) ShowNoPlayerTip();
  }).detach();
}
