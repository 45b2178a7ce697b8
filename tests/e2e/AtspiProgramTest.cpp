// The real program as a screen reader sees it: started on a private session bus with its
// accessibility bus, signed in, read and driven through AT-SPI only (the probe, a separate
// client process). The main window's tree of classes and the lesson rows read as names, and
// a row's download button tells the download's progress through its name. And the same
// program driven by key presses only, the focus followed as a screen reader hears it:
// signing in, opening a class, playing a lesson, opening the download manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "AccessibilityBus.h"
#include "E2eSession.h"
#include "support/Waiting.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::AccessibilityBus;
using e2e::E2eSession;
using e2e::TavoRun;
using Rows = std::vector<AtspiRow>;

std::string Lines(const Rows& rows) {
  std::string out;
  for (const AtspiRow& r : rows)
    out += std::string(static_cast<size_t>(r.depth) * 2, ' ') + r.role + " [" + r.id + "] " + r.name + " {" +
           r.states + "}\n";
  return out;
}

std::vector<const AtspiRow*> WithRole(const Rows& rows, const std::string& role) {
  std::vector<const AtspiRow*> out;
  for (const AtspiRow& r : rows)
    if (r.role == role) out.push_back(&r);
  return out;
}

const AtspiRow* Named(const std::vector<const AtspiRow*>& rows, const std::string& prefix) {
  for (const AtspiRow* r : rows)
    if (r->name.rfind(prefix, 0) == 0) return r;
  return nullptr;
}

// The `n`-th row (from 0) with this id, in tree order, or null.
const AtspiRow* NthById(const Rows& rows, const std::string& id, int n) {
  for (const AtspiRow& r : rows)
    if (r.id == id && n-- == 0) return &r;
  return nullptr;
}

class AtspiProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system(
            "command -v xdotool >/dev/null && command -v Xvfb >/dev/null && command -v curl >/dev/null") != 0)
      GTEST_SKIP() << "xdotool, curl or Xvfb missing";
    if (std::string missing = AccessibilityBus::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    ASSERT_TRUE(m_session.Start()) << m_session.error();
    ASSERT_TRUE(m_bus.Start(m_session.root() / "bus")) << m_bus.error();
    m_session.UseSessionBus(m_bus.address());
  }

  // Lists the program's tree until `ready` holds for it, within `limit`; the last list.
  Rows WaitForTree(const std::function<bool(const Rows&)>& ready, std::chrono::milliseconds limit) {
    Rows rows;
    WaitUntil(
        [&] {
          rows = m_bus.Dump(m_run.pid);
          return ready(rows);
        },
        limit, 200ms);
    return rows;
  }

  void Do(const std::vector<std::string>& args) {
    std::string out;
    EXPECT_EQ(m_bus.Probe(m_run.pid, args, out), 0) << args[0] << " " << args[1] << ": " << out;
  }

  void SignIn() {
    m_run = m_session.Launch();
    Rows rows = WaitForTree(
        [](const Rows& r) {
          const AtspiRow* login = AtspiById(r, "login");
          return login && login->Has("showing");
        },
        60s);
    ASSERT_NE(AtspiById(rows, "login"), nullptr) << "no login form on the bus; output:\n"
                                                 << m_session.Output(m_run) << Lines(rows);
    Do({"set", "usrname", "lixiaoming"});
    Do({"set", "pass", "xm123456"});
    Do({"do", "login", "click"});
  }

  // The accessible id of the control with the keyboard focus, or empty.
  std::string Focused() {
    std::string out;
    if (m_bus.Probe(m_run.pid, {"focused"}, out) != 0) return {};
    std::vector<std::string> fields;
    std::string field;
    for (char c : out.substr(0, out.find('\n')) + "\t") {
      if (c == '\t') {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    return fields.size() > 1 ? fields[1] : std::string();
  }

  // Presses Tab until the control `id` has the focus, within the window part that has it,
  // then, part by part (F6), in the others. The keys pressed go to `m_keys`.
  bool Reach(const std::string& id) {
    for (int part = 0; part < 6; ++part) {
      for (int tab = 0; tab < 25; ++tab) {
        if (Focused() == id) return true;
        Press("Tab");
      }
      Press("F6");
    }
    return Focused() == id;
  }

  void Press(const std::string& keys) {
    m_session.Key(keys);
    m_keys += keys + " ";
  }

  bool Showing(const std::string& id, const std::string& name = {}) {
    for (const AtspiRow& r : m_bus.Dump(m_run.pid))
      if (r.id == id && (name.empty() || r.name == name) && r.Has("showing")) return true;
    return false;
  }

  E2eSession m_session;
  AccessibilityBus m_bus;
  TavoRun m_run;
  std::string m_keys;
};

TEST_F(AtspiProgramTest, SignsInAndReadsTheClassesLessonsAndADownloadThroughAtspi) {
  ASSERT_NO_FATAL_FAILURE(SignIn());

  // The main window: the tree of classes and the first class's lesson rows.
  Rows rows = WaitForTree(
      [](const Rows& r) { return Named(WithRole(r, "table row"), "片段阅读：主旨概括题") != nullptr; }, 90s);
  const std::string tree = Lines(rows);
  std::vector<const AtspiRow*> trees = WithRole(rows, "tree");
  ASSERT_EQ(trees.size(), 1u) << tree;
  std::vector<const AtspiRow*> items = WithRole(rows, "tree item");
  for (const char* name : {"2027国考笔试系统班", "言语理解与表达", "判断推理系统精讲"})
    EXPECT_NE(Named(items, name), nullptr) << name << " not in the tree:\n" << tree;

  // Each lesson reads as its name, duration, progress and download state, in one name.
  std::vector<const AtspiRow*> lessons = WithRole(rows, "table row");
  ASSERT_EQ(lessons.size(), 3u) << tree;
  const std::regex lessonName("(.+), ([0-9]{2}:[0-9]{2}), (未学习|已学完|[0-9]+%), 下载");
  for (const AtspiRow* lesson : lessons)
    EXPECT_TRUE(std::regex_match(lesson->name, lessonName)) << lesson->name;
  EXPECT_EQ(Named(lessons, "逻辑填空：实词辨析")->name.rfind("逻辑填空：实词辨析, ", 0), 0u);
  const AtspiRow* button = NthById(rows, "btnVideoDown", 0);
  ASSERT_NE(button, nullptr) << tree;
  EXPECT_EQ(button->role, "push button");
  EXPECT_EQ(button->name, "下载");

  // The first lesson is sent slowly, so that its percentages can be read.
  const fs::path media = e2e::BuildFolder() / "demo-data" / "media" / "v110101.mp4";
  ASSERT_TRUE(fs::exists(media)) << media;
  const std::string answer = "{\\\"code\\\":200,\\\"msg\\\":{\\\"msg\\\":\\\"ok\\\"},\\\"FileURL\\\":\\\"" +
                             m_session.demo().origin() + "/media/v110101.mp4?rate=60000\\\",\\\"Size\\\":" +
                             std::to_string(fs::file_size(media)) + "}";
  m_session.DemoPost("/__test/canned",
                     "{\"path\":\"/api/Apibook/playUri\",\"status\":200,\"times\":1,"
                     "\"contentType\":\"application/json\",\"body\":\"" +
                         answer + "\"}");

  // "下载" asks where to save; its OK starts the download.
  Do({"do", "btnVideoDown#0", "click"});
  rows = WaitForTree(
      [](const Rows& r) {
        const AtspiRow* ok = AtspiById(r, "btnOk");
        return ok && ok->Has("showing");
      },
      30s);
  ASSERT_NE(AtspiById(rows, "btnOk"), nullptr) << "no location dialog:\n" << Lines(rows);
  Do({"do", "btnOk", "click"});

  // The button's name runs through percentages to "已下载".
  std::vector<std::string> names;
  WaitUntil(
      [&] {
        rows = m_bus.Dump(m_run.pid);
        const AtspiRow* b = NthById(rows, "btnVideoDown", 0);
        if (b && (names.empty() || names.back() != b->name)) names.push_back(b->name);
        return b && b->name == "已下载";
      },
      120s, 100ms);
  std::string seen;
  for (const std::string& n : names) seen += "'" + n + "' ";
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "已下载") << seen;
  EXPECT_TRUE(
      std::any_of(names.begin(), names.end(),
                  [](const std::string& n) { return std::regex_match(n, std::regex("[0-9]{1,2}%")); }))
      << "no percentage read: " << seen;
  // The row's own name follows its button. A dump reads the row before its button, so
  // the row may still have been read with the last percentage: read again until it follows.
  std::string rowName;
  EXPECT_TRUE(WaitUntil(
      [&] {
        rows = m_bus.Dump(m_run.pid);
        const AtspiRow* first = Named(WithRole(rows, "table row"), "片段阅读：主旨概括题");
        rowName = first ? first->name : "(no row)";
        return rowName.find(", 已下载") != std::string::npos;
      },
      20s, 100ms))
      << rowName;
}

