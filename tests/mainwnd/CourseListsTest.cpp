// The course lists on the test host: row texts and their formats, empty and loading
// states, markers and neighbours, the class fetch against a scripted service (expired
// sign-in, no answer and retry, a late answer), row clicks and bad row indexes.
#include <httplib.h>

#include <condition_variable>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "account/WindowTestKit.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "platform/BackgroundTask.h"
#include "study/LearningProgress.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/LessonFormat.h"
#include "service/CurlSupport.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/Option.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"
#include "support/RecordingLessonPlayer.h"

namespace {

// ---- formats ---------------------------------------------------------------------------

TEST(LessonFormatTest, DurationProgressAndSizeTexts) {
  const struct {
    const char* seconds;
    const wchar_t* text;
  } durations[] = {
      {"0", L"00:00"},       {"", L"00:00"},           {"59", L"00:59"}, {"60", L"01:00"},
      {"3600", L"01:00:00"}, {"3661", L"01:01:01"},    {"-5", L"00:00"}, {"abc", L"00:00"},
      {"615x", L"10:15"},    {"360000", L"100:00:00"},
  };
  for (const auto& c : durations)
    EXPECT_EQ(FormatLessonDuration(ReadSeconds(c.seconds)), c.text) << c.seconds;

  const struct {
    int64_t duration, learned;
    const wchar_t* text;
  } progress[] = {
      {3600, 0, L"未学习"},
      {3600, 1, L"1%"},
      {3600, 36, L"1%"},
      {3600, 1332, L"37%"},
      {3600, 3564, L"99%"},
      {3600, 3600, L"已学完"},
      {3600, 9000, L"已学完"},
      {3600, -1, L"未学习"},
      {3600, -7200, L"未学习"},
      {0, 100, L"未学习"},
      {-10, 5, L"未学习"},
      // learned x 100 beyond 64 bits still reads as finished.
      {3600, INT64_MAX, L"已学完"},
  };
  for (const auto& c : progress)
    EXPECT_EQ(FormatLessonProgress(c.duration, c.learned), c.text) << c.duration << " " << c.learned;

  const struct {
    const char* kib;
    const wchar_t* text;
  } sizes[] = {{"0", L"0MB"},    {"1", L"1MB"},
               {"500", L"1MB"},  {"1024", L"1MB"},
               {"2048", L"2MB"}, {"3072", L"3MB"},
               {"3073", L"3MB"}, {"", L"0MB"},
               {"-9", L"0MB"},   {"99999999999999999999", L"9007199254740991MB"}};
  for (const auto& c : sizes) EXPECT_EQ(FormatDocSize(ReadSeconds(c.kib)), c.text) << c.kib;
}

// ---- a scripted school service ------------------------------------------------------------

// Answers "/api/user/myClass" per class id; a class may be held back until released.
class ScriptedService {
 public:
  ScriptedService() {
    m_server.Post("/api/user/myClass", [this](const httplib::Request& req, httplib::Response& res) {
      const std::string classId = req.get_param_value("classId");
      std::unique_lock lock(m_mutex);
      ++m_requests[classId];
      m_released.wait(lock, [&] { return !m_held.count(classId) || m_stopping; });
      auto it = m_answers.find(classId);
      res.status = it == m_answers.end() ? 200 : it->second.first;
      res.set_content(it == m_answers.end() ? R"({"code":500,"msg":"无此课程"})" : it->second.second,
                      "application/json");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~ScriptedService() {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_released.notify_all();
    m_server.stop();
    m_thread.join();
  }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  void Answer(const std::string& classId, std::string body, int status = 200) {
    std::lock_guard lock(m_mutex);
    m_answers[classId] = {status, std::move(body)};
  }
  void Hold(const std::string& classId) {
    std::lock_guard lock(m_mutex);
    m_held.insert(classId);
  }
  void Release(const std::string& classId) {
    {
      std::lock_guard lock(m_mutex);
      m_held.erase(classId);
    }
    m_released.notify_all();
  }
  int Requests(const std::string& classId) {
    std::lock_guard lock(m_mutex);
    return m_requests[classId];
  }

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  std::mutex m_mutex;
  std::condition_variable m_released;
  std::map<std::string, std::pair<int, std::string>> m_answers;
  std::map<std::string, int> m_requests;
  std::set<std::string> m_held;
  bool m_stopping = false;
};

struct Lesson {
  std::string id, name, duration, learned;
  std::string video = {};  // empty: "v" and the lesson id
};

std::string ClassAnswer(const std::vector<Lesson>& lessons, const std::string& lastLearned) {
  std::string json = R"({"code":200,"msg":"成功","data":{"classId":"x","lastLearnLessonId":")" + lastLearned +
                     R"(","lessons":[)";
  for (size_t i = 0; i < lessons.size(); ++i) {
    const Lesson& l = lessons[i];
    if (i) json += ",";
    json += R"({"id":")" + l.id + R"(","name":")" + l.name + R"(","duration":")" + l.duration +
            R"(","video":")" + (l.video.empty() ? "v" + l.id : l.video) + R"(","learned_duration":")" +
            l.learned + R"("})";
  }
  return json + "]}}";
}

