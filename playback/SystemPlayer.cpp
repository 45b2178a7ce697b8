// The external player on GIO: the default application for the file's content type,
// launched with its process id so the thread can wait for it.
#include "playback/SystemPlayer.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>

#include "account/MessageBoxDlg.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/LoopTask.h"
#include "browser/renderer/GRef.h"
#include "mainwnd/MainDlg.h"
#include "platform/BackgroundTask.h"

namespace {

constexpr int kTipDistance = 553;
constexpr int kTipWidth = 220;

std::wstring TakeMessage(GError* error) {
  std::wstring text = Utf8ToWide(error ? error->message : "");
  if (error) g_error_free(error);
  return text;
}

// The content type from the file's name and first bytes; empty when it cannot be read.
std::string ContentTypeOf(GFile* file) {
  GError* error = nullptr;
  auto info = GRef<GFileInfo>::Adopt(g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                       G_FILE_QUERY_INFO_NONE, nullptr, &error));
  if (!info) {
    LogError(L"PlayWithSystemPlayer: the file cannot be read: " + TakeMessage(error));
    return {};
  }
  const char* type = g_file_info_get_content_type(info.get());
  return type ? type : "";
}

void ReportPid(GDesktopAppInfo*, GPid pid, gpointer user) { *static_cast<GPid*>(user) = pid; }

}  // namespace

void ShowNoPlayerTip() {
  PostLoopTask([] {
    if (MainDlg* main = GetMainDlg()) ShowTip(main->GetHWND(), kTipDistance, kTipWidth, kNoPlayerTip);
  });
}

SystemPlayerResult PlayWithSystemPlayer(const std::string& path) {
  auto file = GRef<GFile>::Adopt(g_file_new_for_path(path.c_str()));
  const std::string type = ContentTypeOf(file.get());
  auto app =
      GRef<GAppInfo>::Adopt(type.empty() ? nullptr : g_app_info_get_default_for_type(type.c_str(), FALSE));
  if (!app) {
    LogError(L"PlayWithSystemPlayer: no application plays " + Utf8ToWide(type.empty() ? "this file" : type) +
             L": " + AnsiToWide(path));
    return SystemPlayerResult::NoApplication;
  }
  LogNormal(L"PlayWithSystemPlayer: " +
            Utf8ToWide(g_app_info_get_id(app.get()) ? g_app_info_get_id(app.get()) : "") + L" " +
            AnsiToWide(path));

  GList uris = {};
  gchar* uri = g_file_get_uri(file.get());
  uris.data = uri;
  GError* error = nullptr;
  GPid pid = 0;
  bool launched = false;
  if (G_IS_DESKTOP_APP_INFO(app.get())) {
    launched = g_desktop_app_info_launch_uris_as_manager(
        G_DESKTOP_APP_INFO(app.get()), &uris, nullptr,
        static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
        &ReportPid, &pid, &error);
  } else {
    launched = g_app_info_launch_uris(app.get(), &uris, nullptr, &error);
  }
  g_free(uri);
  if (!launched) {
    LogError(L"PlayWithSystemPlayer: the application did not start: " + TakeMessage(error));
    return SystemPlayerResult::LaunchFailed;
  }
  if (pid <= 0) {
    LogNormal(L"StartProcess end (started through the desktop bus, not waited for)");
    return SystemPlayerResult::NotWaited;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  g_spawn_close_pid(pid);
  LogNormal(L"StartProcess end");
  return SystemPlayerResult::Ended;
}

void StartSystemPlayer(std::string path) {
  // The worker waits for the player to end (it is the student's, however long they watch);
  // the pool lends another worker to anything else meanwhile.
  BackgroundTask::RunDetachedResult(
      [path = std::move(path)](const CancelToken&) { return PlayWithSystemPlayer(path); },
      [](SystemPlayerResult result) {
        if (result == SystemPlayerResult::NoApplication) ShowNoPlayerTip();
      });
}
