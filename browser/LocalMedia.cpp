// Links left behind by earlier versions' local player.
#include "browser/LocalMedia.h"

#include <filesystem>

#include "app/Folders.h"
#include "app/TextConv.h"

namespace fs = std::filesystem;

void RemoveLeftoverMediaLinks() {
  const fs::path folder = fs::path(WideToAnsi(GetCacheFolder())) / "local-media";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  // Only the program's own links are there ("media-<pid>-<n>.<ext>").
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().starts_with("media-")) fs::remove(entry.path(), ec);
  }
  fs::remove(folder, ec);  // only when empty
}