// Lessons whose progress texts cover every case.
const std::vector<Lesson> kLessons = {
    {"11", "第一课 函数与极限的基本概念", "3661", "0"},
    {"12", "第二课 导数与微分", "3600", "1"},
    {"13", "第三课 中值定理与导数的应用", "2700", "999"},
    {"14", "第四课 不定积分", "59", "59"},
    {"15", "第五课 定积分及其应用", "", "30"},
    {"16", "第六课 微分方程", "1800", "2400"},
};

// ---- the fixture window -----------------------------------------------------------------

constexpr const char* kSkin = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="1366,768">
  <Font id="0" size="14"/><Font id="5" size="14" bold="true"/><Font id="7" size="14"/>
  <Font id="8" size="12"/><Font id="9" size="16"/>
  <Style name="list_style" value="bkcolor=&quot;#FFFFFFFF&quot;"/>
  <VerticalLayout bkcolor="#FFFFFFFF">
    <HorizontalLayout height="48" inset="16,0,0,0" childpadding="24">
      <Option name="optVideoList" group="contentClass" selected="true" text="课件目录" width="80"
              textcolor="#FF666666" selectedtextcolor="#FFFF854D" font="5"/>
      <Option name="optJiangYiList" group="contentClass" text="课程讲义" width="80"
              textcolor="#FF666666" selectedtextcolor="#FFFF854D" font="5"/>
      <Control/>
      <Option name="optDownloadAllVideo" visible="false" text="全选" width="60"/>
      <Option name="optDownloadAllDoc" visible="false" text="全选" width="60"/>
    </HorizontalLayout>
    <VerticalLayout name="vlMainVideoList"/>
    <VerticalLayout name="vlMainJyList" visible="false"/>
  </VerticalLayout>
</Window>)";

class ListsWnd : public WindowImplBase, public CourseLists::Delegate {
 public:
  std::wstring GetWindowClassName() const override { return L"courseListsTestClass"; }
  std::wstring GetSkinFile() override { return L"course_lists_test.xml"; }
  void OnLoginExpired() override { ++expired; }
  void Notify(TNotifyUI& msg) override {
    if (lists && lists->HandleNotify(msg)) return;
    WindowImplBase::Notify(msg);
  }
  void InitWindow() override { lists = std::make_unique<CourseLists>(*this, *this, catalogue); }
  void OnFinalMessage(HWND) override { lists.reset(); }

  CourseCatalogue catalogue;
  std::unique_ptr<CourseLists> lists;
  int expired = 0;
};

