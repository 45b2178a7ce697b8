// Downloading from the lesson and document lists, seen from outside the program: the
// row's "下载" with its location dialog, the downloaded file on disk, and the video
// manager window under its tool-bar button.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "CourseView.h"
#include "E2eSession.h"

namespace e2e {

class DownloadSteps {
 public:
  DownloadSteps(E2eSession& session, CourseView& view) : m_session(session), m_view(view) {}

  // Clicks the "下载" of list row `row` (lessons or documents, whichever tab shows) and
  // confirms the location dialog; a non-empty `screenshot` saves the dialog. Fails the
  // test (ASSERT) when the dialog does not come or does not go.
  void StartDownload(int row, const std::string& screenshot);
  // Opens the video manager window under its button and checks that it shows a row; the
  // window has `deadline` to answer the click.
  void OpenVideoManager(const std::string& screenshot,
                        std::chrono::milliseconds deadline = std::chrono::seconds(20));
  // The downloaded file: the one regular file named `fileName` in the session's folders.
  std::filesystem::path FindDownload(const std::string& fileName) const;
  // The next address lookup of a video names `url` with `size` bytes.
  void CanNextAddress(const std::string& url, std::uintmax_t size);
  // The next lookup of video `video` names the school's file sent at `rate` bytes per
  // second, so that the download lasts long enough to be watched.
  void SlowNextDownload(const std::string& video, int rate);
  // A screenshot's count of pixels of `rect` close to `colour`.
  int CountNear(const std::string& screenshot, const Rect& rect, Rgb colour);

 private:
  E2eSession& m_session;
  CourseView& m_view;
};

// The school's copy of lesson video `video` (an MP4) in the build's demo data.
std::filesystem::path SchoolMedia(const std::string& video);

// The dark title text of the manager windows and their rows.
inline constexpr Rgb kTitleText{0x29, 0x29, 0x29};

}  // namespace e2e
