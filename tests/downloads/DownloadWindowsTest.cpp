// The download manager windows and the location dialog on the test host: size texts, the
// rebuild from the course database, row looks per completion, pause-all, the delete mode and
// its question, the empty state, hiding, tasks that go on by themselves, the disk and the
// metered network holding them, and the dialog's folder choice.
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DownloadTestSupport.h"
#include "TestServers.h"
#include "account/WindowTestKit.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/RetryPolicy.h"
#include "downloads/SizeText.h"
#include "downloads/ThreadPool.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "mainwnd/DownloadPathSetDlg.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "service/HttpDownload.h"
#include "study/DownloadCenter.h"
#include "ui/Button.h"
#include "ui/CheckBox.h"
#include "ui/Label.h"
#include "ui/Progress.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"
#include "ui/UIText.h"

namespace {

namespace fs = std::filesystem;

TEST(DownloadSizeText, WholeUnitsWithIntegerArithmetic) {
  struct Case {
    std::int64_t total;
    int percent;
    const wchar_t* text;
  } cases[] = {
      {1572864, 50, L"0MB/1MB"}, {1572864, 100, L"1MB/1MB"},  {500, 50, L"0KB/1KB"},
      {500, 100, L"1KB/1KB"},    {0, 0, L"0KB/1KB"},          {3221225472LL, 50, L"1GB/3GB"},
      {1024, 100, L"1KB/1KB"},   {5LL << 40, 40, L"2TB/5TB"}, {104857600, 33, L"33MB/100MB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(ProgressSizeText(c.total, c.percent), c.text);
  }
  EXPECT_EQ(SizeText(3221225472LL), L"3GB");
  EXPECT_EQ(SizeText(1500), L"1KB");
  EXPECT_EQ(SizeText(500), L"1KB");
  EXPECT_EQ(DownloadPathSetDlg::SizeTextFor(TaskKind::Video, 3221225472LL), L"3GB");
  EXPECT_EQ(DownloadPathSetDlg::SizeTextFor(TaskKind::Document, 1), L"1MB");
  EXPECT_EQ(DownloadPathSetDlg::SizeTextFor(TaskKind::Avatar, 99), L"");
}

class RecordingDelegate : public DownloadMgrDelegate {
 public:
  void OnUnfinishedCount(TaskKind, int count) override { badges.push_back(count); }
  void OpenFinished(const DownloadTask& task) override { opened.push_back(task.id); }
  void ShowMainTip(const std::wstring& text) override { tips.push_back(text); }
  std::vector<int> badges;
  std::vector<std::string> opened;
  std::vector<std::wstring> tips;
};

// What the download centre heard about a row: its percentage, or its state's row text.
enum class RowEvent { Progress, Status };
struct RowMessage {
  RowEvent msg;
  std::wstring text;  // the state's row text; the percentage
  std::string id;
};

struct RowRecorder : DownloadObserver {
  std::vector<RowMessage>& rows;
  explicit RowRecorder(std::vector<RowMessage>& into) : rows(into) {}
  void OnTaskProgress(const TaskProgress& e) override {
    rows.push_back({RowEvent::Progress, std::to_wstring(e.percent), e.key.id});
  }
  void OnTaskStateChanged(const TaskStateChanged& e) override {
    rows.push_back({RowEvent::Status, RowTextOf(e.state), e.key.id});
  }
  void OnTaskRemoved(const TaskRemoved& e) override {
    rows.push_back({RowEvent::Status, RowTextOf(DownloadState::None), e.key.id});
  }
};

class DownloadWindowsTest : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    CourseDB::Release();
    DownloadTaskList::Get().Clear();
    fs::create_directories(m_root / "files");
    // Every attribute list the windows apply at run time must be understood.
    CControlUI::SetBadAttributeSink([this](const std::wstring& text) { problems.push_back(ToUtf8(text)); });
    downloads.AddObserver(recorder);
  }
  void TearDown() override {
    CControlUI::SetBadAttributeSink(nullptr);
    EXPECT_TRUE(problems.empty()) << problems.front();
    window.reset();
    downloads.RemoveObserver(recorder);
    DownloadTaskList::Get().Clear();
    CourseDB::Release();
    WindowTestKit::TearDown();
  }