class CourseListsTest : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    std::filesystem::create_directories(m_root / "skin");
    std::ofstream(m_root / "skin" / "course_lists_test.xml") << kSkin;
    CResourceStore::Get().SetFolder((m_root / "skin").string());
    ASSERT_TRUE(OpenLog(L"browserlog"));
    DownloadTaskList::Get().Clear();
    gSubjectList.Clear();
    SetSessionToken("token-of-the-student");
    SetTransportLimits({2, 2});
    SetApiOrigin(service.Origin());
    wnd = std::make_unique<ListsWnd>();
    wnd->Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    wnd->ShowWindow(true);
    wnd->lists->SetNetworkCheck([this] { return online; });
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    if (wnd) wnd->DestroyWindow();
    wnd.reset();
    PumpPendingMessages();
    CloseLog();
    DownloadTaskList::Get().Clear();
    gSubjectList.Clear();
    ClearSessionToken();
    CResourceStore::Get().SetFolder("");
    WindowTestKit::TearDown();
  }

  CourseLists& Lists() { return *wnd->lists; }
  // Shows the class's lessons and waits until its fetch has been handled.
  CListUI* ShowLessons(const std::string& classId) {
    Lists().ShowLessonList(classId);
    RunUntil([&] { return Lists().Catalogue().LoadOf(classId) != ClassLoad::Loading; });
    PumpPendingMessages();
    wnd->GetPaintManager().DoLayout();
    return Lists().FindLessonList(classId);
  }
  static CListContainerElementUI* Row(CListUI* list, int index) {
    return list ? dynamic_cast<CListContainerElementUI*>(list->GetRowAt(index)) : nullptr;
  }
  static std::wstring Cell(CListContainerElementUI* row, int cell) {
    return row && cell < row->GetCount() ? row->GetItemAt(cell)->GetText() : L"<none>";
  }
  static bool HasText(CControlUI* root, const std::wstring& text) {
    auto* container = dynamic_cast<CContainerUI*>(root);
    return container &&
           container->FindControl([&](CControlUI* c) { return c->GetText() == text; }, UIFIND_ALL) != nullptr;
  }
  static std::wstring TipText() {
    auto* tip = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(FindWindow(L"MessageBoxDlgClass", L"")));
    CControlUI* label = tip ? tip->FindControl(L"lbTip") : nullptr;
    return label ? label->GetText() : L"";
  }
  std::string LogText() {
    CloseLog();
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(ToUtf8(GetLogFolder()))) {
      std::ifstream file(entry.path(), std::ios::binary);
      std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
      for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i + 1] == 0) all.push_back(bytes[i]);  // the ASCII of the UTF-16LE text
    }
    OpenLog(L"browserlog");
    return all;
  }
  void Click(CControlUI* control) {
    ASSERT_NE(control, nullptr);
    wnd->GetPaintManager().DoLayout();
    const CDuiRect r = control->GetPos();
    HostOf(wnd.get())->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  void SelectTab(const wchar_t* name) {
    static_cast<COptionUI*>(wnd->FindControl(name))->Selected(true);
    wnd->FindControl(L"vlMainVideoList")->SetVisible(std::wstring(name) == L"optVideoList");
    wnd->FindControl(L"vlMainJyList")->SetVisible(std::wstring(name) == L"optJiangYiList");
  }

  ScriptedService service;
  std::unique_ptr<ListsWnd> wnd;
  bool online = true;
};

// ---- lessons ---------------------------------------------------------------------------

TEST_F(CourseListsTest, LessonListIsBuiltFromTheAnswerWithItsTexts) {
  service.Answer("101", ClassAnswer(kLessons, "13"));
  service.Hold("101");
  Lists().ShowLessonList("101");
  CListUI* list = Lists().FindLessonList("101");
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->IsVisible());
  EXPECT_TRUE(HasText(list, L"加载中…"));
  wnd->GetPaintManager().DoLayout();
  SaveScreenshot(wnd.get(), "course-list-loading.png");
  service.Release("101");
  ASSERT_EQ(ShowLessons("101"), list);
  EXPECT_FALSE(HasText(list, L"加载中…"));

  ASSERT_EQ(list->GetRowCount(), 6);
  EXPECT_EQ(list->GetUserData(), L"101");
  const struct {
    const wchar_t* name;
    const wchar_t* marker;
    const wchar_t* duration;
    const wchar_t* progress;
  } rows[] = {
      {L"第一课 函数与极限的基本概念", L"", L"01:01:01", L"未学习"},
      {L"第二课 导数与微分", L"", L"01:00:00", L"1%"},
      {L"第三课 中值定理与导数的应用", L"上一次观看", L"45:00", L"37%"},
      {L"第四课 不定积分", L"", L"00:59", L"已学完"},
      {L"第五课 定积分及其应用", L"", L"00:00", L"未学习"},
      {L"第六课 微分方程", L"", L"30:00", L"已学完"},
  };
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    CListContainerElementUI* row = Row(list, i);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetUserData(),
              AnsiToWide(kLessons[static_cast<size_t>(i)].id));  // the lesson, not its video
    EXPECT_EQ(Cell(row, 1), rows[i].name);
    EXPECT_EQ(row->GetItemAt(1)->GetToolTip(), rows[i].name);
    EXPECT_EQ(Cell(row, 2), rows[i].marker);
    EXPECT_EQ(Cell(row, 3), rows[i].duration);
    EXPECT_EQ(Cell(row, 4), rows[i].progress);
    EXPECT_EQ(Cell(row, 5), L"下载");
    EXPECT_EQ(row->GetItemAt(5)->GetName(), L"btnVideoDown");
    for (const wchar_t* indexed : {L"optSelectVideo", L"btnVideoDown", L"btnVideoPlay"})
      EXPECT_EQ(row->FindSubControl(indexed)->GetUserData(), std::to_wstring(i)) << ToUtf8(indexed);
    EXPECT_FALSE(row->GetItemAt(0)->IsVisible());
  }
  EXPECT_EQ(list->GetCurSel(), 2);
  // The answer's last-learned lesson becomes the remembered position.
  std::wstring value;
  ASSERT_EQ(ReadRegString(L"lastclassid", value), 0);
  EXPECT_EQ(value, L"101");
  ASSERT_EQ(ReadRegString(L"lastlessonid", value), 0);
  EXPECT_EQ(value, L"13");
  EXPECT_EQ(Lists().Catalogue().Lessons("101").size(), 6u);

  // Shown again: the same list, no second request.
  Lists().ShowLessonList("101");
  EXPECT_EQ(Lists().FindLessonList("101"), list);
  EXPECT_EQ(service.Requests("101"), 1);

  // A played lesson gets the other marker; progress refreshes in place.
  Click(Row(list, 4)->FindSubControl(L"btnVideoPlay"));
  EXPECT_EQ(Cell(Row(list, 4), 2), L"正在观看");
  Lists().UpdateLessonProgress("101", "12", 1800);
  EXPECT_EQ(Cell(Row(list, 1), 4), L"50%");
  EXPECT_EQ(Row(list, 1)->FindSubControl(L"learnProgress")->GetUserData(), L"1800");
  wnd->GetPaintManager().DoLayout();
  SaveScreenshot(wnd.get(), "course-lesson-list.png");
}

