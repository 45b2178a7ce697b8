// Downloads from the course lists on the test host: file names from untrusted titles and
// addresses, the download buttons for each task state, the batch selection (ticks,
// select-all, locked rows), single and batch downloads against a scripted service (the
// address lookup off the main thread, the folder question, the task list and course
// database afterwards), cancelling the folder question, the manager windows' row messages
// and badges. Screenshots: <build>/screenshots/list-downloads-*.png.
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "account/WindowTestKit.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/SizeText.h"
#include "downloads/ThreadPool.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/DownSetConfig.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "mainwnd/DownloadNaming.h"
#include "mainwnd/LeftTreeDlg.h"
#include "mainwnd/ListDownloads.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "mainwnd/RowDownloadState.h"
#include "mainwnd/SubjectTree.h"
#include "platform/BackgroundTask.h"
#include "platform/Messages.h"
#include "service/CurlSupport.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"
#include "ui/Button.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/ListHeader.h"
#include "ui/Option.h"
#include "ui/TreeView.h"

namespace {

// ---- file names ----------------------------------------------------------------------------

TEST(DownloadNamingTest, HostileTitlesAndAddressesStayInsideTheFolder) {
  const struct {
    const char* name;
    const char* title;
    const char* url;
    TaskKind kind;
    const char* expected;
  } cases[] = {
      {"plain", "第一课", "http://s/media/v1.mp4", TaskKind::Video, "第一课.mp4"},
      {"slashes climb out", "../../etc/passwd", "http://s/a.mp4", TaskKind::Video, "....etcpasswd.mp4"},
      {"backslashes", "a\\b", "http://s/a.pdf", TaskKind::Document, "ab.pdf"},
      {"control characters", "a\nb\tc\x7f", "http://s/a.mp4", TaskKind::Video, "abc.mp4"},
      {"only a dot", ".", "http://s/a", TaskKind::Video, ""},
      {"two dots", "..", "http://s/a.mp4", TaskKind::Video, ""},
      {"nothing left", "/\n/", "http://s/a.mp4", TaskKind::Video, ""},
      {"no extension: video", "课", "http://s/media/v1", TaskKind::Video, "课.mp4"},
      {"no extension: document", "讲义", "http://s/jiangyi/doc", TaskKind::Document, "讲义.pdf"},
      {"a dot in a folder only", "课", "http://s/a.b/file", TaskKind::Video, "课.mp4"},
      {"query and fragment", "课", "http://s/v.webm?sig=1/2.x#t", TaskKind::Video, "课.webm"},
      {"extension with a slash trick", "课", "http://s/v.mp4%2F..", TaskKind::Video, "课.mp4"},
      {"empty extension", "课", "http://s/v.", TaskKind::Document, "课.pdf"},
      {"backslash address", "课", "C:\\x\\v.flv", TaskKind::Video, "课.flv"},
      // A page or script is never stored under its own extension: nothing opens it as a page.
      {"a page as a document", "言语理解讲义（上）", "http://s/page/evil.html", TaskKind::Document,
       "言语理解讲义（上）.pdf"},
      {"a page as a video", "课", "http://s/page/evil.HTM?x=1", TaskKind::Video, "课.mp4"},
      {"a drawing with script", "讲义", "http://s/a.svg", TaskKind::Document, "讲义.pdf"},
      {"another document kind", "讲义", "http://s/a.DOCX", TaskKind::Document, "讲义.DOCX"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = MakeDownloadName(c.title, c.url, c.kind);
    EXPECT_EQ(name, c.expected);
    EXPECT_EQ(name.find('/'), std::string::npos);
  }
  // A long title is cut to one file name's length, never inside a character.
  std::string longTitle;
  for (int i = 0; i < 200; ++i) longTitle += "课";
  const std::string name = MakeDownloadName(longTitle, "http://s/a.mp4", TaskKind::Video);
  EXPECT_LE(name.size(), 255u);
  EXPECT_TRUE(name.ends_with(".mp4"));
  EXPECT_EQ(Utf8ToWide(name).find(L'\uFFFD'), std::wstring::npos);
  EXPECT_EQ((name.size() - 4) % 3, 0u);
}

// ---- button states -------------------------------------------------------------------------

TEST(RowDownloadStateTest, ButtonsFollowTheTaskOfTheRow) {
  const struct {
    const char* name;
    bool task;
    int64_t downloaded, total;
    const wchar_t* text;
    bool enabled;
    DWORD color;
    bool viewable;
  } cases[] = {
      {"no task", false, 0, 0, L"下载", true, 0xFF4D4D4D, false},
      {"nothing on disk yet", true, 0, 100, L"下载", true, 0xFF4D4D4D, false},
      {"partly on disk", true, 40, 100, L"等待下载", true, 0xFFFF854D, false},
      {"complete", true, 100, 100, L"已下载", false, 0, true},
      {"larger than announced", true, 120, 100, L"已下载", false, 0, true},
  };
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tavo-rows-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DownloadTaskList::Get().Clear();
    LessonRecord lesson;
    lesson.id = "11";
    lesson.video = "v1";
    DocumentRecord doc;
    doc.id = "d1";
    if (c.task) {
      for (TaskKind kind : {TaskKind::Video, TaskKind::Document}) {
        DownloadTask task;
        task.classId = "c1";
        task.id = kind == TaskKind::Video ? "11" : "d1";
        task.kind = kind;
        task.downloaded = c.downloaded;
        task.total = c.total;
        // Finished means the whole file on disk: the task's file holds what it says.
        task.localFile = (folder / task.id).string();
        const auto bytes = kind == TaskKind::Document ? c.downloaded * 1024 : c.downloaded;
        std::ofstream(task.localFile, std::ios::binary) << std::string(static_cast<std::size_t>(bytes), 'x');
        ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, kind));
      }
    }
    CButtonUI video;
    video.SetText(L"?");
    ApplyLessonState(&video, "c1", lesson);
    EXPECT_EQ(video.GetText(), c.text);
    EXPECT_EQ(video.IsEnabled(), c.enabled);
    if (c.color) {
      EXPECT_EQ(video.GetTextColor(), c.color);
    }