  std::string FilePath(const std::string& name) const { return (m_root / "files" / name).string(); }
  static void WriteBytes(const std::string& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'v');
  }
  // A lesson the course database remembers, with `onDisk` bytes of its file present
  // (none when negative).
  void Remember(const std::string& classId, const std::string& className, const std::string& id,
                std::int64_t total, std::int64_t onDisk) {
    const std::string path = FilePath(id + ".mp4");
    if (onDisk >= 0) WriteBytes(path, static_cast<std::size_t>(onDisk));
    CourseDB::Get()->InsertClass(classId, className, TaskKind::Video);
    CourseDB::Get()->InsertLesson(classId, id, "第" + id + "课.mp4", "http://127.0.0.1:1/" + id + ".mp4",
                                  std::to_string(total), path);
  }
  DownloadTask NewTask(const std::string& classId, const std::string& id, std::int64_t total) {
    DownloadTask task;
    task.notifyWindow = window ? window->GetHWND() : kNoWindow;
    task.id = id;
    task.classId = classId;
    task.className = "会计实务精讲班";
    task.name = "第" + id + "课.mp4";
    task.url = "http://127.0.0.1:1/" + id + ".mp4";
    task.localFile = FilePath(id + ".mp4");
    task.total = total;
    task.kind = TaskKind::Video;
    return task;
  }
  // A task accepted by the list and shown in the window, as a starter adds it.
  DownloadTask Start(const std::string& classId, const std::string& id, std::int64_t total) {
    DownloadTask task = NewTask(classId, id, total);
    EXPECT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
    window->AddTaskItem(task);
    return task;
  }
  DownloadMgrDlg* Open(TaskKind kind = TaskKind::Video) {
    if (kind == TaskKind::Document)
      window = std::make_unique<DownloadDocDlg>(&delegate, downloads);
    else
      window = std::make_unique<DownloadVideoDlg>(&delegate, downloads);
    EXPECT_NE(window->Create(kNoWindow, L"Tavo", WS_POPUP, 0), kNoWindow);
    window->SetConfirmer([this](HWND, const ConfirmQuestion& question) {
      asked.push_back(question);
      return answer;
    });
    window->ShowWindow(true, true);
    window->GetPaintManager().DoLayout();
    return window.get();
  }

  CControlUI* Find(const std::wstring& name) const {
    CControlUI* c = window->FindControl(name);
    EXPECT_NE(c, nullptr) << ToUtf8(name);
    return c;
  }
  static std::wstring ImageOf(CControlUI* button) {
    auto* b = dynamic_cast<CButtonUI*>(button);
    return b ? b->GetNormalImage() : std::wstring();
  }
  struct RowView {
    std::wstring status;
    bool statusVisible = false;
    int titleHeight = 0;
    int progress = -1;
    bool progressVisible = false;
    std::wstring image;
  };
  RowView ViewOf(const std::string& classId, const std::string& id) const {
    RowView v;
    CTreeNodeUI* row = window->FindTaskRow(classId, id);
    EXPECT_NE(row, nullptr) << id;
    if (!row) return v;
    auto* content = dynamic_cast<CLabelUI*>(row->FindSubControl(L"lbProgContent"));
    auto* progress = dynamic_cast<CProgressUI*>(row->FindSubControl(L"progress"));
    v.status = content->GetText();
    v.statusVisible = content->IsVisible();
    v.titleHeight = row->FindSubControl(L"lbVideoTitle")->GetFixedHeight();
    v.progress = progress->GetValue();
    v.progressVisible = progress->IsVisible();
    v.image = ImageOf(row->FindSubControl(L"btnVDownloadStatus"));
    return v;
  }
  void ClickControl(CControlUI* c) {
    window->GetPaintManager().DoLayout();
    CDuiRect r = c->GetPos();
    HostOf(window.get())->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  void ClickRowPart(const std::string& classId, const std::string& id, const wchar_t* part) {
    CTreeNodeUI* row = window->FindTaskRow(classId, id);
    ASSERT_NE(row, nullptr);
    ClickControl(part ? row->FindSubControl(part) : row);
  }
  std::vector<std::wstring> StatusTexts() const {
    std::vector<std::wstring> texts;
    for (const RowMessage& m : rows)
      if (m.msg == RowEvent::Status) texts.push_back(m.text);
    return texts;
  }
  bool ClassNodeShown(const std::string& classId) const {
    auto* tree = dynamic_cast<CTreeViewUI*>(window->FindControl(L"tvVideoDownload"));
    for (int i = 0; tree && i < tree->GetRowCount(); ++i)
      if (tree->GetRowAt(i)->GetUserData() == FromUtf8(classId)) return true;
    return false;
  }

  RecordingDelegate delegate;
  DownloadCenter downloads;
  std::vector<RowMessage> rows;
  RowRecorder recorder{rows};
  std::unique_ptr<DownloadMgrDlg> window;
  std::vector<std::string> problems;
  // The delete questions asked, and how they are answered.
  std::vector<ConfirmQuestion> asked;
  ConfirmAnswer answer{true, false};
};

TEST_F(DownloadWindowsTest, RebuildAtStartShowsFinishedAndPausedRows) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);  // complete on disk
  Remember("101", "会计实务精讲班", "v2", 4000, 1000);  // a quarter
  Remember("102", "经济法基础", "v3", 4000, -1);        // file gone
  // Finished after the school's copy became shorter than announced when it began.
  Remember("102", "经济法基础", "v4", 4000, 3000);
  DownloadTask shorter = NewTask("102", "v4", 4000);
  shorter.fullSize = 3000;
  CourseDB::Get()->SaveResumeInfo(shorter);
  Open();

  EXPECT_FALSE(Find(L"vLayNoDownVideo")->IsVisible());
  EXPECT_TRUE(Find(L"tvVideoDownload")->IsVisible());
  EXPECT_TRUE(ClassNodeShown("101"));
  EXPECT_TRUE(ClassNodeShown("102"));
  struct Case {
    const char* classId;
    const char* id;
    const wchar_t* status;
    bool statusVisible;
    int titleHeight;
    int progress;
    const wchar_t* image;
  } cases[] = {
      {"101", "v1", L"下载完成", false, 39, 100, L"file='icon_video_play.png' dest='2,2,15,15'"},
      // Nothing runs for them after a restart: paused, and a click starts them.
      {"101", "v2", L"已暂停", true, 18, 25, L"icon_video_start.png"},
      {"102", "v3", L"已暂停", true, 18, 0, L"icon_video_start.png"},
      {"102", "v4", L"下载完成", false, 39, 100, L"file='icon_video_play.png' dest='2,2,15,15'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    RowView v = ViewOf(c.classId, c.id);
    EXPECT_EQ(v.status, c.status);
    EXPECT_EQ(v.statusVisible, c.statusVisible);
    EXPECT_EQ(v.progressVisible, c.statusVisible);
    EXPECT_EQ(v.titleHeight, c.titleHeight);
    EXPECT_EQ(v.progress, c.progress);
    EXPECT_EQ(v.image, c.image);
  }
  // Something is resumable: the tool bar offers start-all.
  EXPECT_NE(ImageOf(Find(L"btnPauseAllVideo")).find(L"icon_video_start_all.png"), std::wstring::npos);
  EXPECT_TRUE(Find(L"btnPauseAllVideo")->IsEnabled());
  EXPECT_TRUE(Find(L"btnDeleteAllVideo")->IsEnabled());
  EXPECT_EQ(window->CountUnfinished(), 2);
  // The tasks are in the list, paused, addressed to this window.
  auto task = DownloadTaskList::Get().FindTask("101", "v2", TaskKind::Video);
  ASSERT_TRUE(task);
  EXPECT_EQ(task->notifyWindow, window->GetHWND());
  EXPECT_EQ(task->downloaded, 1000);
  EXPECT_EQ(task->state, TaskState::Paused);
  SaveScreenshot(window.get(), "download-manager.png");
  // Start-all starts the paused ones and leaves the finished ones alone.
  ClickControl(Find(L"btnPauseAllVideo"));
  EXPECT_EQ(ViewOf("101", "v2").status, L"等待下载");
  EXPECT_EQ(ViewOf("102", "v4").status, L"下载完成");
  EXPECT_EQ(DownloadTaskList::Get().FindTask("102", "v4", TaskKind::Video)->jobNumber, 0u);
}