TEST_F(CourseListsTest, ReplayingAFinishedLessonNeverLowersItsRow) {
  LearningProgress progress(Utf8ToWide((m_root / "course.db").string()));
  Lists().SetLearningProgress(&progress);
  service.Answer("101", ClassAnswer(kLessons, ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  Lists().UpdateLessonProgress("101", "12", 3600);
  EXPECT_EQ(Cell(Row(list, 1), 4), L"已学完");
  // Played again for 2 s: the player reports where it stands, the row keeps the furthest point.
  Lists().UpdateLessonProgress("101", "12", 2);
  EXPECT_EQ(Cell(Row(list, 1), 4), L"已学完");
  // The next lesson's play still starts where that lesson was left.
  std::string vid, learned;
  ASSERT_TRUE(Lists().NextLesson("101", "11", vid, learned));
  EXPECT_EQ(vid, "12");
  EXPECT_EQ(learned, "1");
  Lists().SetLearningProgress(nullptr);
}

TEST_F(CourseListsTest, MarkersMoveWithPreviousAndNextAndStopAtTheEnds) {
  service.Answer("101", ClassAnswer(kLessons, ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  std::string vid, learned;
  EXPECT_FALSE(Lists().PreviousLesson("101", "11", vid, learned));
  EXPECT_FALSE(Lists().NextLesson("101", "16", vid, learned));
  EXPECT_FALSE(Lists().NextLesson("101", "99", vid, learned));
  EXPECT_FALSE(Lists().NextLesson("999", "11", vid, learned));
  EXPECT_TRUE(vid.empty());

  ASSERT_TRUE(Lists().NextLesson("101", "11", vid, learned));
  EXPECT_EQ(vid, "12");
  EXPECT_EQ(learned, "1");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"正在观看");
  ASSERT_TRUE(Lists().NextLesson("101", "12", vid, learned));
  EXPECT_EQ(vid, "13");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"");
  EXPECT_EQ(Cell(Row(list, 2), 2), L"正在观看");
  ASSERT_TRUE(Lists().PreviousLesson("101", "13", vid, learned));
  EXPECT_EQ(vid, "12");
  EXPECT_EQ(Cell(Row(list, 2), 2), L"");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"正在观看");

  // Message 1038: the player closed; its lesson is the one watched last, and the only one.
  Lists().ClearLessonMark("101", "12");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"上一次观看");
  Lists().ClearLessonMark("101", "-none");  // nothing to do
  EXPECT_EQ(Cell(Row(list, 1), 2), L"上一次观看");

  // A lesson played and closed later takes the marker over; no row ever shows two.
  ASSERT_TRUE(Lists().NextLesson("101", "13", vid, learned));
  EXPECT_EQ(Cell(Row(list, 3), 2), L"正在观看");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"上一次观看");
  Lists().ClearLessonMark("101", "14");
  EXPECT_EQ(Cell(Row(list, 3), 2), L"上一次观看");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"");
  int marked = 0;
  for (int i = 0; i < list->GetRowCount(); ++i) marked += Cell(Row(list, i), 2).empty() ? 0 : 1;
  EXPECT_EQ(marked, 1);
}

