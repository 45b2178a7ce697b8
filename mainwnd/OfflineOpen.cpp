// The link from the lists to local playback and the viewer.
#include "mainwnd/OfflineOpen.h"

#include <filesystem>

#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/LocalFileUrl.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/PdfSniff.h"
#include "platform/host/Host.h"

namespace {
LocalPlayHook& Hook() {
  static LocalPlayHook hook;
  return hook;
}
LocalPlayFromHook& FromHook() {
  static LocalPlayFromHook hook;
  return hook;
}
}  // namespace

void SetLocalPlayHook(LocalPlayHook hook) { Hook() = std::move(hook); }
void SetLocalPlayFromHook(LocalPlayFromHook hook) { FromHook() = std::move(hook); }

bool PlayDownloadedVideoFrom(const DownloadTask& task, int64_t fromSecond) {
  if (!FromHook()) return PlayDownloadedVideo(task);
  FromHook()(task, fromSecond);
  return true;
}

bool PlayDownloadedVideo(const DownloadTask& task) {
  if (!Hook()) {
    LogError(L"PlayDownloadedVideo: local playback is not connected");
    return false;
  }
  Hook()(task);
  return true;
}

void OpenDownloadedDocument(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec) || LooksLikePdf(path)) {
    OpenDocViewer(path);
    return;
  }
  // Not a PDF: the desktop's program for it opens it, never a window of this program (a
  // page from the school is no page of the program).
  LogNormal(L"OpenDownloadedDocument: not a PDF, handed to the desktop: " + AnsiToWide(path));
  if (!GetHost().OpenUri(WideToUtf8(LocalFileUrl(path))))
    LogError(L"OpenDownloadedDocument: the desktop cannot open " + AnsiToWide(path));
}
