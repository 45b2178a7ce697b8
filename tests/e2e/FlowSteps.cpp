// Steps shared by the end-to-end flows.
#include "FlowSteps.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>

#include "support/Waiting.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path FindFileNamed(const fs::path& root, const std::string& name) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (ec) break;
    if (it->path().filename() == name && it->is_regular_file()) return it->path();
  }
  return {};
}

fs::path SchoolVideo(const std::string& video) { return BuildFolder() / "demo-data" / "media" / (video + ".mp4"); }

fs::path SchoolDocument(const std::string& file) { return BuildFolder() / "demo-data" / "docs" / file; }

int FirstRowPercent(E2eSession& session, const std::string& id, size_t from) {
  const std::string log = session.BrowserLog();
  if (log.size() <= from) return -1;
  std::smatch match;
  const std::string tail = log.substr(from);
  if (!std::regex_search(tail, match, std::regex("list row " + id + " ([0-9]+)%"))) return -1;
  return std::atoi(match[1].str().c_str());
}

int HighestRowPercent(E2eSession& session, const std::string& id) {
  const std::string log = session.BrowserLog();
  const std::regex line("list row " + id + " ([0-9]+)%");
  int highest = -1;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
    highest = std::max(highest, std::atoi((*it)[1].str().c_str()));
  return highest;
}

void CanNextVideoAddress(E2eSession& session, const std::string& url, std::uintmax_t size) {
  const std::string answer = "{\\\"code\\\":200,\\\"msg\\\":{\\\"msg\\\":\\\"ok\\\"},\\\"FileURL\\\":\\\"" + url +
                             "\\\",\\\"Size\\\":" + std::to_string(size) + "}";
  session.DemoPost("/__test/canned",
                   "{\"path\":\"/api/Apibook/playUri\",\"status\":200,\"times\":1,"
                   "\"contentType\":\"application/json\",\"body\":\"" +
                       answer + "\"}");
}

void SlowNextVideoDownload(E2eSession& session, const std::string& video, int rate) {
  CanNextVideoAddress(session, session.demo().origin() + "/media/" + video + ".mp4?rate=" + std::to_string(rate),
                      fs::file_size(SchoolVideo(video)));
}

bool DownloadThroughDialog(E2eSession& session, const CourseView& view, int x, int y,
                           const std::string& screenshot, std::string& error) {
  const Rect box = view.LocationDialog();
  // "btnOk" (104 x 38, 32 px from the right, 28 from the bottom) is drawn in orange.
  const Rect ok{box.x + box.width - 137, box.y + box.height - 67, 104, 38};
  auto orange = [&] { return E2eSession::CountPixelsNear(session.Screenshot("e2e-wait.png"), ok, kAccent, 24); };
  if (orange() != 0) {
    error = "orange where the location dialog will be";
    return false;
  }
  session.Click(x, y);
  if (!session.WaitForColour(ok, kAccent, 1000, 30s)) {
    error = "no location dialog; log:\n" + session.BrowserLog();
    return false;
  }
  if (!screenshot.empty()) session.Screenshot(screenshot);
  session.Click(ok.x + ok.width / 2, ok.y + ok.height / 2);
  if (!WaitUntil([&] { return orange() == 0; }, 20s, 100ms)) {
    error = "the location dialog stayed";
    return false;
  }
  return true;
}

bool PictureChanges(E2eSession& session, const Rect& area, int times, std::chrono::milliseconds interval) {
  uint64_t last = E2eSession::AreaChecksum(session.Screenshot("e2e-wait.png"), area);
  int changes = 0;
  return WaitUntil(
      [&] {
        const uint64_t now = E2eSession::AreaChecksum(session.Screenshot("e2e-wait.png"), area);
        if (now != last) ++changes;
        last = now;
        return changes >= times;
      },
      std::chrono::seconds(30), interval);
}

bool ShowPlayerOverlays(E2eSession& session, const Rect& player, Rect& close, std::string& error) {
  // "closebtn" of the title bar (24 x 24, 20 px from the right, 16 down). A pointer move
  // over the page shows the title bar if it was hidden; its white cross shows it is there.
  close = {player.x + player.width - 44, player.y + 16, 24, 24};
  int step = 0;
  const bool shown = WaitUntil(
      [&] {
        ++step;
        session.MoveTo(close.x - 200 - 10 * (step % 2), close.y + 200 + 10 * (step % 2));
        return E2eSession::CountPixelsNear(session.Screenshot("e2e-wait.png"), close, kWhite, 40) >= 10;
      },
      20s, 200ms);
  if (!shown) error = "the player's title bar did not show";
  return shown;
}

bool ClosePlayer(E2eSession& session, const Rect& player, std::string& error, const std::string& className) {
  Rect close;
  if (!ShowPlayerOverlays(session, player, close, error)) return false;
  session.Click(close.x + close.width / 2, close.y + close.height / 2);
  if (!session.WaitForNoWindow(className, 20s)) {
    error = "the player stayed";
    return false;
  }
  return true;
}

}  // namespace e2e
