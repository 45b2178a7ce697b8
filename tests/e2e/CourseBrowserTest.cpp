// The course browser from the outside: the subject tree of a student with courses, a
// class's lessons and documents, the question page and back, the no-lesson view of a
// student without courses, and the main window at its smallest and at full HD.
// Positions come from the skins (main_dlg.xml, left_tree_dlg.xml, the tree item skins)
// relative to the windows' geometry; states are read from the day log and the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "E2eSession.h"
#include "support/Waiting.h"

namespace {

using namespace std::chrono_literals;

// The web processes (WebKit's, inside their sandbox) that descend from process `root`.
int WebProcessesUnder(int root) {
  std::map<int, int> parentOf;
  std::vector<int> webProcesses;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const int pid = std::atoi(name.c_str());
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
    // "pid (comm) state ppid ...": the name may hold spaces, the last ")" ends it.
    const std::string comm = line.substr(line.find('(') + 1, line.rfind(')') - line.find('(') - 1);
    parentOf[pid] = std::atoi(line.c_str() + line.rfind(')') + 4);
    if (comm.rfind("WebKitWebProces", 0) == 0) webProcesses.push_back(pid);
  }
  int count = 0;
  for (int pid : webProcesses) {
    for (int at = pid; at > 1; at = parentOf.count(at) ? parentOf[at] : 0) {
      if (at == root) {
        ++count;
        break;
      }
    }
  }
  return count;
}
using e2e::E2eSession;
using e2e::Rect;
using e2e::Rgb;
using e2e::TavoRun;
using Clock = std::chrono::steady_clock;

constexpr auto kWindowLimit = 60s;
constexpr auto kStateLimit = 20s;

constexpr Rgb kAccent{0xFF, 0x85, 0x4D};        // selected tree row, play icons, underline
constexpr Rgb kPaleAccent{0xFF, 0xCE, 0xB7};    // the login button while the form is empty
constexpr Rgb kInk{0x4D, 0x4D, 0x4D};           // row texts
constexpr Rgb kBody{0xF2, 0xF4, 0xF7};          // the main window's body
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};         // cards and the tree
constexpr Rgb kMarker{0xFF, 0xAB, 0x84};        // "上一次观看"
constexpr Rgb kDocIcon{0xB8, 0xBD, 0xC5};       // the document row's not-downloaded icon
constexpr Rgb kEmptyPicture{0xFF, 0xE3, 0xD6};  // the empty lists' pictures
constexpr Rgb kBorder{0xE6, 0xE8, 0xEB};        // the tree's right edge

// main_dlg.xml: title bar 72, body inset 16, content bar 60 + 1 line, list holder inset
// 12 (8 below). The course lists: header 48, rows 60; lesson columns from the right:
// play 120, download 138, progress 160, duration 160, marker 80; document columns from
// the right: view 120, download 144, size 160.
constexpr int kTitle = 72;
constexpr int kInset = 16;
constexpr int kHeader = 48;
constexpr int kRow = 60;

// left_tree_dlg.xml and the tree item skins: 12 above the first row; exam rows and
// top-level leaves 60 high, package rows and their classes 44.
constexpr int kTreeTop = 12;

// The subject tree of `lixiaoming` in the demo catalogue, top to bottom.
struct TreeRow {
  const char* classId;  // empty for exams and packages
  int height;
};
constexpr TreeRow kTree[] = {
    {"", 60},     {"", 44}, {"1101", 44}, {"1102", 44}, {"1201", 44}, {"", 44},     {"1301", 44},
    {"1302", 44}, {"", 60}, {"", 44},     {"2101", 44}, {"2201", 44}, {"3001", 60}, {"4001", 60},
};

// The rectangle of tree row `index` on the screen.
Rect TreeRowRect(const Rect& tree, int index) {
  int y = tree.y + kTreeTop;
  for (int i = 0; i < index; ++i) y += kTree[i].height;
  return {tree.x, y, tree.width - 8, kTree[index].height};
}

// The states below are read off screenshots: polled every 100 ms, not every 5.
constexpr std::chrono::milliseconds kPoll{100};

class CourseBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system(
            "command -v xdotool >/dev/null && command -v import >/dev/null && command -v Xvfb >/dev/null") !=
        0)
      GTEST_SKIP() << "xdotool, ImageMagick or Xvfb missing";
    ASSERT_TRUE(m_session.Start()) << m_session.error();
  }

  // Starts tavo, signs in and waits for the main window to show `view`; its X window.
  std::string SignIn(const std::string& user, const std::string& password, const std::string& view) {
    m_run = m_session.Launch();
    std::string frame = m_session.WaitForWindow("loginBackDlgClass", kWindowLimit);
    EXPECT_FALSE(frame.empty()) << "no login window; output:\n" << m_session.Output(m_run);
    if (frame.empty()) return {};
    Rect form = e2e::LoginFormRect(m_session.Geometry(frame).value_or(Rect{}));
    // The form's layer paints after the frame: its "login" button (300 x 44), pale while
    // the fields are empty.
    // Tests may run side by side: each has its own file.
    const std::string shot =
        std::string("e2e-login-") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
    EXPECT_GE(WaitForPixels(shot, {form.x + 30, form.y + 300, 300, 44}, kPaleAccent, 8000, kStateLimit, 6),
              8000)
        << "no login form";
    m_session.ClickAndLeave(form.x + 190, form.y + 132);
    m_session.Type(user);
    m_session.ClickAndLeave(form.x + 150, form.y + 196);
    m_session.Type(password);
    m_session.ClickAndLeave(form.x + 180, form.y + 322);
    std::string main = m_session.WaitForWindow("mainDlgClass", kWindowLimit);
    EXPECT_FALSE(main.empty()) << "no main window; log:\n" << m_session.BrowserLog();
    EXPECT_TRUE(m_session.WaitForLog("ShowView " + view, kStateLimit)) << m_session.BrowserLog();
    return main;
  }

  // How often `text` is in the day log.
  int LogCount(const std::string& text) {
    std::string log = m_session.BrowserLog();
    int count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++count;
    return count;
  }

  // Clicks (x, y) until `state` holds, again every 4 s: a click that lands while the
  // window is still busy is not lost. False when the state did not come within `limit`.
  bool ClickUntil(int x, int y, const std::function<bool()>& state,
                  std::chrono::milliseconds limit = kStateLimit) {
    auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      m_session.ClickAndLeave(x, y);
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (WaitUntil(state, std::min<std::chrono::milliseconds>(4s, left), kPoll)) return true;
    }
    return false;
  }

  // Clicks (x, y) until the day log holds `text` once more than before.
  bool ClickUntilLogged(int x, int y, const std::string& text) {
    const int before = LogCount(text);
    return ClickUntil(x, y, [&] { return LogCount(text) > before; });
  }

  Rect Geometry(const std::string& window) { return m_session.Geometry(window).value_or(Rect{}); }

  // Screenshots until `rect` holds at least `least` pixels near `colour`; the last count.
  int WaitForPixels(const std::string& shot, const Rect& rect, Rgb colour, int least,
                    std::chrono::milliseconds limit = kStateLimit, int tolerance = 24) {
    int count = 0;
    WaitUntil(
        [&] {
          count = E2eSession::CountPixelsNear(m_session.Screenshot(shot), rect, colour, tolerance);
          return count >= least;
        },
        limit, kPoll);
    return count;
  }

  int Pixels(const std::filesystem::path& png, const Rect& rect, Rgb colour, int tolerance = 24) {
    return E2eSession::CountPixelsNear(png, rect, colour, tolerance);
  }

  // The course card of a main window at `main` with the tree `treeWidth` wide.
  static Rect Card(const Rect& main, int treeWidth) {
    int left = main.x + treeWidth + kInset;
    return {left, main.y + kTitle + kInset, main.x + main.width - kInset - left,
            main.height - kTitle - 2 * kInset};
  }
  // The lesson list inside the card.
  static Rect List(const Rect& card) {
    return {card.x + 12, card.y + 61, card.width - 24, card.height - 61 - 8};
  }
  static Rect RowRect(const Rect& list, int row) {
    return {list.x, list.y + kHeader + row * kRow, list.width, kRow};
  }
  // A lesson column of a row, given by its distance from the list's right edge.
  static Rect Column(const Rect& row, int fromRight, int width) {
    return {row.x + row.width - fromRight, row.y, width, row.height};
  }

  // Every one of the first `rows` lesson rows has its play icon, duration and progress
  // texts; the row after them is empty.
  void ExpectLessonRows(const std::filesystem::path& png, const Rect& list, int rows) {
    // On narrow windows the fixed columns give up width together so the name keeps 220
    // pixels (down to 60 % of their own; header inset and scroll bar take 19).
    const double scale = std::clamp((list.width - 19 - 220) / 658.0, 0.6, 1.0);
    auto width = [scale](int designed) { return static_cast<int>(std::lround(designed * scale)); };
    const int progressFromRight = width(120) + width(138) + width(160);
    const int durationFromRight = progressFromRight + width(160);
    for (int i = 0; i < rows; ++i) {
      SCOPED_TRACE("lesson row " + std::to_string(i));
      Rect row = RowRect(list, i);
      EXPECT_GE(Pixels(png, Column(row, 120, 120), kAccent), 150) << "no play icon";
      EXPECT_GE(Pixels(png, Column(row, durationFromRight, width(160)), kInk, 60), 15) << "no duration text";
      EXPECT_GE(Pixels(png, Column(row, progressFromRight, width(160)), kInk, 60), 15) << "no progress text";
    }
    if (list.y + kHeader + (rows + 1) * kRow <= list.y + list.height) {
      EXPECT_EQ(Pixels(png, Column(RowRect(list, rows), 120, 120), kAccent), 0) << "a row too many";
    }
  }

  // The tree is a layer drawn over the main window, not a window of its own: it is found
  // on the screen. Its top inset is white where the body would be grey.
  static bool TreeShown(const std::filesystem::path& png, const Rect& main) {
    const Rect corner{main.x + 3, main.y + 80, 8, 6};
    return E2eSession::CountPixelsNear(png, corner, kWhite, 2) == corner.width * corner.height;
  }

  // The white panel of the tree on the screen: its left and top edges from the body's
  // grey around it, its right edge from its 1-pixel border (white, border, body).
  static Rect TreeOnScreen(const std::filesystem::path& png, const Rect& main) {
    const int midY = main.y + main.height / 2;
    std::vector<Rgb> row = E2eSession::ReadPixels(png, {main.x, midY, 600, 1});
    std::vector<Rgb> column = E2eSession::ReadPixels(png, {main.x + 4, main.y, 1, main.height});
    Rect tree{-1, -1, 0, 0};
    for (int x = 0; x + 1 < static_cast<int>(row.size()) && tree.x < 0; ++x)
      if (row[x].Near(kBody, 2) && row[x + 1].Near(kWhite, 2)) tree.x = main.x + x + 1;
    for (int x = 2; x < static_cast<int>(row.size()) && tree.x >= 0 && tree.width == 0; ++x)
      if (row[x - 2].Near(kWhite, 2) && row[x - 1].Near(kBorder, 4) && row[x].Near(kBody, 2))
        tree.width = main.x + x - tree.x;
    for (int y = kTitle; y < static_cast<int>(column.size()) && tree.y < 0; ++y)
      if (column[y].Near(kWhite, 2)) tree.y = main.y + y;
    for (int y = static_cast<int>(column.size()) - 1; y > kTitle && tree.height == 0; --y)
      if (column[y].Near(kWhite, 2)) tree.height = main.y + y + 1 - tree.y;
    return tree;
  }

  // The tree beside the main window's body: 1 pixel from its left edge, 76 from its top,
  // down to 1 pixel above its bottom, `width` wide.
  static void ExpectTreeBeside(const Rect& main, const Rect& tree, int width) {
    EXPECT_EQ(tree.x, main.x + 1);
    EXPECT_EQ(tree.y, main.y + 76);
    EXPECT_EQ(tree.width, width);
    EXPECT_EQ(tree.y + tree.height, main.y + main.height - 1);
  }

  E2eSession m_session;
  TavoRun m_run;
};