TEST_F(DownloadWindowsTest, DocumentWindowCountsKibAndOpensFinishedDocuments) {
  // Documents count their sizes in KiB: 5000 bytes on disk are 4 of 5 KiB.
  const std::string partial = FilePath("d1.pdf");
  const std::string whole = FilePath("d2.pdf");
  WriteBytes(partial, 5000);
  WriteBytes(whole, 5120);
  CourseDB::Get()->InsertClass("201", "经济法讲义", TaskKind::Document);
  CourseDB::Get()->InsertDoc("201", "d1", "讲义一.pdf", "http://127.0.0.1:1/d1.pdf", "5", partial);
  CourseDB::Get()->InsertDoc("201", "d2", "讲义二.pdf", "http://127.0.0.1:1/d2.pdf", "5", whole);
  Open(TaskKind::Document);
  EXPECT_EQ(ViewOf("201", "d1").progress, 80);
  EXPECT_EQ(ViewOf("201", "d1").image, L"icon_video_start.png");
  EXPECT_EQ(ViewOf("201", "d2").status, L"下载完成");
  EXPECT_EQ(ViewOf("201", "d2").image, L"file='icon_file_downloaded.png' dest='2,1,16,18'");

  // Progress texts take the KiB total as bytes (of a download the student resumed).
  auto task = DownloadTaskList::Get().FindTask("201", "d1", TaskKind::Document);
  ASSERT_TRUE(task);
  task->state = TaskState::Waiting;
  DownloadTaskList::Get().UpdateTask(*task, TaskKind::Document);
  task->total = 1536;
  auto report = std::make_shared<DownloadTask>(*task);
  report->state = TaskState::Transferring;
  SendMessage(window->GetHWND(), WM_DOWNLOAD_PROGRESS, 50, reinterpret_cast<LPARAM>(report.get()), report);
  EXPECT_EQ(ViewOf("201", "d1").status, L"0MB/1MB");

  ClickRowPart("201", "d2", L"btnVDownloadStatus");
  EXPECT_EQ(delegate.opened, std::vector<std::string>{"d2"});
}

TEST_F(DownloadWindowsTest, EmptyStateWithoutDownloads) {
  Open(TaskKind::Document);
  EXPECT_TRUE(Find(L"vLayNoDownVideo")->IsVisible());
  EXPECT_FALSE(Find(L"tvVideoDownload")->IsVisible());
  EXPECT_FALSE(Find(L"btnPauseAllVideo")->IsEnabled());
  EXPECT_FALSE(Find(L"btnDeleteAllVideo")->IsEnabled());
  EXPECT_EQ(window->CountUnfinished(), 0);
  SaveScreenshot(window.get(), "download-manager-empty.png");
}

TEST_F(DownloadWindowsTest, ProgressAndCompletionMessagesSetTheRowAndTellTheMainWindow) {
  Open();
  struct Case {
    const char* name;
    WPARAM result;
    TaskState state;
    bool pausedInList;
    const wchar_t* status;  // the row's status text afterwards
    const wchar_t* image;   // part of the status button's image
    const wchar_t* posted;  // the row text of the state reported
  } cases[] = {
      {"finished", 0, TaskState::Transferring, false, L"下载完成", L"icon_video_play.png", L"已下载"},
      {"failed", 1, TaskState::Transferring, false, L"出错了", L"icon_video_wrong.png", L"下载"},
      {"paused", 3, TaskState::Paused, true, L"已暂停", L"icon_video_start.png", L"已暂停"},
      {"removed", 3, TaskState::Removed, false, L"0MB/1MB", L"icon_video_pause.png", L"下载"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rows.clear();
    const std::string id = "v" + std::to_string(++n);
    DownloadTask task = Start("101", id, 1572864);
    WriteBytes(task.localFile, 1572864);
    EXPECT_EQ(ViewOf("101", id).status, L"等待下载");
    EXPECT_EQ(ViewOf("101", id).image, L"icon_video_pause.png");

    auto report = std::make_shared<DownloadTask>(task);
    report->state = TaskState::Transferring;
    SendMessage(window->GetHWND(), WM_DOWNLOAD_PROGRESS, 50, reinterpret_cast<LPARAM>(report.get()), report);
    EXPECT_EQ(ViewOf("101", id).status, L"0MB/1MB");
    EXPECT_EQ(ViewOf("101", id).progress, 50);

    if (c.pausedInList) {
      DownloadTask entry = task;
      entry.state = TaskState::Paused;
      DownloadTaskList::Get().UpdateTask(entry, TaskKind::Video);
    }
    auto result = std::make_shared<DownloadTask>(task);
    result->state = c.state;
    SendMessage(window->GetHWND(), WM_DOWNLOAD_RESULT, c.result, reinterpret_cast<LPARAM>(result.get()),
                result);
    PumpPendingMessages();

    RowView v = ViewOf("101", id);
    EXPECT_EQ(v.status, c.status);
    EXPECT_NE(v.image.find(c.image), std::wstring::npos) << ToUtf8(v.image);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].msg, RowEvent::Progress);
    EXPECT_EQ(rows[0].text, L"50");
    EXPECT_EQ(rows[1].msg, RowEvent::Status);
    EXPECT_EQ(rows[1].text, c.posted);
    EXPECT_EQ(rows[1].id, id);
    // The window removes no file: a failed job removed its own partial file itself.
    EXPECT_TRUE(fs::exists(task.localFile));
  }
  // The finished one updated the badge (it was the only row then).
  EXPECT_EQ(delegate.badges, std::vector<int>{0});
  SaveScreenshot(window.get(), "download-manager-states.png");
}