// Lessons that play one video are lessons of their own: a report, previous/next and the
// markers reach the lesson asked for, never the first lesson of its video.
TEST_F(CourseListsTest, LessonsSharingAVideoAreRowsOfTheirOwn) {
  service.Answer("101", ClassAnswer({{"21", "甲", "600", "0", "vA"},
                                     {"22", "乙", "600", "0", "vB"},
                                     {"23", "丙", "600", "0", "vA"},
                                     {"24", "丁", "600", "0", "vB"}},
                                    ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  Lists().UpdateLessonProgress("101", "23", 300);
  EXPECT_EQ(Cell(Row(list, 2), 4), L"50%");
  EXPECT_EQ(Cell(Row(list, 0), 4), L"未学习");

  struct Step {
    const char* from;
    int step;
    const char* to;
    int row;
  };
  for (const Step& s : {Step{"23", 1, "24", 3}, Step{"23", -1, "22", 1}, Step{"22", 1, "23", 2}}) {
    SCOPED_TRACE(std::string(s.from) + (s.step > 0 ? " next" : " previous"));
    std::string id, learned;
    ASSERT_TRUE(s.step > 0 ? Lists().NextLesson("101", s.from, id, learned)
                           : Lists().PreviousLesson("101", s.from, id, learned));
    EXPECT_EQ(id, s.to);
    EXPECT_EQ(Cell(Row(list, s.row), 2), L"正在观看");
  }
  Lists().ClearLessonMark("101", "23");
  EXPECT_EQ(Cell(Row(list, 2), 2), L"上一次观看");
  EXPECT_EQ(Cell(Row(list, 0), 2), L"");
}

TEST_F(CourseListsTest, EmptyStatesForNoLessonsAServiceFaultAndNoDocuments) {
  service.Answer("201", ClassAnswer({}, ""));
  service.Answer("202", R"({"code":500,"msg":"忙"})");
  for (const char* classId : {"201", "202", ""}) {
    SCOPED_TRACE(classId);
    CListUI* list = ShowLessons(classId);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(HasText(list, L"暂无视频"));
    EXPECT_TRUE(list->IsVisible());
  }
  EXPECT_EQ(wnd->expired, 0);
  SaveScreenshot(wnd.get(), "course-lessons-empty.png");

  SelectTab(L"optJiangYiList");
  Lists().ShowDocList("201");
  CListUI* docs = Lists().FindDocList("201");
  ASSERT_NE(docs, nullptr);
  EXPECT_TRUE(HasText(docs, L"暂无讲义"));
  EXPECT_TRUE(docs->IsVisible());
  wnd->GetPaintManager().DoLayout();
  SaveScreenshot(wnd.get(), "course-docs-empty.png");
}

TEST_F(CourseListsTest, DocumentListTakesThePackageRecordFirstAndShowsSizes) {
  auto doc = [](const char* id, const char* name, const char* kib) {
    DocumentRecord d;
    d.id = id;
    d.name = name;
    d.file_size = kib;
    return d;
  };
  ClassRecord loose;
  loose.id = "301";
  loose.jiangyi = {doc("9", "散装讲义", "1")};
  gSubjectList.Classes.push_back(loose);
  ClassRecord inPackage = loose;
  inPackage.jiangyi = {doc("1", "第一章 讲义 函数与极限", "0"), doc("2", "第二章 讲义 导数", "1"),
                       doc("3", "第三章 讲义 积分", "500"), doc("4", "第四章 讲义 级数", "2048"),
                       doc("5", "第五章 讲义 微分方程", "3072")};
  GroupPackageRecord package;
  package.classes.push_back({"数学", {inPackage}});
  gSubjectList.PackagesByExam[7].push_back(package);
  ClassRecord last = loose;
  last.jiangyi = {doc("8", "后一个", "1")};
  last.id = "302";
  gSubjectList.Classes.push_back(last);
  gSubjectList.Classes.push_back(loose);
  gSubjectList.Classes.back().jiangyi = {doc("7", "最后一个同号", "1")};

  SelectTab(L"optJiangYiList");
  Lists().ShowDocList("301");
  CListUI* list = Lists().FindDocList("301");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetRowCount(), 5);
  const wchar_t* sizes[] = {L"0MB", L"1MB", L"1MB", L"2MB", L"3MB"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Cell(Row(list, i), 2), sizes[i]);
    EXPECT_EQ(Row(list, i)->GetUserData(), std::to_wstring(i + 1));
    CControlUI* look = Row(list, i)->FindSubControl(L"btnDocLook");
    EXPECT_FALSE(look->IsEnabled());
    EXPECT_EQ(look->GetToolTip(), L"请先下载");
  }
  // Without a package record, the last loose record with the id gives the documents.
  gSubjectList.PackagesByExam.clear();
  Lists().ShowDocList("302");
  EXPECT_EQ(Row(Lists().FindDocList("302"), 0)->GetUserData(), L"8");
  Lists().Catalogue().Clear();
  gSubjectList.Classes.erase(gSubjectList.Classes.begin() + 1);
  Lists().ShowDocList("301");  // the list is kept; the cache takes the last record
  EXPECT_EQ(Lists().Catalogue().Documents("301")[0].id, "7");

  Lists().ShowDocList("301");
  EXPECT_TRUE(Lists().FindDocList("301")->IsVisible());
  EXPECT_FALSE(Lists().FindDocList("302")->IsVisible());
  wnd->GetPaintManager().DoLayout();
  SaveScreenshot(wnd.get(), "course-doc-list.png");
}