    CButtonUI document;
    CButtonUI look;
    ApplyDocState(&document, &look, "c1", doc);
    EXPECT_EQ(document.GetText(), c.text);
    EXPECT_EQ(document.IsEnabled(), c.enabled);
    EXPECT_EQ(look.IsEnabled(), c.viewable);
    EXPECT_EQ(look.GetToolTip(), c.viewable ? L"查看" : L"请先下载");
    EXPECT_EQ(look.GetNormalImage(),
              c.viewable ? L"icon_file_downloaded.png" : L"icon_file_not_downloaded.png");
  }
  DownloadTaskList::Get().Clear();
  std::filesystem::remove_all(folder);
}

// ---- a scripted school service -------------------------------------------------------------

// Answers "/api/user/myClass" with one class's lessons and "/api/Apibook/playUri" per
// video; every lookup may be held back until released.
class ScriptedSchool {
 public:
  ScriptedSchool() {
    m_server.Post("/api/user/myClass", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard lock(m_mutex);
      res.set_content(m_classAnswer, "application/json");
    });
    m_server.Get("/api/Apibook/playUri", [this](const httplib::Request& req, httplib::Response& res) {
      const std::string vid = req.get_param_value("vid");
      // A slow service: every answer takes its time, as over a real network.
      if (m_delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
      std::unique_lock lock(m_mutex);
      ++m_lookups;
      m_released.wait(lock, [&] { return !m_holding || m_stopping; });
      auto it = m_videos.find(vid);
      if (it == m_videos.end()) {
        res.set_content(R"({"code":404,"msg":{"msg":"视频不存在"}})", "application/json");
        return;
      }
      res.set_content(R"({"code":200,"msg":{"msg":"成功"},"FileURL":")" + it->second.first + R"(","Size":)" +
                          std::to_string(it->second.second) + "}",
                      "application/json");
    });
    m_server.Get(R"(/media/([\w.]+))", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard lock(m_mutex);
      ++m_transfers;
      res.set_content(std::string(m_mediaBytes, 'm'), "video/mp4");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~ScriptedSchool() {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_released.notify_all();
    m_server.stop();
    m_thread.join();
  }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  void SetClass(std::string answer) {
    std::lock_guard lock(m_mutex);
    m_classAnswer = std::move(answer);
  }
  void Video(const std::string& vid, const std::string& url, int64_t size) {
    std::lock_guard lock(m_mutex);
    m_videos[vid] = {url, size};
  }
  void Hold(bool hold) {
    {
      std::lock_guard lock(m_mutex);
      m_holding = hold;
    }
    m_released.notify_all();
  }
  int Lookups() {
    std::lock_guard lock(m_mutex);
    return m_lookups;
  }
  // Every "/media/..." file is this many bytes.
  void MediaBytes(std::size_t bytes) {
    std::lock_guard lock(m_mutex);
    m_mediaBytes = bytes;
  }
  int Transfers() {
    std::lock_guard lock(m_mutex);
    return m_transfers;
  }
  std::atomic<int> m_delayMs{0};

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
  std::mutex m_mutex;
  std::condition_variable m_released;
  std::string m_classAnswer;
  std::map<std::string, std::pair<std::string, int64_t>> m_videos;
  int m_lookups = 0;
  std::size_t m_mediaBytes = 0;
  int m_transfers = 0;
  bool m_holding = false;
  bool m_stopping = false;
};

// Four lessons: rows 0 and 3 free, row 1 downloaded, row 2 partly downloaded.
constexpr const char* kClassAnswer =
    R"({"code":200,"msg":"成功","data":{"classId":"c1","lastLearnLessonId":"",
  "lessons":[
   {"id":"11","name":"第一课 函数与极限","duration":"3600","video":"v1","learned_duration":"0"},
   {"id":"12","name":"第二课 导数与微分","duration":"3600","video":"v2","learned_duration":"1800"},
   {"id":"13","name":"第三课 中值定理","duration":"3600","video":"v3","learned_duration":"0"},
   {"id":"14","name":"../第四课/不定积分","duration":"3600","video":"v4","learned_duration":"0"}]}})";

struct AskedFolder {
  TaskKind kind;
  int64_t size;
  std::wstring initial;
};

