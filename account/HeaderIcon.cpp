// Fetching and keeping the avatar picture.
#include "account/HeaderIcon.h"

#include <filesystem>

#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadJob.h"

std::string HeaderFileNameOf(const std::string& address) {
  std::string name = FileNameOf(address.substr(0, address.find_first_of("?#")));
  // The name becomes part of a local path: nothing that could leave the header folder.
  if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos) return {};
  return name;
}

std::string DownloadHeaderIcon(HWND window, const std::string& address) {
  if (address.empty()) return {};
  const std::string name = HeaderFileNameOf(address);
  if (name.empty()) {
    LogError(L"DownloadHeaderIcon: no file name in " + AnsiToWide(address));
    return {};
  }
  const std::string folder = WideToAnsi(GetHeaderFolder());
  const std::string local = folder + name;
  std::error_code ec;
  if (!std::filesystem::exists(local, ec)) {
    DownloadTask task;
    task.state = TaskState::Waiting;
    task.kind = TaskKind::Avatar;
    task.url = address;
    task.localFile = local;
    task.name = name;
    task.notifyWindow = window;
    SubmitDownload(task);
    return {};
  }
  DeleteFolderExcept(folder, local);
  return local;
}