TEST_F(AtspiProgramTest, KeyboardAloneSignsInOpensAClassPlaysALessonAndOpensTheDownloadManager) {
  m_run = m_session.Launch();
  ASSERT_TRUE(WaitUntil([&] { return Showing("login"); }, 60s, 200ms)) << m_session.Output(m_run);

  // The login form has the keys from the start.
  ASSERT_TRUE(Reach("usrname")) << m_keys;
  m_session.Type("lixiaoming");
  Press("Tab");
  EXPECT_EQ(Focused(), "pass");
  m_session.Type("xm123456");
  Press("Return");
  ASSERT_FALSE(m_session.WaitForWindow("mainDlgClass", 60s).empty()) << m_session.BrowserLog();
  Rows rows = WaitForTree(
      [](const Rows& r) { return Named(WithRole(r, "table row"), "片段阅读：主旨概括题") != nullptr; }, 60s);
  ASSERT_NE(Named(WithRole(rows, "table row"), "片段阅读：主旨概括题"), nullptr) << Lines(rows);

  // The class tree: Down opens the next class, Up the one before again.
  ASSERT_TRUE(Reach("treeview")) << m_keys;
  auto selectedClass = [](const Rows& r) {
    for (const AtspiRow* item : WithRole(r, "tree item"))
      if (item->Has("selected")) return item->name;
    return std::string();
  };
  Press("Down");
  rows = WaitForTree(
      [&](const Rows& r) {
        return selectedClass(r) == "判断推理系统精讲" &&
               Named(WithRole(r, "table row"), "图形推理：位置规律");
      },
      30s);
  ASSERT_EQ(selectedClass(rows), "判断推理系统精讲") << Lines(rows);
  Press("Up");
  rows = WaitForTree(
      [&](const Rows& r) {
        return selectedClass(r) == "言语理解与表达" &&
               Named(WithRole(r, "table row"), "片段阅读：主旨概括题");
      },
      30s);
  ASSERT_EQ(selectedClass(rows), "言语理解与表达") << Lines(rows);

  // The first lesson's play button: Enter opens the player, which plays it.
  ASSERT_TRUE(Reach("btnVideoPlay")) << m_keys;
  Press("Return");
  ASSERT_FALSE(m_session.WaitForWindow("videoPlayDlgClass", 60s).empty()) << m_session.BrowserLog();
  EXPECT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:v110101", 60s)) << m_session.BrowserLog();
  // The player's page keeps its own accessible tree, below the control that hosts it.
  rows = WaitForTree(
      [](const Rows& r) {
        for (size_t i = 0; i < r.size(); ++i) {
          if (r[i].id != "cefPlayer") continue;
          for (size_t j = i + 1; j < r.size() && r[j].depth > r[i].depth; ++j)
            if (r[j].role == "document web") return true;
        }
        return false;
      },
      30s);
  const AtspiRow* host = AtspiById(rows, "cefPlayer");
  ASSERT_NE(host, nullptr) << Lines(rows);
  const size_t at = static_cast<size_t>(host - rows.data());
  ASSERT_LT(at + 1, rows.size());
  EXPECT_GT(rows[at + 1].depth, host->depth) << "the page is not below its host:\n" << Lines(rows);

  // Its title bar's close button, reached part by part, closes it.
  ASSERT_TRUE(Reach("closebtn")) << m_keys;
  Press("Return");
  ASSERT_TRUE(m_session.WaitForNoWindow("videoPlayDlgClass", 20s)) << m_keys;

  // Back in the main window: the tool bar's "下载管理" opens the video manager, Escape
  // closes it.
  ASSERT_TRUE(Reach("btnDownloadVideoMgr")) << m_keys;
  Press("Return");
  EXPECT_TRUE(WaitUntil([&] { return Showing("", "视频下载"); }, 20s, 200ms)) << m_keys;
  m_session.Screenshot("e2e-keyboard-download-manager.png");
  Press("Escape");
  EXPECT_TRUE(WaitUntil([&] { return !Showing("", "视频下载"); }, 20s, 200ms)) << m_keys;
}

}  // namespace