class ListDownloadsTest : public WindowTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  void SetUp() override {
    WindowTestKit::SetUp();
    ASSERT_TRUE(OpenLog(L"browserlog"));
    DownloadTaskList::Get().Clear();
    gSubjectList.Clear();
    SetSignedInAccount("student");
    SetSessionToken("token-of-the-student");
    SetTransportLimits({2, 2});
    SetApiOrigin(school.Origin());
    SetSiteOrigin(school.Origin());
    school.SetClass(kClassAnswer);
    school.Video("v1", school.Origin() + "/media/v1.mp4", 1572864);
    school.Video("v3", school.Origin() + "/media/v3", 2048);
    school.Video("v4", school.Origin() + "/media/v4.mp4", 4096);
    ClassRecord cls;
    cls.id = "c1";
    cls.name = "高等数学";
    for (int i = 1; i <= 3; ++i) {
      DocumentRecord doc;
      doc.id = "d" + std::to_string(i);
      doc.class_id = "c1";
      doc.name = "讲义" + std::to_string(i);
      doc.file_size = i == 1 ? "500" : "3072";
      doc.file_url = "uploads/jiangyi/d" + std::to_string(i) + ".pdf";
      cls.jiangyi.push_back(doc);
    }
    gSubjectList.Classes = {cls};
    folder = m_root / "chosen";
  }
  void TearDown() override {
    EXPECT_TRUE(ListDownloads::WaitForLookups(10000));
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    if (MainDlg* main = GetMainDlg()) {
      main->SetQuitOnFinal(false);
      main->DestroyWindow();
    }
    PumpPendingMessages();
    CloseLog();
    DownloadTaskList::Get().Clear();
    gSubjectList.Clear();
    CourseDB::Release();
    ClearSessionToken();
    WindowTestKit::TearDown();
  }

  // Opens the main window (tasks already in the list shape the rows) and waits for the
  // lessons; the folder question answers with `answer` (and records what it was asked).
  MainDlg* Open() {
    m_opener.ShowMainWindow();
    main = GetMainDlg();
    EXPECT_NE(main, nullptr);
    RunUntil([] { return PendingBackgroundTasks() == 0; });
    PumpPendingMessages();
    main->GetDownSetPanel()->SetFolderAsker(
        [this](TaskKind kind, int64_t size, const std::wstring& initial, std::wstring& chosen) {
          asked.push_back({kind, size, initial});
          chosen = ToWide(folder.string());
          return answer;
        });
    main->GetPaintManager().DoLayout();
    return main;
  }
  static std::wstring ToWide(const std::string& s) { return AnsiToWide(s); }
  CListUI* Lessons() { return main->GetCourseLists()->FindLessonList("c1"); }
  CListUI* Docs() { return main->GetCourseLists()->FindDocList("c1"); }
  static CListContainerElementUI* Row(CListUI* list, int i) {
    return dynamic_cast<CListContainerElementUI*>(list->GetRowAt(i));
  }
  static CButtonUI* Button(CListUI* list, int i, const wchar_t* name = L"btnVideoDown") {
    return static_cast<CButtonUI*>(Row(list, i)->FindSubControl(name));
  }
  static COptionUI* Tick(CListUI* list, int i, const wchar_t* name = L"optSelectVideo") {
    return static_cast<COptionUI*>(Row(list, i)->FindSubControl(name));
  }
  CControlUI* Find(const wchar_t* name) { return main->FindControl(name); }
  void Click(CControlUI* control) {
    ASSERT_NE(control, nullptr);
    main->GetPaintManager().DoLayout();
    const CDuiRect r = control->GetPos();
    HostOf(main)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  void SelectDocTab() {
    static_cast<COptionUI*>(Find(L"optJiangYiList"))->Selected(true);
    PumpPendingMessages();
    main->GetPaintManager().DoLayout();
  }
  // A task whose file holds `downloaded` of `total` (KiB for documents).
  void AddTask(const std::string& id, TaskKind kind, int64_t downloaded, int64_t total) {
    DownloadTask task;
    task.classId = "c1";
    task.id = id;
    task.kind = kind;
    task.downloaded = downloaded;
    task.total = total;
    std::filesystem::create_directories(folder);
    task.localFile = (folder / (id + ".bin")).string();
    std::ofstream(task.localFile, std::ios::binary) << std::string(
        static_cast<std::size_t>(kind == TaskKind::Document ? downloaded * 1024 : downloaded), 'x');
    ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, kind));
  }
  // Waits for the address lookups and the answers' handling on the main thread.
  void Settle() {
    RunUntil([] { return ListDownloads::PendingLookups() == 0; });
    PumpPendingMessages();
    main->GetPaintManager().DoLayout();
  }
  std::optional<DownSetConfig> StoredSettings() { return ReadDownSet(DownSetConfigPath(), "student"); }

  ScriptedSchool school;
  MainDlg* main = nullptr;
  std::filesystem::path folder;
  bool answer = true;
  std::vector<AskedFolder> asked;
};