TEST_F(DownloadWindowsTest, AStoppedDownloadsValidatorSurvivesARestart) {
  Remember("101", "会计实务精讲班", "v1", 4000, 1000);
  Open();
  auto task = DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video);
  ASSERT_TRUE(task);
  auto result = std::make_shared<DownloadTask>(*task);
  result->state = TaskState::Paused;
  result->validator = "\"etag-7\"";
  result->fullSize = 4000;
  SendMessage(window->GetHWND(), WM_DOWNLOAD_RESULT, 3, reinterpret_cast<LPARAM>(result.get()), result);

  // Signed out and in again: the list and the database are built anew from the file.
  window.reset();
  DownloadTaskList::Get().Clear();
  CourseDB::Release();
  Open();
  auto restored = DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->validator, "\"etag-7\"");
  EXPECT_EQ(restored->fullSize, 4000);
  EXPECT_EQ(restored->downloaded, 1000);
}

TEST_F(DownloadWindowsTest, ProgressOfAnotherKindOrAPausedEntryIsIgnored) {
  Open();
  DownloadTask task = Start("101", "v1", 4096);
  auto report = std::make_shared<DownloadTask>(task);
  report->state = TaskState::Transferring;
  report->kind = TaskKind::Document;
  SendMessage(window->GetHWND(), WM_DOWNLOAD_PROGRESS, 40, reinterpret_cast<LPARAM>(report.get()), report);
  window->PauseTask("101", "v1");
  report->kind = TaskKind::Video;
  SendMessage(window->GetHWND(), WM_DOWNLOAD_PROGRESS, 60, reinterpret_cast<LPARAM>(report.get()), report);
  PumpPendingMessages();
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  EXPECT_EQ(ViewOf("101", "v1").progress, 0);
  EXPECT_EQ(StatusTexts(), std::vector<std::wstring>{L"已暂停"});
}

TEST_F(DownloadWindowsTest, PauseAllTurnsIntoStartAll) {
  Open();
  Start("101", "v1", 4096);
  Start("102", "v2", 4096);
  CControlUI* pauseAll = Find(L"btnPauseAllVideo");
  EXPECT_NE(ImageOf(pauseAll).find(L"icon_video_pause_all.png"), std::wstring::npos);

  // One row paused by its own button: the tool bar offers start-all at once.
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  EXPECT_EQ(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->state, TaskState::Paused);
  EXPECT_NE(ImageOf(pauseAll).find(L"icon_video_start_all.png"), std::wstring::npos);

  ClickControl(pauseAll);  // start-all
  for (const char* id : {"v1", "v2"}) {
    EXPECT_EQ(
        DownloadTaskList::Get().FindTask(id == std::string("v1") ? "101" : "102", id, TaskKind::Video)->state,
        TaskState::Waiting);
  }
  EXPECT_EQ(ViewOf("101", "v1").image, L"icon_video_pause.png");
  EXPECT_NE(ImageOf(pauseAll).find(L"icon_video_pause_all.png"), std::wstring::npos);

  ClickControl(pauseAll);  // pause-all
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  EXPECT_EQ(ViewOf("102", "v2").status, L"已暂停");
  EXPECT_NE(ImageOf(pauseAll).find(L"icon_video_start_all.png"), std::wstring::npos);
  PumpPendingMessages();
  EXPECT_EQ(StatusTexts(),
            (std::vector<std::wstring>{L"已暂停", L"等待下载", L"等待下载", L"已暂停", L"已暂停"}));
}

