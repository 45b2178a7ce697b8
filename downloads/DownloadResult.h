// How a download job ended, and the number its WM_DOWNLOAD_RESULT message carries.
#pragma once

#include "platform/Types.h"

enum class DownloadResult {
  Succeeded,  // the file is complete on disk
  Failed,     // the transfer failed (logged)
  Aborted,    // paused or removed (the record's state says which), or the pool is stopping
  DiskFull,   // the disk had no room for the next bytes; those already written stay
};

// The message's wParam: 0 succeeded, 1 failed, 3 aborted, 4 disk full.
constexpr WPARAM DownloadResultWParam(DownloadResult result) {
  switch (result) {
    case DownloadResult::Succeeded:
      return 0;
    case DownloadResult::Failed:
      return 1;
    case DownloadResult::Aborted:
      return 3;
    case DownloadResult::DiskFull:
      return 4;
  }
  return 1;
}