TEST_F(ListDownloadsTest, SelectModeTicksLocksAndSelectAll) {
  AddTask("12", TaskKind::Video, 100, 100);
  AddTask("13", TaskKind::Video, 10, 100);
  Open();
  CListUI* list = Lessons();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetRowCount(), 4);
  EXPECT_EQ(Button(list, 0)->GetText(), L"下载");
  EXPECT_EQ(Button(list, 1)->GetText(), L"已下载");
  EXPECT_EQ(Button(list, 2)->GetText(), L"等待下载");

  Click(Find(L"btnDownloadVideo"));
  auto* all = static_cast<COptionUI*>(Find(L"optDownloadAllVideo"));
  CControlUI* download = Find(L"btnDownloadVideo");
  EXPECT_TRUE(all->IsVisible());
  EXPECT_TRUE(Find(L"btnDownVideoCancel")->IsVisible());
  EXPECT_FALSE(download->IsEnabled());
  EXPECT_EQ(download->GetFixedWidth(), 26);
  EXPECT_TRUE(list->GetHeader()->FindSubControl(L"headerSelect")->IsVisible());
  const struct {
    bool selected, enabled;
    const wchar_t* image;
  } looks[] = {{false, true, L"download_nock.png"},
               {true, false, L"n_check_no_select.png"},
               {false, false, L"n_check_no_select.png"},
               {false, true, L"download_nock.png"}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(Row(list, i)->GetItemAt(0)->IsVisible());
    EXPECT_EQ(Tick(list, i)->IsSelected(), looks[i].selected);
    EXPECT_EQ(Tick(list, i)->IsEnabled(), looks[i].enabled);
    EXPECT_EQ(Tick(list, i)->GetNormalImage(), looks[i].image);
  }
  SaveScreenshot(main, "list-downloads-select-mode.png", {main->GetTreeWindow()});

  // Ticking every free row by hand ticks select-all; locked rows cannot be changed.
  Click(Tick(list, 0));
  EXPECT_TRUE(download->IsEnabled());
  EXPECT_FALSE(all->IsSelected());
  Click(Tick(list, 1));
  EXPECT_TRUE(Tick(list, 1)->IsSelected());
  Click(Tick(list, 3));
  EXPECT_TRUE(all->IsSelected());
  // Unticking one unticks select-all and leaves the others ticked.
  Click(Tick(list, 0));
  EXPECT_FALSE(all->IsSelected());
  EXPECT_TRUE(Tick(list, 3)->IsSelected());
  EXPECT_TRUE(download->IsEnabled());
  // A click on the row itself ticks too.
  Click(Row(list, 0)->GetItemAt(1));
  EXPECT_TRUE(Tick(list, 0)->IsSelected());
  EXPECT_TRUE(all->IsSelected());
  // Select-all off unticks the free rows and the download waits for a tick.
  Click(all);
  EXPECT_FALSE(Tick(list, 0)->IsSelected());
  EXPECT_FALSE(Tick(list, 3)->IsSelected());
  EXPECT_TRUE(Tick(list, 1)->IsSelected());
  EXPECT_FALSE(Tick(list, 2)->IsSelected());
  EXPECT_FALSE(download->IsEnabled());
  Click(all);
  EXPECT_TRUE(Tick(list, 0)->IsSelected());
  EXPECT_FALSE(Tick(list, 2)->IsSelected());
  EXPECT_TRUE(download->IsEnabled());

  Click(Find(L"btnDownVideoCancel"));
  EXPECT_FALSE(all->IsVisible());
  EXPECT_FALSE(Find(L"btnDownVideoCancel")->IsVisible());
  EXPECT_EQ(download->GetFixedWidth(), 60);
  EXPECT_TRUE(download->IsEnabled());
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Row(list, i)->GetItemAt(0)->IsVisible());
    EXPECT_FALSE(Tick(list, i)->IsSelected());
  }
  EXPECT_FALSE(list->GetHeader()->FindSubControl(L"headerSelect")->IsVisible());

  // Showing a class (again) leaves the selection too.
  Click(Find(L"btnDownloadVideo"));
  ASSERT_TRUE(all->IsVisible());
  main->GetSubjectTree()->ShowClass(main->GetTreeWindow()->GetSelectedNode());
  EXPECT_FALSE(all->IsVisible());
  EXPECT_FALSE(Row(list, 0)->GetItemAt(0)->IsVisible());
  EXPECT_TRUE(asked.empty());
}

