// Download steps shared by the end-to-end tests.
#include "DownloadSteps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <system_error>

#include "support/Waiting.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path SchoolMedia(const std::string& video) {
  return BuildFolder() / "demo-data" / "media" / (video + ".mp4");
}

void DownloadSteps::CanNextAddress(const std::string& url, std::uintmax_t size) {
  const std::string answer = "{\\\"code\\\":200,\\\"msg\\\":{\\\"msg\\\":\\\"ok\\\"},\\\"FileURL\\\":\\\"" +
                             url + "\\\",\\\"Size\\\":" + std::to_string(size) + "}";
  m_session.DemoPost("/__test/canned",
                     "{\"path\":\"/api/Apibook/playUri\",\"status\":200,\"times\":1,"
                     "\"contentType\":\"application/json\",\"body\":\"" +
                         answer + "\"}");
}

void DownloadSteps::SlowNextDownload(const std::string& video, int rate) {
  CanNextAddress(m_session.demo().origin() + "/media/" + video + ".mp4?rate=" + std::to_string(rate),
                 fs::file_size(SchoolMedia(video)));
}

int DownloadSteps::CountNear(const std::string& screenshot, const Rect& rect, Rgb colour) {
  return E2eSession::CountPixelsNear(m_session.Screenshot(screenshot), rect, colour, 24);
}

void DownloadSteps::StartDownload(int row, const std::string& screenshot) {
  const Rect box = m_view.LocationDialog();
  // "btnOk" (104 x 38, 32 px from the right, 28 from the bottom) is drawn in orange.
  const Rect ok{box.x + box.width - 137, box.y + box.height - 67, 104, 38};
  ASSERT_EQ(CountNear("e2e-download-no-dialog.png", ok, kAccent), 0) << "orange where the dialog will be";
  m_session.Click(m_view.DownloadX(), m_view.RowCentreY(row));
  ASSERT_TRUE(m_session.WaitForColour(ok, kAccent, 1000, 30s)) << "no location dialog; log:\n"
                                                               << m_session.BrowserLog();
  if (!screenshot.empty()) m_session.Screenshot(screenshot);
  m_session.Click(ok.x + ok.width / 2, ok.y + ok.height / 2);
  ASSERT_TRUE(WaitUntil([&] { return CountNear("e2e-wait.png", ok, kAccent) == 0; }, 20s, 100ms))
      << "the dialog stayed";
}

void DownloadSteps::OpenVideoManager(const std::string& screenshot) {
  const Rect box = m_view.VideoManager();
  // The dark title "视频下载" of its tool bar.
  const Rect title{box.x + 18, box.y + 1, 120, 50};
  m_session.Click(m_view.VideoManagerX(), m_view.ToolBarY());
  ASSERT_TRUE(m_session.WaitForColour(title, kTitleText, 30, 20s)) << "no manager window; log:\n"
                                                                   << m_session.BrowserLog();
  // Rows (dark titles) and not the empty state's grey "暂无下载数据".
  const std::string png = m_session.Screenshot(screenshot).string();
  EXPECT_GT(E2eSession::CountPixelsNear(png, {box.x + 30, box.y + 52, 250, 150}, kTitleText, 24), 30)
      << "the manager window shows no row";
  EXPECT_EQ(E2eSession::CountPixelsNear(png, {box.x + 100, box.y + 386, 160, 22}, {0x99, 0x99, 0x99}, 16), 0)
      << "the manager window shows its empty state";
}

fs::path DownloadSteps::FindDownload(const std::string& fileName) const {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(m_session.root(), ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (it->path().filename() == fileName && it->is_regular_file()) return it->path();
  }
  return {};
}

}  // namespace e2e