// ---- the fetch's outcomes --------------------------------------------------------------

TEST_F(CourseListsTest, ARefusalTakesTheExpiredLoginPathOnce) {
  for (const char* classId : {"101", "102"}) {
    service.Answer(classId, R"({"code":401,"msg":"登录失效，请重新登录"})");
    service.Hold(classId);
    Lists().ShowLessonList(classId);
  }
  service.Release("101");
  service.Release("102");
  RunUntil([] { return PendingBackgroundTasks() == 0; });
  PumpPendingMessages();
  EXPECT_EQ(wnd->expired, 1);
  EXPECT_EQ(TipText(), L"");
}

TEST_F(CourseListsTest, NoAnswerKeepsTheStudentSignedInAndSelectingAgainRetries) {
  const struct {
    const char* name;
    int status;
    const char* body;
    bool refused;
  } cases[] = {
      {"refused connection", 200, "", true},
      {"gateway error", 502, R"({"code":401})", false},
      {"not the service's json", 200, "<html>portal</html>", false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string classId = "50" + std::to_string(n++);
    SetApiOrigin(c.refused ? "http://127.0.0.1:1" : service.Origin());
    service.Answer(classId, c.body, c.status);
    CListUI* list = ShowLessons(classId);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(wnd->expired, 0);
    EXPECT_EQ(TipText(), L"请检查网络连接");
    EXPECT_TRUE(HasText(list, L"课程加载失败，请重新选择课程"));
    if (n == 1) SaveScreenshot(wnd.get(), "course-lessons-failed.png");
    DestroySelfOwned();
    // The documents tab of the class says the same, not "no documents".
    Lists().ShowDocList(classId);
    CListUI* docs = Lists().FindDocList(classId);
    ASSERT_NE(docs, nullptr);
    EXPECT_TRUE(HasText(docs, L"课程加载失败，请重新选择课程"));
    EXPECT_FALSE(HasText(docs, L"暂无讲义"));

    SetApiOrigin(service.Origin());
    service.Answer(classId, ClassAnswer(kLessons, ""));
    EXPECT_EQ(ShowLessons(classId), list);
    EXPECT_EQ(list->GetRowCount(), 6);
    EXPECT_EQ(Cell(Row(list, 0), 1), L"第一课 函数与极限的基本概念");
    // Once the class came, its documents tab shows what it has.
    EXPECT_FALSE(HasText(docs, L"课程加载失败，请重新选择课程"));
  }
}

TEST_F(CourseListsTest, ALateAnswerFillsItsListWithoutStealingTheView) {
  Lists().SaveLastPosition("900", "9000");
  service.Answer("101", ClassAnswer(kLessons, "12"));
  service.Answer("102", ClassAnswer({{"21", "另一门课 第一讲", "600", "0"}}, ""));
  service.Hold("101");
  Lists().ShowLessonList("101");
  // Another class is clicked while the first is still on its way.
  Lists().ShowLessonList("102");
  CListUI* second = Lists().FindLessonList("102");
  ASSERT_NE(second, nullptr);
  // The held request reaches the service on its own time; the second class's rows
  // do not wait for it.
  RunUntil([&] { return Row(second, 0) != nullptr && service.Requests("101") == 1; });
  EXPECT_EQ(service.Requests("101"), 1);
  EXPECT_EQ(second->GetRowCount(), 1);
  CListUI* first = Lists().FindLessonList("101");
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->IsVisible());
  EXPECT_TRUE(second->IsVisible());

  service.Release("101");
  RunUntil([&] { return PendingBackgroundTasks() == 0 && first->GetRowCount() == 6; });
  PumpPendingMessages();
  EXPECT_EQ(first->GetRowCount(), 6);
  EXPECT_EQ(Cell(Row(first, 1), 2), L"上一次观看");
  EXPECT_FALSE(first->IsVisible());
  EXPECT_TRUE(second->IsVisible());
  // The remembered position stays with what the student looks at.
  std::wstring value;
  ReadRegString(L"lastclassid", value);
  EXPECT_EQ(value, L"900");
}