TEST_F(ListDownloadsTest, BatchAsksOnceForTheSumAndAddsTheTickedVideos) {
  school.Video("v1", "", 0);  // the service has no address for it: skipped
  Open();
  CListUI* list = Lessons();
  Click(Find(L"btnDownloadVideo"));
  Click(Find(L"optDownloadAllVideo"));
  school.Hold(true);
  Click(Find(L"btnDownloadVideo"));
  // While the lookups run the window stays usable, the tree and the tool bar wait.
  RunUntil([&] { return school.Lookups() >= 1; });
  LeftTreeDlg* tree = main->GetTreeWindow();
  EXPECT_FALSE(tree->GetTree()->IsMouseEnabled());
  EXPECT_FALSE(Find(L"btnDownloadVideo")->IsEnabled());
  EXPECT_FALSE(Find(L"optDownloadAllVideo")->IsEnabled());
  EXPECT_FALSE(Find(L"btnDownVideoCancel")->IsEnabled());
  EXPECT_TRUE(asked.empty());
  school.Hold(false);
  Settle();

  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, TaskKind::Video);
  EXPECT_EQ(asked[0].size, 2048 + 4096);
  const std::string dir = folder.string() + "/";
  auto v3 = DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video);
  auto v4 = DownloadTaskList::Get().FindTask("c1", "14", TaskKind::Video);
  ASSERT_TRUE(v3 && v4);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("c1", "11", TaskKind::Video));
  EXPECT_EQ(v3->name, "第三课 中值定理.mp4");
  EXPECT_EQ(v4->name, "..第四课不定积分.mp4");
  EXPECT_EQ(v4->localFile, dir + "..第四课不定积分.mp4");
  EXPECT_EQ(v3->total, 2048);
  EXPECT_EQ(v3->className, "高等数学");
  EXPECT_EQ(v3->notifyWindow, main->GetManager(TaskKind::Video)->GetHWND());
  EXPECT_TRUE(CourseDB::Get()->HasLesson("13"));
  EXPECT_TRUE(CourseDB::Get()->HasLesson("14"));
  EXPECT_TRUE(CourseDB::Get()->HasClass("c1", TaskKind::Video));
  auto stored = StoredSettings();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->prevDownDir, AnsiToWide(dir));

  // The batch's end gives the tree and the tool bar back and leaves the select mode.
  EXPECT_TRUE(tree->GetTree()->IsMouseEnabled());
  EXPECT_TRUE(Find(L"btnDownloadVideo")->IsEnabled());
  EXPECT_FALSE(Find(L"optDownloadAllVideo")->IsVisible());
  EXPECT_FALSE(Find(L"btnDownVideoCancel")->IsVisible());
  EXPECT_EQ(Button(list, 2)->GetText(), L"等待下载");
  EXPECT_FALSE(main->GetListDownloads()->IsBatchRunning(TaskKind::Video));
}

// The disk must take the whole batch plus the reserve: when it cannot, a tip names both
// numbers and nothing is added; with room, the batch starts. On a metered connection the
// student did not allow, the new downloads are added and wait for another network.
TEST_F(ListDownloadsTest, ABatchChecksTheDiskAndWaitsForAnUnmeteredNetwork) {
  Open();
  DownloadConditions& conditions = main->GetDownloads().Conditions();
  std::int64_t free = kDiskReserveBytes + 4096;  // less than the three videos beyond it
  conditions.SetFreeSpaceProbe([&](const std::string&) { return std::optional(free); });
  auto batch = [&] {
    Click(Find(L"btnDownloadVideo"));
    Click(Find(L"optDownloadAllVideo"));
    Click(Find(L"btnDownloadVideo"));
    Settle();
  };
  batch();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video));
  EXPECT_FALSE(CourseDB::Get()->HasLesson("13"));
  auto* tip = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(FindWindow(L"MessageBoxDlgClass", L"")));
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(tip->FindControl(L"lbTip")->GetText(), L"磁盘空间不足：需要 " +
                                                       SizeText(kDiskReserveBytes + 1572864 + 2048 + 4096) +
                                                       L"，可用 " + SizeText(free));

  free = 1LL << 40;
  conditions.SetMeteredProbe([] { return true; });
  batch();
  const auto v3 = DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video);
  ASSERT_TRUE(v3);
  EXPECT_EQ(v3->jobNumber, 0u);  // no job runs for it
  EXPECT_EQ(main->GetDownloads().StateOf(KeyOf(*v3)), DownloadState::HeldForNetwork);
  EXPECT_EQ(Button(Lessons(), 2)->GetText(), L"等待网络");
  EXPECT_EQ(
      main->GetManager(TaskKind::Video)->FindTaskRow("c1", "13")->FindSubControl(L"lbProgContent")->GetText(),
      L"等待非计费网络");
}

// Forty lessons from a slow service: the main loop keeps turning while the addresses come.
TEST_F(ListDownloadsTest, ABatchOfFortyKeepsTheWindowResponsive) {
  std::string answer =
      R"({"code":200,"msg":"成功","data":{"classId":"c1","lastLearnLessonId":"","lessons":[)";
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(100 + i);
    answer += std::string(i ? "," : "") + R"({"id":")" + n + R"(","name":"第)" + n +
              R"(课","duration":"60","video":"w)" + n + R"(","learned_duration":"0"})";
    school.Video("w" + n, school.Origin() + "/media/w" + n + ".mp4", 1000 + i);
  }
  school.SetClass(answer + "]}}");
  school.m_delayMs = 15;
  Open();
  // Opened at start-up by the manager windows in the program.
  ASSERT_NE(CourseDB::Get(), nullptr);
  ASSERT_EQ(Lessons()->GetRowCount(), 40);
  Click(Find(L"btnDownloadVideo"));
  Click(Find(L"optDownloadAllVideo"));

  // The longest pause between two turns of the main loop while the batch runs.
  struct Gap {
    gint64 last = g_get_monotonic_time();
    gint64 longest = 0;
  } gap;
  const guint tick = g_timeout_add(
      5,
      [](gpointer data) -> gboolean {
        auto* g = static_cast<Gap*>(data);
        const gint64 now = g_get_monotonic_time();
        g->longest = std::max(g->longest, now - g->last);
        g->last = now;
        return G_SOURCE_CONTINUE;
      },
      &gap);
  Click(Find(L"btnDownloadVideo"));
  RunUntil([&] { return !main->GetListDownloads()->IsBatchRunning(TaskKind::Video); },
           std::chrono::seconds(20));
  g_source_remove(tick);
  std::printf("batch of 40 lessons: longest main loop gap %lld ms\n",
              static_cast<long long>(gap.longest / 1000));
  EXPECT_LT(gap.longest, 300 * 1000);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].size, 40 * 1000 + 39 * 40 / 2);
  EXPECT_EQ(DownloadTaskList::Get().FindClass("c1", TaskKind::Video)->tasks.size(), 40u);
}