TEST_F(DownloadWindowsTest, DeleteModeCancelDeleteAndEmptyState) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);
  Remember("101", "会计实务精讲班", "v2", 4000, 1000);
  Remember("102", "经济法基础", "v3", 4000, 4000);
  Open();
  CControlUI* deleteAll = Find(L"btnDeleteAllVideo");
  CControlUI* cancel = Find(L"btnDeleteCancel");

  ClickControl(deleteAll);
  EXPECT_TRUE(window->IsDeleteMode());
  EXPECT_TRUE(cancel->IsVisible());
  EXPECT_FALSE(deleteAll->IsEnabled());
  EXPECT_EQ(deleteAll->GetText(), L"删除");
  CTreeNodeUI* v2 = window->FindTaskRow("101", "v2");
  EXPECT_TRUE(v2->GetCheckBox()->IsVisible());

  // A click on a row ticks it; cancel clears every box and leaves the mode.
  ClickRowPart("101", "v2", nullptr);
  EXPECT_TRUE(v2->IsCheckBoxSelected());
  EXPECT_TRUE(deleteAll->IsEnabled());
  SaveScreenshot(window.get(), "download-manager-delete-mode.png");
  ClickControl(cancel);
  EXPECT_FALSE(window->IsDeleteMode());
  EXPECT_FALSE(v2->IsCheckBoxSelected());
  EXPECT_FALSE(v2->GetCheckBox()->IsVisible());
  EXPECT_FALSE(cancel->IsVisible());
  EXPECT_TRUE(deleteAll->IsEnabled());

  // A class's box ticks its rows; deleting removes rows, class nodes and records, not files.
  ClickControl(deleteAll);
  CTreeNodeUI* classNode = window->FindTaskRow("101", "v1")->GetParentNode();
  ClickControl(classNode->GetCheckBox());
  EXPECT_TRUE(window->FindTaskRow("101", "v1")->IsCheckBoxSelected());
  EXPECT_TRUE(v2->IsCheckBoxSelected());
  ClickControl(deleteAll);
  PumpPendingMessages();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].choice, L"同时删除本地文件");
  EXPECT_FALSE(asked[0].choiceChecked);
  EXPECT_FALSE(window->IsDeleteMode());
  EXPECT_FALSE(ClassNodeShown("101"));
  EXPECT_TRUE(ClassNodeShown("102"));
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video));
  EXPECT_FALSE(CourseDB::Get()->HasLesson("v1"));
  EXPECT_TRUE(fs::exists(FilePath("v1.mp4")));
  EXPECT_TRUE(fs::exists(FilePath("v2.mp4")));
  EXPECT_EQ(StatusTexts(), (std::vector<std::wstring>{L"下载", L"下载"}));
  EXPECT_FALSE(Find(L"vLayNoDownVideo")->IsVisible());

  // The last row by its own delete button: the class node goes and the empty state returns.
  ClickRowPart("102", "v3", L"btnVideoDelete");
  PumpPendingMessages();
  EXPECT_FALSE(ClassNodeShown("102"));
  EXPECT_FALSE(CourseDB::Get()->HasLesson("v3"));
  EXPECT_TRUE(fs::exists(FilePath("v3.mp4")));
  EXPECT_TRUE(Find(L"vLayNoDownVideo")->IsVisible());
  EXPECT_FALSE(Find(L"tvVideoDownload")->IsVisible());
  EXPECT_FALSE(deleteAll->IsEnabled());
  EXPECT_FALSE(Find(L"btnPauseAllVideo")->IsEnabled());
  EXPECT_EQ(StatusTexts().size(), 3u);
}

// A delete asks first: cancelled, nothing changes; confirmed without the box, the download
// goes and its file stays; with the box, the file goes too (and only that file).
TEST_F(DownloadWindowsTest, DeleteAsksAndDeletesFilesOnlyWhenChosen) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);
  Remember("101", "会计实务精讲班", "v2", 4000, 4000);
  WriteBytes(FilePath("neighbour.mp4"), 10);
  Open();

  answer = {false, true};
  ClickRowPart("101", "v1", L"btnVideoDelete");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_FALSE(asked[0].choiceChecked);
  EXPECT_NE(window->FindTaskRow("101", "v1"), nullptr);
  EXPECT_TRUE(CourseDB::Get()->HasLesson("v1"));

  answer = {true, false};
  ClickRowPart("101", "v1", L"btnVideoDelete");
  EXPECT_EQ(window->FindTaskRow("101", "v1"), nullptr);
  EXPECT_FALSE(CourseDB::Get()->HasLesson("v1"));
  EXPECT_TRUE(fs::exists(FilePath("v1.mp4")));

  answer = {true, true};
  ClickRowPart("101", "v2", L"btnVideoDelete");
  EXPECT_EQ(window->FindTaskRow("101", "v2"), nullptr);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("101", "v2", TaskKind::Video));
  EXPECT_FALSE(fs::exists(FilePath("v2.mp4")));
  EXPECT_TRUE(fs::exists(FilePath("neighbour.mp4")));
  EXPECT_EQ(asked.size(), 3u);
}

TEST_F(DownloadWindowsTest, FinishedRowPlaysOrTellsTheFileIsGone) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);
  Open();
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  EXPECT_EQ(delegate.opened, std::vector<std::string>{"v1"});
  // "打开所在文件夹" of the finished row opens the file's folder in the file manager.
  CControlUI* folder = window->FindTaskRow("101", "v1")->FindSubControl(L"btnOpenFolder");
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(folder->IsVisible());
  testHost->openedUris.clear();
  ClickControl(folder);
  EXPECT_TRUE(RunUntil([&] { return !testHost->openedUris.empty(); }));
  ASSERT_FALSE(testHost->openedUris.empty());
  EXPECT_EQ(testHost->openedUris.back(), "file://" + (m_root / "files").string());
  fs::remove(FilePath("v1.mp4"));
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  EXPECT_EQ(delegate.tips, std::vector<std::wstring>{L"文件不存在"});
  EXPECT_EQ(delegate.opened.size(), 1u);
}

TEST_F(DownloadWindowsTest, AllFinishedDisablesPauseAll) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);
  Open();
  EXPECT_TRUE(RunUntil([&] { return !Find(L"btnPauseAllVideo")->IsEnabled(); }));
}

