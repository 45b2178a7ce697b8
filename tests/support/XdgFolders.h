// Points the XDG base folders (data, state, config, cache) and the desktop's download folder
// of this process into a private root, so tests never touch the real home folder.
#pragma once

#include <stdlib.h>

#include <filesystem>

inline void PointXdgFoldersInto(const std::filesystem::path& root) {
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
  setenv("XDG_DOWNLOAD_DIR", (root / "Downloads").c_str(), 1);
}
