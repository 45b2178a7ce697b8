// Hard links that let the sandboxed web processes read one local video.
#include "browser/LocalMedia.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace fs = std::filesystem;

std::string WebReadableMediaFolder() {
  std::string folder = WideToAnsi(GetCacheFolder()) + "local-media/";
  EnsureFolder(AnsiToWide(folder));
  return folder;
}

void ClearSharedMedia() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(WebReadableMediaFolder(), ec)) fs::remove(entry.path(), ec);
}

std::string ShareMediaWithWebProcess(const std::string& path) {
  ClearSharedMedia();
  // A new name each time, so the engine never serves an older file from its cache.
  static std::atomic<unsigned> counter{0};
  std::string link = WebReadableMediaFolder() + "media-" + std::to_string(getpid()) + "-" +
                     std::to_string(++counter) + fs::path(path).extension().string();
  std::error_code ec;
  fs::create_hard_link(path, link, ec);
  if (ec) {
    LogError(L"ShareMediaWithWebProcess: " + AnsiToWide(path) + L" cannot be linked: " +
             AnsiToWide(ec.message()));
    return {};
  }
  return link;
}