TEST_F(DownloadWindowsTest, HidesWhenThePointerLeavesTheFocusGoesOrEscapeIsPressed) {
  Remember("101", "会计实务精讲班", "v1", 4000, 4000);
  Open();
  TestHostWindow* host = HostOf(window.get());
  // A tick while the pointer is inside keeps the window.
  host->MouseMove(100, 100);
  SendMessage(window->GetHWND(), WM_TIMER, DownloadMgrDlg::kHideTimer);
  EXPECT_TRUE(host->IsVisible());
  // The pointer moved on and left: the timer the move started hides the window.
  host->MouseMove(100, 120);
  testHost->cursorX = host->GetScreenRect().x + host->GetScreenRect().width + 50;
  EXPECT_TRUE(RunUntil([&] { return !host->IsVisible(); }));

  window->ShowWindow(true, true);
  ASSERT_TRUE(host->IsVisible());
  auto another = std::make_unique<DownloadDocDlg>(&delegate, downloads);
  another->Create(kNoWindow, L"Tavo", WS_POPUP, 0);
  another->ShowWindow(true, true);  // takes the focus
  EXPECT_FALSE(host->IsVisible());

  window->ShowWindow(true, true);
  ASSERT_TRUE(host->IsVisible());
  host->Key(VK_ESCAPE);
  EXPECT_FALSE(host->IsVisible());
}