TEST_F(CourseListsTest, AnAnswerAfterTheWindowClosedIsDropped) {
  service.Answer("101", ClassAnswer(kLessons, "11"));
  service.Hold("101");
  Lists().ShowLessonList("101");
  wnd->DestroyWindow();
  wnd.reset();
  service.Release("101");
  ASSERT_TRUE(WaitForBackgroundTasks(10000));
  PumpPendingMessages();
  std::wstring value;
  EXPECT_NE(ReadRegString(L"lastclassid", value), 0);
}

// ---- clicks -----------------------------------------------------------------------------

TEST_F(CourseListsTest, PlayClickChecksTheNetworkTheDownloadAndLogsTheOnlinePlay) {
  service.Answer("101", ClassAnswer(kLessons, ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  RecordingLessonPlayer player;
  Lists().SetLessonPlayer(&player);

  online = false;
  Click(Row(list, 0)->FindSubControl(L"btnVideoPlay"));
  EXPECT_EQ(TipText(), L"请检查网络连接");
  EXPECT_EQ(Cell(Row(list, 0), 2), L"");
  DestroySelfOwned();
  online = true;

  DownloadTask task;
  task.id = "12";
  task.classId = "101";
  task.localFile = (m_root / "gone.mp4").string();
  task.total = 10;
  DownloadTaskList::Get().AddTask(task, TaskKind::Video);
  Click(Row(list, 1)->FindSubControl(L"btnVideoPlay"));
  EXPECT_EQ(TipText(), L"文件不存在");
  EXPECT_EQ(Cell(Row(list, 1), 2), L"正在观看");
  DestroySelfOwned();

  task.id = "13";
  task.localFile = (m_root / "whole.mp4").string();
  std::ofstream(task.localFile) << "0123456789";
  DownloadTaskList::Get().AddTask(task, TaskKind::Video);
  Click(Row(list, 2)->FindSubControl(L"btnVideoPlay"));
  Click(Row(list, 5)->FindSubControl(L"btnVideoPlay"));
  EXPECT_EQ(list->GetCurSel(), 5);
  EXPECT_EQ(Cell(Row(list, 1), 2), L"");
  EXPECT_EQ(Cell(Row(list, 5), 2), L"正在观看");
  const std::string log = LogText();
  EXPECT_NE(log.find("PlayLocal classid:101 vid:v13"), std::string::npos);
  EXPECT_EQ(player.downloaded, std::vector<std::string>{task.localFile});
  EXPECT_EQ(player.online, std::vector<std::string>{"101/v16@2400"});
}

TEST_F(CourseListsTest, ViewClickNeedsADownloadedFile) {
  ClassRecord cls;
  cls.id = "301";
  DocumentRecord doc;
  doc.id = "7";
  doc.name = "讲义";
  cls.jiangyi = {doc, doc};
  cls.jiangyi[1].id = "8";
  gSubjectList.Classes.push_back(cls);
  SelectTab(L"optJiangYiList");
  Lists().ShowDocList("301");
  CListUI* list = Lists().FindDocList("301");
  ASSERT_NE(list, nullptr);
  // The list downloads enable the button once the document is on disk.
  for (int i = 0; i < 2; ++i) Row(list, i)->FindSubControl(L"btnDocLook")->SetEnabled(true);

  Click(Row(list, 0)->FindSubControl(L"btnDocLook"));  // no task: nothing happens
  EXPECT_EQ(TipText(), L"");
  DownloadTask task;
  task.id = "7";
  task.classId = "301";
  task.localFile = (m_root / "gone.pdf").string();
  DownloadTaskList::Get().AddTask(task, TaskKind::Document);
  Click(Row(list, 0)->FindSubControl(L"btnDocLook"));
  EXPECT_EQ(TipText(), L"文件不存在");
  task.id = "8";
  task.localFile = (m_root / "here.pdf").string();
  std::ofstream(task.localFile) << "%PDF";
  DownloadTaskList::Get().AddTask(task, TaskKind::Document);
  Click(Row(list, 1)->FindSubControl(L"btnDocLook"));
  EXPECT_NE(LogText().find("LookDoc classid:301 id:8"), std::string::npos);
}

TEST_F(CourseListsTest, ARowIndexOutsideTheCachedListIsIgnoredWithALogLine) {
  service.Answer("101", ClassAnswer(kLessons, ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  CControlUI* play = Row(list, 3)->FindSubControl(L"btnVideoPlay");
  for (const wchar_t* bad : {L"99", L"-1", L"x", L""}) {
    play->SetUserData(bad);
    Click(play);
  }
  EXPECT_EQ(Cell(Row(list, 3), 2), L"");
  EXPECT_NE(LogText().find("btnVideoPlay row index 99 outside the 6 lessons of class 101"),
            std::string::npos);
}

TEST_F(CourseListsTest, RowClicksToggleTheOptionOnlyInSelectionMode) {
  service.Answer("101", ClassAnswer(kLessons, ""));
  CListUI* list = ShowLessons("101");
  ASSERT_NE(list, nullptr);
  auto* option = static_cast<COptionUI*>(Row(list, 2)->FindSubControl(L"optSelectVideo"));
  Click(Row(list, 2)->GetItemAt(1));
  EXPECT_FALSE(option->IsSelected());
  wnd->FindControl(L"optDownloadAllVideo")->SetVisible(true);
  Click(Row(list, 2)->GetItemAt(1));
  EXPECT_TRUE(option->IsSelected());
  Click(Row(list, 2)->GetItemAt(1));
  EXPECT_FALSE(option->IsSelected());
}

// ---- untrusted answers -----------------------------------------------------------------

TEST_F(CourseListsTest, AHugeAnswerWithJunkFieldsBuildsWithoutTrouble) {
  std::string json = R"({"code":200,"data":{"lastLearnLessonId":7,"lessons":[)";
  for (int i = 0; i < 10000; ++i) {
    if (i) json += ",";
    switch (i % 4) {
      case 0:
        json += R"({"id":")" + std::to_string(i) + R"(","name":"第)" + std::to_string(i) +
                R"(讲","duration":"600","learned_duration":"300","video":"v)" + std::to_string(i) + "\"}";
        break;
      case 1:
        json += R"({"id":1,"name":null,"duration":600,"learned_duration":[1]})";
        break;
      case 2:
        json += R"({"duration":"99999999999999999999999","learned_duration":"-5"})";
        break;
      default:
        json += R"("not an object")";
    }
  }
  json += "]}}";
  service.Answer("101", json);
  const auto start = std::chrono::steady_clock::now();
  CListUI* list = ShowLessons("101");
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetRowCount(), 7500);
  EXPECT_EQ(Cell(Row(list, 0), 4), L"50%");
  EXPECT_EQ(Cell(Row(list, 1), 3), L"00:00");
  EXPECT_EQ(Cell(Row(list, 2), 4), L"未学习");
  std::printf("fetch and build of 7,500 rows: %.0f ms\n", ms);
  wnd->GetPaintManager().DoLayout();
  std::string vid, learned;
  EXPECT_TRUE(Lists().NextLesson("101", "9996", vid, learned));
}

}  // namespace
