// The link from the lists to local playback and the viewer.
#include "mainwnd/OfflineOpen.h"

#include "app/Log.h"
#include "mainwnd/LookDocDlg.h"

namespace {
LocalPlayHook& Hook() {
  static LocalPlayHook hook;
  return hook;
}
}  // namespace

void SetLocalPlayHook(LocalPlayHook hook) { Hook() = std::move(hook); }

bool PlayDownloadedVideo(const DownloadTask& task) {
  if (!Hook()) {
    LogError(L"PlayDownloadedVideo: local playback is not connected");
    return false;
  }
  Hook()(task);
  return true;
}

void OpenDownloadedDocument(const std::string& path) { OpenDocViewer(path); }
