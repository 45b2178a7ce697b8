// Steps that several end-to-end flows take the same way: files on disk, the download
// rows' percentages in the day log, canned video addresses, the location dialog and the
// player's title bar. Each step returns false with the reason in `error` when the program
// did not get where the step leads.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "CourseView.h"
#include "E2eSession.h"

namespace e2e {

std::string ReadBytes(const std::filesystem::path& path);

// The one regular file named `name` under `root`, else empty.
std::filesystem::path FindFileNamed(const std::filesystem::path& root, const std::string& name);

// The school's copy of a video (`v110101`) and of a document file (`jy110101.pdf`).
std::filesystem::path SchoolVideo(const std::string& video);
std::filesystem::path SchoolDocument(const std::string& file);

// The first (from byte `from` of the day log) and the highest percentage a list row showed
// for the task `id`, or -1.
int FirstRowPercent(E2eSession& session, const std::string& id, size_t from = 0);
int HighestRowPercent(E2eSession& session, const std::string& id);

// The next address lookup of a video names `url` with `size` bytes.
void CanNextVideoAddress(E2eSession& session, const std::string& url, std::uintmax_t size);
// The next lookup names the school's copy of `video`, sent at `rate` bytes per second.
void SlowNextVideoDownload(E2eSession& session, const std::string& video, int rate);

// Clicks a row's "下载" at (x, y), waits for the location dialog, saves `screenshot` (when
// not empty) and confirms the dialog with its OK button.
bool DownloadThroughDialog(E2eSession& session, const CourseView& view, int x, int y,
                           const std::string& screenshot, std::string& error);

// Whether the picture in `area` changes `times` times within 30 s, read off screenshots
// `interval` apart: a video that goes on playing.
bool PictureChanges(E2eSession& session, const Rect& area, int times, std::chrono::milliseconds interval);

// Brings up the player's overlays with pointer moves over the page until the title bar's
// white close button shows; the close button's rectangle.
bool ShowPlayerOverlays(E2eSession& session, const Rect& player, Rect& close, std::string& error);
// Closes the player (the online one, or the local one by its class name) with its title
// bar's close button and waits until it is gone.
bool ClosePlayer(E2eSession& session, const Rect& player, std::string& error,
                 const std::string& className = "videoPlayDlgClass");

}  // namespace e2e