// The school's 42-lesson class plays two videos by turns. Every lesson is a download of its
// own: select-all turns every row "已下载" and the manager lists every lesson, while the
// lessons of one video share its bytes instead of fighting over one file. Previous/next and
// progress stay with the lesson asked for.
TEST_F(ListDownloadsTest, LessonsSharingTwoVideosAreFortyTwoDownloadsAndNeighbours) {
  constexpr int kLessons = 42;
  constexpr std::size_t kBytes = 64 * 1024;
  std::string answer =
      R"({"code":200,"msg":"成功","data":{"classId":"c1","lastLearnLessonId":"","lessons":[)";
  for (int i = 1; i <= kLessons; ++i) {
    const std::string id = std::to_string(110200 + i);
    answer += std::string(i > 1 ? "," : "") + R"({"id":")" + id + R"(","name":"第)" + std::to_string(i) +
              R"(课","duration":"600","video":"v11020)" + (i % 2 ? "1" : "2") +
              R"(","learned_duration":"0"})";
  }
  school.SetClass(answer + "]}}");
  school.MediaBytes(kBytes);
  for (const char* video : {"v110201", "v110202"})
    school.Video(video, school.Origin() + "/media/" + video + ".mp4", kBytes);
  // The engine's workers run here (elsewhere in this suite jobs are only queued); they stop
  // with the test, after which queued jobs are dropped.
  struct Workers {
    Workers() { ThreadPool::Get().Create(); }
    ~Workers() { ThreadPool::Get().Shutdown(); }
  } workers;
  Open();
  CListUI* list = Lessons();
  ASSERT_EQ(list->GetRowCount(), kLessons);

  Click(Find(L"btnDownloadVideo"));
  Click(Find(L"optDownloadAllVideo"));
  Click(Find(L"btnDownloadVideo"));
  Settle();
  const auto allDownloaded = [&] {
    for (int i = 0; i < kLessons; ++i)
      if (Button(list, i)->GetText() != L"已下载") return false;
    return true;
  };
  ASSERT_TRUE(RunUntil(allDownloaded, std::chrono::seconds(60)));
  main->GetPaintManager().DoLayout();
  SaveScreenshot(main, "list-downloads-shared-videos.png", {main->GetTreeWindow()});
  DownloadMgrDlg* manager = main->GetManager(TaskKind::Video);
  ASSERT_NE(manager, nullptr);
  int shared = 0;
  for (int i = 1; i <= kLessons; ++i) {
    const std::string id = std::to_string(110200 + i);
    SCOPED_TRACE(id);
    EXPECT_NE(manager->FindTaskRow("c1", id), nullptr);
    const auto task = DownloadTaskList::Get().FindTask("c1", id, TaskKind::Video);
    ASSERT_TRUE(task);
    EXPECT_EQ(std::filesystem::file_size(task->localFile), kBytes);
    if (std::filesystem::hard_link_count(task->localFile) > 1) ++shared;
  }
  // Lessons reuse a finished copy of their video rather than transfer it again.
  std::printf("42 lessons of two videos: %d transfers, %d files sharing bytes\n", school.Transfers(), shared);
  EXPECT_LT(school.Transfers(), kLessons);
  EXPECT_GT(shared, 0);
  // The student deletes lesson 1's file: lesson 11, which plays the same video, keeps its own.
  const auto first = DownloadTaskList::Get().FindTask("c1", "110201", TaskKind::Video);
  const auto eleventh = DownloadTaskList::Get().FindTask("c1", "110211", TaskKind::Video);
  std::filesystem::remove(first->localFile);
  EXPECT_EQ(std::filesystem::file_size(eleventh->localFile), kBytes);

  // The player's previous/next and progress go to the lesson itself.
  CourseLists* lists = main->GetCourseLists();
  const struct {
    const char* from;
    bool next;
    const char* to;
  } steps[] = {{"110211", true, "110212"}, {"110211", false, "110210"}, {"110213", true, "110214"}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.from);
    std::string id, learned;
    ASSERT_TRUE(s.next ? lists->NextLesson("c1", s.from, id, learned)
                       : lists->PreviousLesson("c1", s.from, id, learned));
    EXPECT_EQ(id, s.to);
  }
  lists->UpdateLessonProgress("c1", "110211", 300);
  EXPECT_EQ(Row(list, 10)->FindSubControl(L"learnProgress")->GetText(), L"50%");
  EXPECT_EQ(Row(list, 0)->FindSubControl(L"learnProgress")->GetText(), L"未学习");
}

