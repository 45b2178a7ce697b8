// The local file name of a new download: the title the service gave (untrusted) followed
// by the extension of its address. Nothing of either may lead outside the chosen folder.
#pragma once

#include <string>

#include "downloads/DownloadTask.h"

// The extension of the address's file name (from its last "." on, the dot included),
// ignoring a query or fragment. An address without a usable extension (none, one that is not
// 1 to 15 letters and digits, or one that is not a media file's for a video or a document's
// for a document: ".html", ".svg", ".js"…) gets ".mp4" for videos and ".pdf" for documents.
std::string UrlExtension(const std::string& url, TaskKind kind);

// title + extension, with "/", "\" and control characters taken out of the title and the
// whole cut to what one file name may hold (255 bytes, never inside a character). Empty
// when nothing usable is left ("", "." or "..").
std::string MakeDownloadName(const std::string& title, const std::string& url, TaskKind kind);