TEST_F(CourseBrowserTest, StudentWithCoursesBrowsesClassesDocumentsAndQuestions) {
  // A hidden question page gives its web process back after this long (minutes by default).
  m_session.SetProgramEnvironment("TAVO_QUESTION_RELEASE_MS", "1500");
  std::string main = SignIn("lixiaoming", "xm123456", "course");
  ASSERT_FALSE(main.empty());
  // No remembered class on a fresh computer: the first leaf is selected and shown.
  ASSERT_TRUE(m_session.WaitForLog("ShowClass classid:1101", kStateLimit)) << m_session.BrowserLog();
  // 2 exams, 3 packages, 7 classes in packages, 1 single package and 2 loose classes.
  EXPECT_EQ(LogCount("BuildSubjectTree rows:15 class:1101"), 1) << m_session.BrowserLog();
  const Rect frame = Geometry(main);
  EXPECT_EQ(frame.width, 1366);
  EXPECT_EQ(frame.height, 768);

  // The first class's three lessons, in the card beside the tree.
  const Rect card = Card(frame, 375);
  const Rect list = List(card);
  EXPECT_GE(WaitForPixels("e2e-course-first.png", Column(RowRect(list, 2), 120, 120), kAccent, 150), 150)
      << "the first class's lessons did not show";
  std::filesystem::path shot = m_session.Screenshot("e2e-course-first.png");
  const Rect tree = TreeOnScreen(shot, frame);
  ExpectTreeBeside(frame, tree, 375);

  // The tree: every row of exams, packages and classes carries its title, and the
  // highlight sits on the first class, below an exam row and a package row.
  for (int i = 0; i < static_cast<int>(std::size(kTree)); ++i) {
    SCOPED_TRACE("tree row " + std::to_string(i));
    Rect row = TreeRowRect(tree, i);
    const bool selected = std::string(kTree[i].classId) == "1101";
    if (selected) {
      EXPECT_GE(Pixels(shot, row, kAccent, 8), row.width * row.height / 2) << "not highlighted";
    } else {
      EXPECT_LT(Pixels(shot, row, kAccent, 8), row.width) << "highlighted";
      EXPECT_GE(Pixels(shot, row, kInk, 60), 20) << "no title";
    }
  }
  ExpectLessonRows(shot, list, 3);

  // Another class: its seven lessons with their durations and progress; the lesson the
  // service remembers carries "上一次观看".
  ASSERT_TRUE(ClickUntilLogged(tree.x + 120, TreeRowRect(tree, 4).y + 22, "ShowClass classid:1201"))
      << m_session.BrowserLog();
  EXPECT_GE(WaitForPixels("e2e-course-lessons.png", Column(RowRect(list, 6), 120, 120), kAccent, 150), 150)
      << "the class's lessons did not show";
  shot = m_session.Screenshot("e2e-course-lessons.png");
  EXPECT_GE(Pixels(shot, TreeRowRect(tree, 4), kAccent, 8), tree.width * 10)
      << "the clicked class is not highlighted";
  EXPECT_LT(Pixels(shot, TreeRowRect(tree, 2), kAccent, 8), tree.width)
      << "the first class is still highlighted";
  ExpectLessonRows(shot, list, 7);
  EXPECT_GE(Pixels(shot, Column(RowRect(list, 1), 658, 80), kMarker, 12), 15) << "no last-watched marker";
  EXPECT_EQ(Pixels(shot, Column(RowRect(list, 0), 658, 80), kMarker, 12), 0);
  EXPECT_NE(m_session.DemoRequests().find("1201"), std::string::npos);

  // The document tab: the underline moves, the class's one document shows.
  const int tabY = card.y + 28;
  const Rect docUnderline{card.x + 20 + 100 + 30, card.y + 57, 28, 3};
  ASSERT_TRUE(ClickUntil(card.x + 20 + 100 + 44, tabY, [&] {
    shot = m_session.Screenshot("e2e-course-documents.png");
    return Pixels(shot, docUnderline, kAccent) >= 40 &&
           Pixels(shot, Column(RowRect(list, 0), 120, 120), kDocIcon, 16) >= 20;
  })) << "document tab not selected";
  EXPECT_EQ(Pixels(shot, {card.x + 20 + 30, card.y + 57, 28, 3}, kAccent), 0)
      << "lesson underline still shown";
  EXPECT_GE(Pixels(shot, Column(RowRect(list, 0), 120, 120), kDocIcon, 16), 20) << "no document row";
  EXPECT_GE(Pixels(shot, Column(RowRect(list, 0), 424, 160), kInk, 60), 15) << "no document size";
  EXPECT_EQ(Pixels(shot, Column(RowRect(list, 1), 120, 120), kDocIcon, 16), 0) << "a document too many";
  EXPECT_EQ(Pixels(shot, Column(RowRect(list, 0), 120, 120), kAccent), 0) << "lesson rows still shown";

  // Until its tab is opened the question page is not loaded, and no web process runs for it.
  EXPECT_EQ(m_session.BrowserLog().find("/Tiku/index/index.html"), std::string::npos);
  EXPECT_EQ(WebProcessesUnder(m_run.pid), 0);

  // The question tab: the demo question page fills the body, the tree goes.
  ASSERT_TRUE(ClickUntilLogged(frame.x + 400, frame.y + 36, "ShowView questions"));
  const Rect body{frame.x + kInset, frame.y + kTitle + kInset, frame.width - 2 * kInset, 120};
  // The page's logo is a 34-pixel accent square in its header.
  EXPECT_GE(WaitForPixels("e2e-questions.png", body, kAccent, 600), 600) << "no question page";
  EXPECT_FALSE(TreeShown(m_session.Screenshot("e2e-questions.png"), frame)) << "the tree stayed";
  EXPECT_NE(m_session.BrowserLog().find("/Tiku/index/index.html"), std::string::npos);
  EXPECT_GE(WebProcessesUnder(m_run.pid), 1);

  // Back to the courses: the tree and the document list as they were.
  ASSERT_TRUE(ClickUntilLogged(frame.x + 296, frame.y + 36, "ShowView course"));
  EXPECT_GE(
      WaitForPixels("e2e-course-back.png", Column(RowRect(list, 0), 120, 120), kDocIcon, 20, kStateLimit, 16),
      20);
  shot = m_session.Screenshot("e2e-course-back.png");
  EXPECT_TRUE(TreeShown(shot, frame)) << "the tree did not come back";
  EXPECT_GE(Pixels(shot, TreeRowRect(tree, 4), kAccent, 8), tree.width * 10)
      << "the class's highlight was lost";

  // Left hidden, the question page gives its web process back; shown again, it loads again.
  EXPECT_TRUE(m_session.WaitForLog("question page released while hidden", kStateLimit));
  EXPECT_TRUE(WaitUntil([&] { return WebProcessesUnder(m_run.pid) == 0; }, kStateLimit, kPoll))
      << WebProcessesUnder(m_run.pid) << " web processes stayed";
  ASSERT_TRUE(ClickUntilLogged(frame.x + 400, frame.y + 36, "ShowView questions"));
  EXPECT_GE(WaitForPixels("e2e-questions-again.png", body, kAccent, 600), 600) << "no question page again";
  EXPECT_GE(WebProcessesUnder(m_run.pid), 1);
  ASSERT_TRUE(ClickUntilLogged(frame.x + 296, frame.y + 36, "ShowView course"));
  EXPECT_GE(
      WaitForPixels("e2e-course-back.png", Column(RowRect(list, 0), 120, 120), kDocIcon, 20, kStateLimit, 16),
      20);

  // A class without lessons or documents: the document tab's empty state, then the lesson
  // tab's; both show their picture where the rows would be.
  ASSERT_TRUE(ClickUntilLogged(tree.x + 120, TreeRowRect(tree, 7).y + 22, "ShowClass classid:1302"));
  const Rect listBody{list.x, list.y + kHeader, list.width, list.height - kHeader};
  EXPECT_GE(WaitForPixels("e2e-course-no-documents.png", listBody, kEmptyPicture, 600, kStateLimit, 6), 600)
      << "no empty document state";
  ASSERT_TRUE(ClickUntil(card.x + 20 + 44, tabY, [&] {
    shot = m_session.Screenshot("e2e-course-no-lessons.png");
    return Pixels(shot, {card.x + 20 + 30, card.y + 57, 28, 3}, kAccent) >= 40 &&
           Pixels(shot, listBody, kEmptyPicture, 6) >= 600;
  })) << "no empty lesson state";
  EXPECT_EQ(Pixels(shot, Column(RowRect(list, 0), 120, 120), kAccent), 0);

  // A class of 42 lessons: the rows fill the list and scroll; the scroll bar keeps clear
  // of the play buttons.
  ASSERT_TRUE(ClickUntilLogged(tree.x + 120, TreeRowRect(tree, 3).y + 22, "ShowClass classid:1102"));
  const int visibleRows = (list.height - kHeader) / kRow;
  EXPECT_GE(
      WaitForPixels("e2e-course-long.png", Column(RowRect(list, visibleRows - 1), 120, 120), kAccent, 150),
      150)
      << "the long class's rows did not show";
  ExpectLessonRows(m_session.Screenshot("e2e-course-long.png"), list, visibleRows);

  // Scrolled down, its rows pass under the content bar: a click on the bar's tabs and
  // buttons is still theirs, never a hidden row's.
  auto scrollDown = [&](const std::string& shot) {
    const uint64_t before = E2eSession::AreaChecksum(m_session.Screenshot(shot), listBody);
    m_session.WheelDown(list.x + 200, list.y + kHeader + 3 * kRow, 3);
    EXPECT_TRUE(
        WaitUntil([&] { return E2eSession::AreaChecksum(m_session.Screenshot(shot), listBody) != before; },
                  kStateLimit, kPoll))
        << "the list did not scroll";
  };
  scrollDown("e2e-course-long-scrolled.png");
  ASSERT_TRUE(ClickUntil(card.x + 20 + 100 + 44, tabY, [&] {
    shot = m_session.Screenshot("e2e-course-long-documents.png");
    return Pixels(shot, docUnderline, kAccent) >= 40;
  })) << "课程讲义 did not take the click over the scrolled list";
  ASSERT_TRUE(ClickUntil(card.x + 20 + 44, tabY, [&] {
    return Pixels(m_session.Screenshot("e2e-course-long-lessons.png"), {card.x + 20 + 30, card.y + 57, 28, 3},
                  kAccent) >= 40;
  }));
  scrollDown("e2e-course-long-scrolled.png");
  // "下载" turns the bar into the select mode: "全选" shows left of it.
  const int right = card.x + card.width;
  const Rect selectAll{right - 20 - 96 - 20 - 26 - 52 - 64, card.y + 10, 64, 40};
  ASSERT_TRUE(ClickUntil(right - 20 - 96 - 20 - 30, tabY, [&] {
    return Pixels(m_session.Screenshot("e2e-course-long-select.png"), selectAll, kInk, 60) >= 20;
  })) << "下载 did not take the click over the scrolled list";
  // "下载管理" opens the video manager beside the bar.
  ASSERT_TRUE(ClickUntil(right - 20 - 48, tabY, [&] {
    return Pixels(m_session.Screenshot("e2e-course-long-manager.png"),
                  {right - 20 - 96 - 252 + 18, card.y + 20, 120, 50}, {0x29, 0x29, 0x29}, 24) >= 30;
  })) << "下载管理 did not take the click over the scrolled list";

  // The title bar's "菜单": its tooltip, in the window's light colours, shows below it.
  m_session.MoveTo(frame.x + frame.width - 160, frame.y + 36);
  EXPECT_GE(WaitForPixels("e2e-tooltip-menu.png", {frame.x + frame.width - 220, frame.y + 58, 120, 36}, kInk,
                          20, kStateLimit, 60),
            20)
      << "no tooltip below the menu button";
}