TEST_F(ListDownloadsTest, CancellingTheFolderQuestionCancelsAndKeepsThePreviousFolder) {
  Open();
  const std::wstring before = main->GetDownSetPanel()->Config().prevDownDir;
  answer = false;
  Click(Button(Lessons(), 0));
  Settle();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].size, 1572864);
  EXPECT_EQ(asked[0].initial, before);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("c1", "11", TaskKind::Video));
  EXPECT_FALSE(CourseDB::Get()->HasLesson("11"));
  EXPECT_EQ(Button(Lessons(), 0)->GetText(), L"下载");

  // The same for a batch of documents: 500 KiB counts as 1 MiB, 3072 as 3.
  SelectDocTab();
  Click(Find(L"btnDownloadDoc"));
  Click(Find(L"optDownloadAllDoc"));
  Click(Find(L"btnDownloadDoc"));
  Settle();
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].kind, TaskKind::Document);
  EXPECT_EQ(asked[1].size, 1 + 3 + 3);
  EXPECT_EQ(DownloadTaskList::Get().ClassCount(TaskKind::Document), 0);
  EXPECT_EQ(main->GetDownSetPanel()->Config().prevDownDir, before);
  EXPECT_FALSE(StoredSettings());
  EXPECT_FALSE(Find(L"optDownloadAllDoc")->IsVisible());
}

TEST_F(ListDownloadsTest, SingleDownloadsAndTheManagersRowMessages) {
  Open();
  CListUI* list = Lessons();
  Click(Button(list, 0));
  Settle();
  auto task = DownloadTaskList::Get().FindTask("c1", "11", TaskKind::Video);
  ASSERT_TRUE(task);
  EXPECT_EQ(task->url, school.Origin() + "/media/v1.mp4");
  EXPECT_EQ(task->localFile, folder.string() + "/第一课 函数与极限.mp4");
  EXPECT_EQ(Button(list, 0)->GetText(), L"等待下载");

  // The manager windows report progress and states to the download centre.
  main->GetDownloads().ReportProgress(*task, 45);
  PumpPendingMessages();
  EXPECT_EQ(Button(list, 0)->GetText(), L"45%");
  EXPECT_EQ(Button(list, 0)->GetTextColor(), 0xFFFF854Du);
  main->GetDownloads().ReportState(*task, DownloadState::Paused);
  PumpPendingMessages();
  EXPECT_EQ(Button(list, 0)->GetText(), L"已暂停");
  EXPECT_EQ(Button(list, 0)->GetTextColor(), 0xFF4D4D4Du);
  // Resumed, it waits in the colour of a row that was queued at first.
  main->GetDownloads().ReportState(*task, DownloadState::Waiting);
  PumpPendingMessages();
  EXPECT_EQ(Button(list, 0)->GetText(), L"等待下载");
  EXPECT_EQ(Button(list, 0)->GetTextColor(), 0xFFFF854Du);
  main->GetDownloads().ReportState(*task, DownloadState::Paused);
  PumpPendingMessages();
  // Rows in every state side by side: paused, transferring, finished, not downloaded.
  DownloadTask other = *task;
  other.id = "12";
  main->GetDownloads().ReportProgress(other, 45);
  other.id = "13";
  main->GetDownloads().ReportState(other, DownloadState::Finished);
  PumpPendingMessages();
  EXPECT_EQ(Button(list, 1)->GetText(), L"45%");
  EXPECT_FALSE(Button(list, 2)->IsEnabled());
  main->SetBadge(TaskKind::Video, 2);
  main->GetPaintManager().DoLayout();
  SaveScreenshot(main, "list-downloads-rows.png", {main->GetTreeWindow()});
  main->GetDownloads().ReportState(*task, DownloadState::Finished);
  PumpPendingMessages();
  EXPECT_FALSE(Button(list, 0)->IsEnabled());
  // A task of a class without a list changes nothing.
  DownloadTask stranger = *task;
  stranger.classId = "c404";
  main->GetDownloads().ReportProgress(stranger, 10);
  PumpPendingMessages();
  EXPECT_EQ(Button(list, 0)->GetText(), L"已下载");

  // A document: origin + "/" + file_url; the folder question gets whole MiB.
  SelectDocTab();
  CListUI* docs = Docs();
  ASSERT_NE(docs, nullptr);
  Click(Button(docs, 1, L"btnDocDown"));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].size, 3);
  auto doc = DownloadTaskList::Get().FindTask("c1", "d2", TaskKind::Document);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->url, school.Origin() + "/uploads/jiangyi/d2.pdf");
  EXPECT_EQ(doc->total, 3072);
  EXPECT_EQ(doc->name, "讲义2.pdf");
  EXPECT_TRUE(CourseDB::Get()->HasDoc("d2"));
  CControlUI* look = Row(docs, 1)->FindSubControl(L"btnDocLook");
  EXPECT_FALSE(look->IsEnabled());
  main->GetDownloads().ReportState(*doc, DownloadState::Finished);
  PumpPendingMessages();
  EXPECT_TRUE(look->IsEnabled());
  EXPECT_EQ(look->GetToolTip(), L"查看");
  main->GetPaintManager().DoLayout();
  SaveScreenshot(main, "list-downloads-documents.png", {main->GetTreeWindow()});
  main->GetDownloads().ReportState(*doc, DownloadState::Failed);
  PumpPendingMessages();
  EXPECT_FALSE(look->IsEnabled());
  EXPECT_EQ(Button(docs, 1, L"btnDocDown")->GetText(), L"下载");
  EXPECT_TRUE(Button(docs, 1, L"btnDocDown")->IsEnabled());
}

