// Modal choosers, window activation and opening web addresses, on the current host.
#pragma once

#include <string>

#include "platform/Types.h"

// A picture file (first filter "Jpg Files(*jpg)", then png and ico); empty when cancelled.
std::wstring ChooseFile(HWND owner, const std::wstring& initialFolder);
// A folder (title "选择下载目录"), without a trailing "/"; it becomes the process's current
// directory, and the answer is empty when that fails or the user cancels.
std::wstring ChooseFolder(HWND owner);
// Shows, restores and (with attachInput) raises and focuses the window.
void ActivateWindow(HWND hwnd, bool attachInput);
// Opens a web address with the desktop's default handler.
bool OpenUrl(const std::wstring& url);