TEST_F(CourseBrowserTest, StudentWithoutCoursesSeesTheNoLessonView) {
  std::string main = SignIn("zhaolei", "zl123456", "nolesson");
  ASSERT_FALSE(main.empty());
  const Rect frame = Geometry(main);
  // "btnBugLesson": 132 x 40 accent button in the middle of the card.
  const Rect middle{frame.x + frame.width / 2 - 200, frame.y + kTitle, 400, frame.height - kTitle};
  EXPECT_GE(WaitForPixels("e2e-no-lesson.png", middle, kAccent, 3000), 3000) << "no shop button";
  EXPECT_FALSE(TreeShown(m_session.Screenshot("e2e-no-lesson.png"), frame)) << "a tree without courses";

  // The question page and back: "我的课程" comes back to the no-lesson view.
  ASSERT_TRUE(ClickUntilLogged(frame.x + 400, frame.y + 36, "ShowView questions"));
  ASSERT_TRUE(ClickUntilLogged(frame.x + 296, frame.y + 36, "ShowView nolesson"));
  EXPECT_GE(WaitForPixels("e2e-no-lesson-back.png", middle, kAccent, 3000), 3000) << "no shop button";
  EXPECT_FALSE(TreeShown(m_session.Screenshot("e2e-no-lesson-back.png"), frame)) << "a tree without courses";
  EXPECT_EQ(LogCount("ShowView course"), 0);
  EXPECT_EQ(LogCount("ShowClass"), 0);
  EXPECT_EQ(m_session.DemoRequests().find("myClass"), std::string::npos);
}