TEST_F(DownloadWindowsTest, ADownloadThatCannotBeWrittenEndsAsFailedWithTheReasonLogged) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  SetDownloadFileOptions({1, std::chrono::milliseconds(10)});
  SetRetryPolicy(RetryPolicy{.delays = {}});
  const std::string body(3 << 20, 'b');
  RawHttpServer server([&](const std::string&, int socket) {
    RawHttpServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                       "\r\nConnection: close\r\n\r\n" + body);
  });
  Open();
  ThreadPool pool;
  pool.Create();

  struct Case {
    const char* id;
    std::string localFile;
    const char* reason;
  };
  std::vector<Case> cases;
  // A folder that cannot hold the file: its parent is a plain file.
  WriteBytes(FilePath("plain"), 10);
  cases.push_back({"nofolder", FilePath("plain") + "/v.mp4", "Not a directory"});
  if (::geteuid() != 0) {  // the superuser writes into any folder
    fs::create_directories(FilePath("locked"));
    fs::permissions(FilePath("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    cases.push_back({"locked", FilePath("locked") + "/v.mp4", "Permission denied"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    DownloadTask task = NewTask("101", c.id, static_cast<std::int64_t>(body.size()));
    task.url = server.Url("/" + std::string(c.id) + ".mp4");
    task.localFile = c.localFile;
    ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
    window->AddTaskItem(task);
    ASSERT_TRUE(SubmitDownload(task, pool));
    EXPECT_TRUE(RunUntil([&] { return ViewOf("101", c.id).status == L"出错了"; }, std::chrono::seconds(20)));
    EXPECT_NE(ViewOf("101", c.id).image.find(L"icon_video_wrong.png"), std::wstring::npos);
    EXPECT_TRUE(RunUntil([&] { return !StatusTexts().empty() && StatusTexts().back() == L"下载"; }));
  }
  pool.Shutdown();
  CloseLog();
  const std::string log = ReadDayLogs();
  for (const Case& c : cases) EXPECT_NE(log.find(c.reason), std::string::npos) << c.reason << "\n" << log;
  const auto posted = StatusTexts();
  EXPECT_EQ(std::count(posted.begin(), posted.end(), L"已下载"), 0);
  SetDownloadFileOptions({});
  SetRetryPolicy({});
}

// A restart leaves every unfinished task paused in the list; the centre starts those the
// student did not pause, and a pause by the student is kept in the course database until
// the student starts the task again.
TEST_F(DownloadWindowsTest, UnfinishedTasksGoOnAtStartButAStudentsPauseStays) {
  SetRetryPolicy(RetryPolicy{.delays = {}});
  Remember("101", "会计实务精讲班", "v1", 4000, 1000);
  Remember("101", "会计实务精讲班", "v2", 4000, 1000);
  CourseDB::Get()->SetPausedByStudent(TaskKind::Video, "v2", true);
  Open();
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  EXPECT_EQ(ViewOf("101", "v2").status, L"已暂停");

  downloads.ResumeUnfinished();
  EXPECT_EQ(ViewOf("101", "v1").status, L"等待下载");
  EXPECT_NE(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  EXPECT_EQ(ViewOf("101", "v2").status, L"已暂停");
  EXPECT_EQ(DownloadTaskList::Get().FindTask("101", "v2", TaskKind::Video)->jobNumber, 0u);

  // The student pauses v1 and starts v2: after the next start, v1 stays and v2 goes on.
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  ClickRowPart("101", "v2", L"btnVDownloadStatus");
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  window.reset();
  DownloadTaskList::Get().Clear();
  CourseDB::Release();
  Open();
  const auto v1 = DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video);
  const auto v2 = DownloadTaskList::Get().FindTask("101", "v2", TaskKind::Video);
  ASSERT_TRUE(v1 && v2);
  EXPECT_TRUE(v1->pausedByStudent);
  EXPECT_FALSE(v2->pausedByStudent);

  // With the switch off, nothing goes on by itself.
  downloads.ForgetStates();
  downloads.Conditions().SetAutoResume(false);
  downloads.ResumeUnfinished();
  EXPECT_EQ(ViewOf("101", "v2").status, L"已暂停");
  downloads.Conditions().SetAutoResume(true);
  downloads.ResumeUnfinished();
  EXPECT_EQ(ViewOf("101", "v1").status, L"已暂停");
  EXPECT_EQ(ViewOf("101", "v2").status, L"等待下载");
  PumpPendingMessages();
  SetRetryPolicy({});
}

// On a metered connection the student did not allow, a resumed task waits with a state of
// its own and no job; allowing it (or another network) starts it.
TEST_F(DownloadWindowsTest, AMeteredNetworkHoldsResumedTasksUntilAllowed) {
  SetRetryPolicy(RetryPolicy{.delays = {}});
  Remember("101", "会计实务精讲班", "v1", 4000, 1000);
  Open();
  downloads.Conditions().SetMeteredProbe([] { return true; });
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  EXPECT_EQ(ViewOf("101", "v1").status, L"等待非计费网络");
  EXPECT_EQ(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  EXPECT_EQ(downloads.StateOf({TaskKind::Video, "101", "v1"}), DownloadState::HeldForNetwork);
  EXPECT_EQ(StatusTexts().back(), L"等待网络");
  SaveScreenshot(window.get(), "download-manager-held-for-network.png");

  downloads.ResumeHeld(DownloadState::HeldForNetwork);  // still metered: still held
  EXPECT_EQ(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  downloads.Conditions().SetMeteredAllowed(true);
  downloads.ResumeHeld(DownloadState::HeldForNetwork);
  EXPECT_EQ(ViewOf("101", "v1").status, L"等待下载");
  EXPECT_NE(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  PumpPendingMessages();
  SetRetryPolicy({});
}

// A resume the disk has no room for starts nothing and says both numbers; the row waits
// for room and goes on by itself once the disk has it.
TEST_F(DownloadWindowsTest, AResumeWithoutRoomWaitsForTheDisk) {
  SetRetryPolicy(RetryPolicy{.delays = {}});
  Remember("101", "会计实务精讲班", "v1", 4000, 1000);
  Open();
  std::int64_t free = 100LL * 1024 * 1024;
  downloads.Conditions().SetFreeSpaceProbe([&](const std::string&) { return std::optional(free); });
  ClickRowPart("101", "v1", L"btnVDownloadStatus");
  EXPECT_EQ(ViewOf("101", "v1").status, L"磁盘已满，已暂停");
  EXPECT_EQ(delegate.tips, std::vector<std::wstring>{L"磁盘空间不足：需要 256MB，可用 100MB"});
  EXPECT_EQ(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  SaveScreenshot(window.get(), "download-manager-disk-full.png");

  SendMessage(window->GetHWND(), WM_TIMER, DownloadMgrDlg::kDiskFullTimer);  // still no room
  EXPECT_EQ(ViewOf("101", "v1").status, L"磁盘已满，已暂停");
  EXPECT_EQ(delegate.tips.size(), 1u);  // the automatic tries say nothing
  free = 1LL << 40;
  SendMessage(window->GetHWND(), WM_TIMER, DownloadMgrDlg::kDiskFullTimer);
  EXPECT_EQ(ViewOf("101", "v1").status, L"等待下载");
  EXPECT_NE(DownloadTaskList::Get().FindTask("101", "v1", TaskKind::Video)->jobNumber, 0u);
  PumpPendingMessages();
  SetRetryPolicy({});
}

// A device that is always full (what any user can reach): the write fails with "no space",
// the row says so instead of "出错了", and the link to the device is left alone.
TEST_F(DownloadWindowsTest, AWriteWithoutSpaceIsADiskFullPauseNotAFailure) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  SetRetryPolicy(RetryPolicy{.delays = {}});
  const std::string body(3 << 20, 'b');
  RawHttpServer server([&](const std::string&, int socket) {
    RawHttpServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                       "\r\nConnection: close\r\n\r\n" + body);
  });
  Open();
  ThreadPool pool;
  pool.Create();
  const std::string full = FilePath("full.mp4");
  fs::create_symlink("/dev/full", full);
  DownloadTask task = NewTask("101", "full", static_cast<std::int64_t>(body.size()));
  task.url = server.Url("/full.mp4");
  task.localFile = full;
  ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
  window->AddTaskItem(task);
  ASSERT_TRUE(SubmitDownload(task, pool));
  EXPECT_TRUE(
      RunUntil([&] { return ViewOf("101", "full").status == L"磁盘已满，已暂停"; }, std::chrono::seconds(20)))
      << ToUtf8(ViewOf("101", "full").status);
  EXPECT_EQ(downloads.StateOf(KeyOf(task)), DownloadState::DiskFull);
  EXPECT_EQ(StatusTexts().back(), L"磁盘已满");
  pool.Shutdown();
  EXPECT_TRUE(fs::is_symlink(full));
  EXPECT_TRUE(fs::exists("/dev/full"));
  CloseLog();
  EXPECT_NE(ReadDayLogs().find("No space left on device"), std::string::npos);
  SetRetryPolicy({});
}

// A small file system of its own (tmpfs; the test needs the right to mount) that the
// download fills: the task pauses as "磁盘已满，已暂停" (not "出错了") with its bytes kept,
// and once the file system grows it goes on from them to the server's exact bytes.
TEST_F(DownloadWindowsTest, ADiskThatFillsMidwayPausesAndTheDownloadEndsWhenRoomIsBack) {
  const fs::path mountPoint = m_root / "small-disk";
  fs::create_directories(mountPoint);
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  ASSERT_TRUE(OpenLog(L"browserlog"));
  SetRetryPolicy(RetryPolicy{.delays = {}});
  std::string body(3 << 20, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
  ScriptedFileServer server({body, "\"v1\"", ""});
  Open();
  downloads.Conditions().SetReserveBytes(0);
  ThreadPool& pool = ThreadPool::Get();
  pool.Create();

  DownloadTask task = NewTask("101", "v1", static_cast<std::int64_t>(body.size()));
  task.url = server.Url("/v1.mp4");
  task.localFile = (mountPoint / "v1.mp4").string();
  ASSERT_TRUE(DownloadTaskList::Get().AddNewTask(task));
  window->AddTaskItem(task);
  ASSERT_TRUE(SubmitDownload(task, pool));
  ASSERT_TRUE(
      RunUntil([&] { return ViewOf("101", "v1").status == L"磁盘已满，已暂停"; }, std::chrono::seconds(20)))
      << ToUtf8(ViewOf("101", "v1").status);
  EXPECT_EQ(downloads.StateOf(KeyOf(task)), DownloadState::DiskFull);
  const auto kept = fs::file_size(task.partFile);
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, body.size());
  EXPECT_FALSE(fs::exists(task.localFile));

  ASSERT_EQ(::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_REMOUNT, "size=8m"), 0) << std::strerror(errno);
  SendMessage(window->GetHWND(), WM_TIMER, DownloadMgrDlg::kDiskFullTimer);
  ASSERT_TRUE(RunUntil([&] { return ViewOf("101", "v1").status == L"下载完成"; }, std::chrono::seconds(20)))
      << ToUtf8(ViewOf("101", "v1").status);
  std::ifstream file(task.localFile, std::ios::binary);
  const std::string got{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(got == body) << "the finished file differs from the server's bytes";
  // The second transfer asked for the rest only.
  const auto heads = server.Heads();
  ASSERT_GE(heads.size(), 2u);
  EXPECT_NE(heads.back().find("Range: bytes=" + std::to_string(kept) + "-"), std::string::npos)
      << heads.back();
  CloseLog();
  EXPECT_NE(ReadDayLogs().find("No space left on device"), std::string::npos);
  const auto posted = StatusTexts();
  EXPECT_EQ(std::count(posted.begin(), posted.end(), L"下载"), 0) << "the download was reported failed";
  SetRetryPolicy({});
}

class PathSetDialogTest : public WindowTestKit {
 protected:
  // The folder chooser enters the folder it answers; the tests' folders go away after.
  void SetUp() override {
    WindowTestKit::SetUp();
    m_cwd = std::filesystem::current_path();
  }
  void TearDown() override {
    std::filesystem::current_path(m_cwd);
    WindowTestKit::TearDown();
  }
  std::filesystem::path m_cwd;
  // Runs the dialog modally; `act` runs once the loop is going.
  UINT RunModal(DownloadPathSetDlg& dlg, std::function<void()> act) {
    dlg.Create(kNoWindow, L"下载设置", WS_POPUP, 0, 0, 0, 623, 320);
    dlg.CenterWindow();
    struct Step {
      std::function<void()> act;
      bool ran = false;
    } step{std::move(act)};
    guint source = g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
          auto* s = static_cast<Step*>(data);
          s->ran = true;
          s->act();
          return G_SOURCE_REMOVE;
        },
        &step);
    const UINT result = dlg.ShowModal();
    EXPECT_TRUE(step.ran);
    if (!step.ran) g_source_remove(source);
    return result;
  }
  static void Click(DownloadPathSetDlg& dlg, const std::wstring& name) {
    dlg.GetPaintManager().DoLayout();
    CDuiRect r = dlg.FindControl(name)->GetPos();
    HostOf(&dlg)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  static std::wstring Text(DownloadPathSetDlg& dlg, const std::wstring& name) {
    return dlg.FindControl(name)->GetText();
  }
};

TEST_F(PathSetDialogTest, ShowsKindSizeAndFolderAndChangesTheFolder) {
  const std::string picked = (m_root / "视频").string();
  std::filesystem::create_directories(picked);
  DownloadPathSetDlg dlg(TaskKind::Video, 3221225472LL, L"/home/student/下载/");
  std::wstring shownBefore;
  const UINT result = RunModal(dlg, [&] {
    EXPECT_EQ(Text(dlg, L"lbDownPathInfo"), L"把课件下载到下列目录");
    EXPECT_EQ(Text(dlg, L"lbDownFileSize"), L"文件大小：3GB");
    shownBefore = Text(dlg, L"lbDownDefPath");
    testHost->nextChosenPath.clear();  // the chooser cancelled: nothing changes
    Click(dlg, L"btnChangeDir");
    EXPECT_EQ(Text(dlg, L"lbDownDefPath"), L"/home/student/下载/");
    testHost->nextChosenPath = picked;
    Click(dlg, L"btnChangeDir");
    SaveScreenshot(&dlg, "download-path-dialog.png");
    Click(dlg, L"btnOk");
  });
  EXPECT_EQ(shownBefore, L"/home/student/下载/");
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(dlg.GetFolder(), FromUtf8(picked) + L"/");
}

// "更改目录" opens the chooser at the folder in use, not wherever the program was.
TEST_F(PathSetDialogTest, TheChooserOpensAtTheFolderInUse) {
  const std::filesystem::path inUse = m_root / "当前目录";
  std::filesystem::create_directories(inUse);
  DownloadPathSetDlg dlg(TaskKind::Video, 1024, FromUtf8(inUse.string()) + L"/");
  std::filesystem::path openedAt;
  RunModal(dlg, [&] {
    testHost->nextChosenPath.clear();
    Click(dlg, L"btnChangeDir");
    openedAt = std::filesystem::current_path();
    Click(dlg, L"btnCancel");
  });
  EXPECT_EQ(openedAt, inUse);
}

TEST_F(PathSetDialogTest, CancelAndCloseEndWithTwo) {
  for (const wchar_t* button : {L"btnCancel", L"closebtn"}) {
    SCOPED_TRACE(ToUtf8(button));
    DownloadPathSetDlg dlg(TaskKind::Document, 1, L"/data/讲义/");
    const UINT result = RunModal(dlg, [&] {
      EXPECT_EQ(Text(dlg, L"lbDownPathInfo"), L"把讲义下载到下列目录");
      EXPECT_EQ(Text(dlg, L"lbDownFileSize"), L"文件大小：1MB");
      testHost->nextChosenPath = "/";
      Click(dlg, L"btnChangeDir");
      EXPECT_EQ(Text(dlg, L"lbDownDefPath"), L"/");  // the root keeps its one "/"
      Click(dlg, button);
    });
    EXPECT_EQ(result, 2u);
  }
}

}  // namespace
