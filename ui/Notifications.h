// What the program announces on the desktop: a download that finished or failed, a
// sign-in that expired while the main window was out of sight. A click on a download's
// notification shows the main window ("mainDlgClass") and the window given (the download
// manager); on the expired sign-in's, the sign-in windows.
#pragma once

#include <string>

#include "platform/Types.h"

enum class DownloadNotice { Finished, Failed };

// `name` is the lesson's or document's name; `managerWindow` may be kNoWindow.
void NotifyDownloadResult(const std::wstring& name, DownloadNotice outcome, HWND managerWindow);
void NotifyLoginExpired();