TEST_F(CourseBrowserTest, TreeAndListsFollowTheWindowFromItsSmallestToFullHd) {
  std::string main = SignIn("lixiaoming", "xm123456", "course");
  ASSERT_FALSE(main.empty());
  ASSERT_TRUE(m_session.WaitForLog("ShowClass classid:1101", kStateLimit));

  struct Case {
    const char* name;
    int x, y, width, height;
    int treeWidth;
  };
  // At 1024 the body keeps its 776 pixels and the tree narrows to its least.
  const Case cases[] = {{"smallest", 100, 60, 1024, 760, 248}, {"full HD", 0, 0, 1920, 1080, 375}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_session.MoveResize(main, {c.x, c.y, c.width, c.height});
    ASSERT_TRUE(WaitUntil(
        [&] {
          Rect frame = Geometry(main);
          return frame.width == c.width && frame.height == c.height;
        },
        kStateLimit, kPoll))
        << "the window was not resized";
    const Rect frame = Geometry(main);
    const Rect card = Card(frame, c.treeWidth);
    const Rect list = List(card);
    const std::string name = std::string("e2e-course-") + std::to_string(c.width) + ".png";
    // The tree and the list follow: the tree's panel ends at its new bottom, the rows'
    // play icons sit in the card's new right column.
    std::filesystem::path shot;
    EXPECT_TRUE(WaitUntil(
        [&] {
          shot = m_session.Screenshot(name);
          Rect tree = TreeOnScreen(shot, frame);
          return tree.width == c.treeWidth && tree.y + tree.height == frame.y + frame.height - 1 &&
                 Pixels(shot, Column(RowRect(list, 2), 120, 120), kAccent) >= 150;
        },
        kStateLimit, kPoll))
        << "the tree or the list did not follow";
    const Rect tree = TreeOnScreen(shot, frame);
    ExpectTreeBeside(frame, tree, c.treeWidth);
    ExpectLessonRows(shot, list, 3);
    // Between the tree and the card, and right of the card, only the body's grey.
    const Rect gapLeft{tree.x + tree.width + 2, card.y + 20, card.x - tree.x - tree.width - 4,
                       card.height - 40};
    const Rect gapRight{card.x + card.width + 2, card.y + 20, kInset - 4, card.height - 40};
    for (const Rect& gap : {gapLeft, gapRight}) {
      EXPECT_GT(gap.width, 0);
      EXPECT_EQ(Pixels(shot, gap, kBody, 3), gap.width * gap.height)
          << "something over the body at x " << gap.x;
    }
    // The card's bottom margin and the tree's last row are on the screen.
    EXPECT_EQ(Pixels(shot, {card.x + 20, card.y + card.height + 2, card.width - 40, kInset - 4}, kBody, 3),
              (card.width - 40) * (kInset - 4));
    // The card's right margin beside the list is white down to its bottom edge.
    const Rect margin{card.x + card.width - 10, card.y + 70, 8, card.height - 80};
    EXPECT_EQ(Pixels(shot, margin, kWhite, 0), margin.width * margin.height) << "card clipped";
    // The tool bar's "下载管理" stays inside the card, right of the content tabs.
    EXPECT_GE(Pixels(shot, {card.x + card.width - 20 - 96, card.y, 96, 60}, kInk, 60), 30)
        << "tool bar clipped";
  }
}

}  // namespace
