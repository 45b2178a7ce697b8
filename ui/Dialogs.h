// Modal choosers, window activation and opening web addresses, on the current host.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"
#include "ui/UIDefs.h"

// A picture file: the first filter shows jpg, jpeg, png and ico files in any case, then one
// filter each ("Jpg Files(*jpg)", png, ico). Opens in `initialFolder`, or by default in the
// student's pictures folder (home without one). Empty when cancelled.
std::wstring ChooseFile(HWND owner, const std::wstring& initialFolder = {});
// A folder (title "选择下载目录"), opening at the current directory, without a trailing "/"; it becomes the process's current
// directory, and the answer is empty when that fails or the user cancels.
std::wstring ChooseFolder(HWND owner);
// The same, opening at `startFolder` (the folder in use) when it exists; it becomes the
// current directory for that.
std::wstring ChooseFolder(HWND owner, const std::wstring& startFolder);
// Where to save a new file (title `title`, suggested name `name`); empty when cancelled.
std::wstring ChooseSaveFile(HWND owner, const std::wstring& title, const std::wstring& name);
// Shows, restores and (with attachInput) raises and focuses the window.
void ActivateWindow(HWND hwnd, bool attachInput);
// Where the mouse pointer is on the screen (a menu opens there).
CDuiPoint GetCursorScreenPos();
// Opens a web address with the desktop's default handler, or where the desktop has none,
// with the fallback set below (the program's own page window).
bool OpenUrl(const std::wstring& url);
// What OpenUrl does when the desktop cannot open the address; true when it showed it.
void SetOpenUrlFallback(std::function<bool(const std::wstring& url)> fallback);