// After a restart a lesson finished from a copy shorter than announced says "已下载", and a
// partly downloaded one goes on by itself in its folder; a click pauses it, another resumes.
TEST_F(ListDownloadsTest, AfterARestartRowsSayWhatIsOnDiskAndAStoppedDownloadGoesOnByItself) {
  std::filesystem::create_directories(folder);
  CourseDB* db = CourseDB::Get();
  db->InsertClass("c1", "高等数学", TaskKind::Video);
  const struct {
    const char* id;
    std::size_t finalBytes;
    std::size_t partBytes;
    std::int64_t fullSize;
  } stored[] = {{"12", 80, 0, 80}, {"13", 0, 40, 100}};
  for (const auto& s : stored) {
    DownloadTask task;
    task.id = s.id;
    task.kind = TaskKind::Video;
    task.validator = "\"e1\"";
    task.fullSize = s.fullSize;
    task.localFile = (folder / (std::string(s.id) + ".mp4")).string();
    task.partFile = task.localFile + ".part";
    if (s.finalBytes > 0) std::ofstream(task.localFile) << std::string(s.finalBytes, 'f');
    if (s.partBytes > 0) std::ofstream(task.partFile) << std::string(s.partBytes, 'p');
    const std::string video = std::string("v") + s.id[1];
    db->InsertLesson("c1", s.id, std::string(s.id) + ".mp4", school.Origin() + "/media/" + video + ".mp4",
                     "100", task.localFile, video);
    db->SaveResumeInfo(task);
  }
  Open();
  CListUI* list = Lessons();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Button(list, 1)->GetText(), L"已下载");
  // The stopped download goes on by itself, where it is: no folder question.
  EXPECT_EQ(Button(list, 2)->GetText(), L"等待下载");
  auto task = DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video);
  ASSERT_TRUE(task);
  EXPECT_EQ(task->state, TaskState::Waiting);
  EXPECT_NE(task->jobNumber, 0u);  // submitted
  EXPECT_TRUE(asked.empty());
  // A click pauses it for good; the next click starts it again.
  Click(Button(list, 2));
  Settle();
  EXPECT_EQ(Button(list, 2)->GetText(), L"已暂停");
  EXPECT_TRUE(DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video)->pausedByStudent);
  Click(Button(list, 2));
  Settle();
  EXPECT_EQ(Button(list, 2)->GetText(), L"等待下载");
  task = DownloadTaskList::Get().FindTask("c1", "13", TaskKind::Video);
  EXPECT_FALSE(task->pausedByStudent);
  EXPECT_TRUE(asked.empty());
}

// A row's download button (pause, start) moves the list's highlight to its row; the list
// starts with its first lesson highlighted.
TEST_F(ListDownloadsTest, ARowsDownloadButtonMovesTheHighlightToItsRow) {
  AddTask("12", TaskKind::Video, 10, 100);
  Open();
  CListUI* list = Lessons();
  ASSERT_EQ(list->GetCurSel(), 0);
  ASSERT_EQ(Button(list, 1)->GetText(), L"等待下载");
  const struct {
    int row;
    const wchar_t* textAfter;
  } clicks[] = {{1, L"已暂停"}, {3, L"等待下载"}, {1, L"等待下载"}};
  for (const auto& c : clicks) {
    SCOPED_TRACE(c.row);
    Click(Button(list, c.row));
    Settle();
    EXPECT_EQ(Button(list, c.row)->GetText(), c.textAfter);
    EXPECT_EQ(list->GetCurSel(), c.row);
    for (int i = 0; i < list->GetRowCount(); ++i) EXPECT_EQ(Row(list, i)->IsSelected(), i == c.row) << i;
  }
  SaveScreenshot(main, "list-downloads-highlight.png", {main->GetTreeWindow()});
}

TEST_F(ListDownloadsTest, BadgesAndManagerWindowsUnderTheirButtons) {
  Open();
  CControlUI* badge = Find(L"lbVideoDownCount");
  EXPECT_FALSE(badge->IsVisible());
  main->SetBadge(TaskKind::Video, 3);
  EXPECT_TRUE(badge->IsVisible());
  EXPECT_EQ(badge->GetText(), L"3");
  main->SetBadge(TaskKind::Video, 0);
  EXPECT_FALSE(badge->IsVisible());
  main->OnUnfinishedCount(TaskKind::Document, 12);
  EXPECT_EQ(Find(L"lbDocDownCount")->GetText(), L"12");

  DownloadMgrDlg* manager = main->GetManager(TaskKind::Video);
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(manager->IsWindowVisible());
  EXPECT_EQ(manager->GetOwner(), main->GetHWND());
  CControlUI* button = Find(L"btnDownloadVideoMgr");
  Click(button);
  EXPECT_TRUE(manager->IsWindowVisible());
  const CDuiRect at = manager->GetWindowRect();
  const CDuiRect window = main->GetWindowRect();
  EXPECT_EQ(at.left, window.left + button->GetPos().left - 252);
  EXPECT_EQ(at.top, window.top + button->GetPos().top + 19);
  EXPECT_EQ(at.GetWidth(), 360);
  EXPECT_EQ(at.GetHeight(), 638);
}

}  // namespace
