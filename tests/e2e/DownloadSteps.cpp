// Download steps shared by the end-to-end tests.
#include "DownloadSteps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <system_error>

#include "FlowSteps.h"
#include "support/Waiting.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path SchoolMedia(const std::string& video) { return SchoolVideo(video); }

void DownloadSteps::CanNextAddress(const std::string& url, std::uintmax_t size) {
  CanNextVideoAddress(m_session, url, size);
}

void DownloadSteps::SlowNextDownload(const std::string& video, int rate) {
  SlowNextVideoDownload(m_session, video, rate);
}

int DownloadSteps::CountNear(const std::string& screenshot, const Rect& rect, Rgb colour) {
  return E2eSession::CountPixelsNear(m_session.Screenshot(screenshot), rect, colour, 24);
}

void DownloadSteps::StartDownload(int row, const std::string& screenshot) {
  std::string error;
  ASSERT_TRUE(DownloadThroughDialog(m_session, m_view, m_view.DownloadX(), m_view.RowCentreY(row), screenshot, error))
      << error;
}

void DownloadSteps::OpenVideoManager(const std::string& screenshot, std::chrono::milliseconds deadline) {
  const Rect box = m_view.VideoManager();
  // The dark title "视频下载" of its tool bar.
  const Rect title{box.x + 18, box.y + 1, 120, 50};
  m_session.Click(m_view.VideoManagerX(), m_view.ToolBarY());
  ASSERT_TRUE(m_session.WaitForColour(title, kTitleText, 30, deadline)) << "no manager window; log:\n"
                                                                   << m_session.BrowserLog();
  // Rows (dark titles) and not the empty state's grey "暂无下载数据".
  const std::string png = m_session.Screenshot(screenshot).string();
  EXPECT_GT(E2eSession::CountPixelsNear(png, {box.x + 30, box.y + 52, 250, 150}, kTitleText, 24), 30)
      << "the manager window shows no row";
  EXPECT_EQ(E2eSession::CountPixelsNear(png, {box.x + 100, box.y + 386, 160, 22}, {0x99, 0x99, 0x99}, 16), 0)
      << "the manager window shows its empty state";
}

fs::path DownloadSteps::FindDownload(const std::string& fileName) const {
  return FindFileNamed(m_session.root(), fileName);
}

}  // namespace e2e
