// The signed-in account's avatar picture, kept in its header folder.
#pragma once

#include <string>

#include "platform/Types.h"

// The local copy of the avatar at `address`. When there is one, every other file of the
// header folder is deleted and its path returned. Otherwise a download of the picture
// (kind 1, reported to `window` with WM_DOWNLOAD_RESULT) is started and the answer is
// empty, as it is for an empty address or one without a usable file name.
std::string DownloadHeaderIcon(HWND window, const std::string& address);

// The file name the avatar at `address` is kept under: the last path part of the address
// without its query or fragment; empty when that is no plain file name ("", ".", "..").
std::string HeaderFileNameOf(const std::string& address);
