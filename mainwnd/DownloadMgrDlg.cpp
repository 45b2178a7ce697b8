// The download manager windows: the class/row tree rebuilt from the course database, row
// looks per task state, progress and completion messages, pause/resume/delete, pause-all,
// the delete mode with check boxes, and hiding when the pointer or the focus leaves.
#include "mainwnd/DownloadMgrDlg.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadResult.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/SizeText.h"
#include "downloads/TaskFiles.h"
#include "platform/Messages.h"
#include "platform/ShowInFolder.h"
#include "ui/Button.h"
#include "ui/CheckBox.h"
#include "ui/Control.h"
#include "ui/Dialogs.h"
#include "ui/Label.h"
#include "ui/Notifications.h"
#include "ui/Progress.h"
#include "ui/TreeNode.h"
#include "ui/TreeView.h"

namespace {

constexpr const wchar_t* kFinishedText = L"下载完成";
constexpr const wchar_t* kDiskFullText = L"磁盘已满，已暂停";
constexpr const wchar_t* kHeldForNetworkText = L"等待非计费网络";
// How often rows held by a full disk look for room again.
constexpr UINT kDiskFullRetryMs = 5000;
constexpr int kTitleAboveBarHeight = 18;
constexpr int kTitleAloneHeight = 39;
constexpr int kTitleWidth = 232;
constexpr int kTitleBesideFolderWidth = 208;
constexpr const wchar_t* kPauseImage = L"icon_video_pause.png";
constexpr const wchar_t* kStartImage = L"icon_video_start.png";
constexpr const wchar_t* kVideoFinishedImage = L"icon_video_play.png";
constexpr const wchar_t* kDocFinishedImage = L"icon_file_downloaded.png";
constexpr const wchar_t* kPauseAllImage = L"icon_video_pause_all.png";
constexpr const wchar_t* kStartAllImage = L"icon_video_start_all.png";

// The tooltip names what the button does, for the pointer and for a screen reader.
constexpr const wchar_t* kPauseLook = L"visible=\"true\" tooltip=\"暂停\" normalimage=\"icon_video_pause.png\"";
constexpr const wchar_t* kStartLook = L"visible=\"true\" tooltip=\"开始\" normalimage=\"icon_video_start.png\"";
constexpr const wchar_t* kWrongLook = L"visible=\"true\" tooltip=\"开始\" normalimage=\"icon_video_wrong.png\"";
constexpr const wchar_t* kPlayLook =
    L"visible=\"true\" tooltip=\"播放\" normalimage=\"file='icon_video_play.png' dest='2,2,15,15'\"";
constexpr const wchar_t* kOpenLook =
    L"visible=\"true\" tooltip=\"查看\" normalimage=\"file='icon_file_downloaded.png' dest='2,1,16,18'\"";
constexpr const wchar_t* kPauseAllLook = L"normalimage=\"file='icon_video_pause_all.png' dest='0,21,24,45'\"";
constexpr const wchar_t* kStartAllLook = L"normalimage=\"file='icon_video_start_all.png' dest='0,21,24,45'\"";
// The delete button's text replaces its pictures in the delete mode (the light grey bin it
// shows while disabled included).
constexpr const wchar_t* kDeleteModeLook = L"text=\"删除\" normalimage=\"\" disabledimage=\"\" width=\"40\"";
constexpr const wchar_t* kDeleteAllLook =
    L"text=\"\" normalimage=\"file='icon_video_delete_all.png' dest='0,21,24,45'\" "
    L"disabledimage=\"file='icon_video_delete_all_off.png' dest='0,21,24,45'\" width=\"24\"";
constexpr const wchar_t* kClassTitleLook =
    L"textcolor=\"#FF4D4D4D\" float=\"true\" pos=\"28,0,0,0\" width=\"314\" height=\"44\" font=\"2\" "
    L"textcolor=\"#FF4D4D4D\" valign=\"center\" align=\"left\" endellipsis=\"true\"";
constexpr const wchar_t* kClassRuleLook =
    L"float=\"true\" pos=\"0,43,0,0\" width=\"350\" height=\"1\" bkcolor=\"#FFE6E6E6\"";
constexpr const wchar_t* kClassCheckStyle = L"checkboxattr=&quot;treenode_checkbox_style&quot;";

std::wstring Wide(const std::string& text) { return AnsiToWide(text); }
std::string Narrow(const std::wstring& text) { return WideToAnsi(text); }

bool Contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

CTreeNodeUI* NodeOf(CControlUI* control) {
  for (CControlUI* c = control; c; c = c->GetParent()) {
    if (auto* node = dynamic_cast<CTreeNodeUI*>(c)) return node;
  }
  return nullptr;
}

template <class T>
T* Part(CTreeNodeUI* row, const wchar_t* name) {
  return row ? dynamic_cast<T*>(row->FindSubControl(name)) : nullptr;
}

// What the rest of a task's file still needs on disk, in bytes.
std::int64_t BytesToCome(const DownloadTask& task) {
  const std::int64_t whole = task.fullSize > 0                 ? task.fullSize
                             : task.kind == TaskKind::Document ? task.total * 1024
                                                               : task.total;
  return std::max<std::int64_t>(whole - DownloadedBytes(task), 0);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

DownloadMgrDlg::DownloadMgrDlg(TaskKind kind, DownloadMgrDelegate* delegate, DownloadCenter& downloads)
    : m_kind(kind),
      m_delegate(delegate),
      m_downloads(downloads),
      m_rowPrototype(kind == TaskKind::Document ? L"doc_download_treeitem.xml" : L"video_download_treeitem.xml") {}

DownloadMgrDlg::~DownloadMgrDlg() {
  if (m_tree) {
    m_downloads.SetTaskResumer(m_kind, nullptr);
    m_downloads.SetRowTexter(m_kind, nullptr);
  }
}

std::wstring DownloadMgrDlg::GetSkinFile() {
  return m_kind == TaskKind::Document ? L"download_doc_dlg.xml" : L"download_video_dlg.xml";
}

const wchar_t* DownloadMgrDlg::FinishedImage() const {
  return m_kind == TaskKind::Document ? kDocFinishedImage : kVideoFinishedImage;
}

void DownloadMgrDlg::InitWindow() {
  m_tree = FindControlAs<CTreeViewUI>(L"tvVideoDownload");
  m_pauseAll = FindControlAs<CButtonUI>(L"btnPauseAllVideo");
  m_deleteAll = FindControlAs<CButtonUI>(L"btnDeleteAllVideo");
  m_deleteCancel = FindControlAs<CButtonUI>(L"btnDeleteCancel");
  m_empty = FindControl(L"vLayNoDownVideo");
  if (!m_tree || !m_pauseAll || !m_deleteAll || !m_deleteCancel || !m_empty) {
    // Without its controls the window does nothing (every operation checks the tree).
    LogError(L"download window " + GetSkinFile() + L": controls missing");
    m_tree = nullptr;
    return;
  }

  LogNormal(L"CourseDB::Get()->GetAllClass");
  CourseDB* db = CourseDB::Get();
  db->GetAllClass(m_kind);
  const auto classes = DownloadTaskList::Get().SnapshotClasses(m_kind);
  LogNormal(L"CourseDB::Get()->GetLesson size:" + std::to_wstring(classes.size()));
  for (const DownloadClass& entry : classes) {
    // The loaders append without looking for duplicates: a class already filled in this
    // sign-in (a window created again) is not loaded twice.
    if (!entry.tasks.empty()) continue;
    if (m_kind == TaskKind::Document)
      db->GetDoc(entry.classId, entry.className, m_hWnd);
    else
      db->GetLesson(entry.classId, entry.className, m_hWnd);
  }
  // The centre starts tasks of this kind again through their rows.
  m_downloads.SetTaskResumer(
      m_kind, [this](const DownloadTask& task) { ResumeTask(task.classId, task.id, ResumeAsk::Automatic); });
  m_downloads.SetRowTexter(
      m_kind, [this](const DownloadTask& task, const std::wstring& text) { ShowMoveText(task, text); });
  LogNormal(L"InitHistoryTreeView");
  // Rows take their visibility from their class node when added: the tree must show.
  m_tree->SetVisible(true);
  InitHistoryTreeView();
  LogNormal(m_kind == TaskKind::Document ? L"DownloadDocDlg::InitWindow end"
                                         : L"DownloadVideoDlg::InitWindow end");
  ShowTreeOrEmpty();
}

void DownloadMgrDlg::InitHistoryTreeView() {
  for (const DownloadClass& entry : DownloadTaskList::Get().SnapshotClasses(m_kind)) {
    if (entry.tasks.empty()) continue;
    CTreeNodeUI* classNode = AddClassNode(entry.classId, entry.className);
    for (const DownloadTask& task : entry.tasks) {
      CTreeNodeUI* row = AddRow(classNode, task);
      // Finished means the whole file of the copy the last transfer fetched, whose size may
      // differ from the one announced when the download began.
      if (IsCompleteOnDisk(task)) {
        SetLook(row, Look::Finished);
        continue;
      }
      // Nothing runs for it until the student starts it: the row says so, and its click starts it.
      SetLook(row, Look::Paused);
      auto* progress = Part<CProgressUI>(row, L"progress");
      if (progress && task.total > 0)
        progress->SetValue(static_cast<int>(std::min<std::int64_t>(task.downloaded * 100 / task.total, 100)));
      m_pauseAll->SetEnabled(true);
    }
  }
  UpdatePauseAllImage();
}

CTreeNodeUI* DownloadMgrDlg::FindClassNode(const std::string& classId, bool styleVisited) const {
  if (!m_tree) return nullptr;
  const std::wstring id = Wide(classId);
  for (int i = 0; i < m_tree->GetRowCount(); ++i) {
    auto* node = dynamic_cast<CTreeNodeUI*>(m_tree->GetRowAt(i));
    if (!node || node->GetParentNode()) continue;
    if (styleVisited) node->ApplyAttributeList(std::wstring(L"innerstyle=\"") + kClassCheckStyle + L"\"");
    if (node->GetUserData() == id) return node;
  }
  return nullptr;
}

CTreeNodeUI* DownloadMgrDlg::FindTaskRow(const std::string& classId, const std::string& id) const {
  CTreeNodeUI* classNode = FindClassNode(classId);
  if (!classNode) return nullptr;
  const std::wstring wid = Wide(id);
  for (int i = 0; i < classNode->GetCountChild(); ++i) {
    CTreeNodeUI* row = classNode->GetChildNode(i);
    if (row->GetUserData() == wid) return row;
  }
  return nullptr;
}

void DownloadMgrDlg::RekeyTaskItem(const std::string& classId, const std::string& oldId,
                                   const std::string& newId) {
  if (CTreeNodeUI* row = FindTaskRow(classId, oldId)) row->SetUserData(Wide(newId));
}

CTreeNodeUI* DownloadMgrDlg::AddClassNode(const std::string& classId, const std::string& className) {
  std::unique_ptr<CControlUI> built = m_classPrototype.Create(&m_pm);
  std::unique_ptr<CTreeNodeUI> node(dynamic_cast<CTreeNodeUI*>(built.get()));
  if (node)
    built.release();
  else
    node = std::make_unique<CTreeNodeUI>();
  // The subject tree's node, turned into a class heading: title from the left edge, a
  // rule below, the check box of the delete mode in front.
  node->ApplyAttributeList(L"inset=\"0,0,0,0\"");
  node->SetFixedHeight(44);
  auto* title = Part<CLabelUI>(node.get(), L"lbTitle");
  if (!title) {
    auto label = std::make_unique<CLabelUI>();
    label->SetName(L"lbTitle");
    title = label.get();
    node->Add(label.release());
  }
  title->ApplyAttributeList(kClassTitleLook);
  title->SetText(Wide(className));
  title->SetToolTip(Wide(className));
  auto rule = std::make_unique<CControlUI>();
  rule->ApplyAttributeList(kClassRuleLook);
  node->Add(rule.release());
  node->SetUserData(Wide(classId));
  node->ApplyAttributeList(std::wstring(L"innerstyle=\"") + kClassCheckStyle + L"\"");
  CTreeNodeUI* raw = node.release();
  m_tree->Add(raw);
  return raw;
}

CTreeNodeUI* DownloadMgrDlg::AddRow(CTreeNodeUI* classNode, const DownloadTask& task) {
  std::unique_ptr<CControlUI> built = m_rowPrototype.Create(&m_pm);
  std::unique_ptr<CTreeNodeUI> row(dynamic_cast<CTreeNodeUI*>(built.get()));
  if (!row) {
    LogError(L"download row skin missing");
    row = std::make_unique<CTreeNodeUI>();
  } else {
    built.release();
  }
  row->SetFixedHeight(55);
  row->SetUserData(Wide(task.id));
  if (auto* title = Part<CLabelUI>(row.get(), L"lbVideoTitle")) {
    title->SetText(Wide(task.name));
    title->SetToolTip(Wide(task.name));
  }
  CTreeNodeUI* raw = row.release();
  classNode->Add(raw);
  if (m_tree && m_tree->IsVisibleCheckBtn()) raw->SetVisibleCheckBtn(true);
  return raw;
}

void DownloadMgrDlg::SetItemStatus(CTreeNodeUI* row, const std::wstring& text,
                                   const std::wstring& buttonAttributes) {
  if (!row) return;
  auto* title = Part<CLabelUI>(row, L"lbVideoTitle");
  auto* content = Part<CLabelUI>(row, L"lbProgContent");
  auto* progress = Part<CProgressUI>(row, L"progress");
  if (content && !text.empty()) content->SetText(text);
  const bool finished = text == kFinishedText;
  // The title sits above the bar, or in the middle of the row once the bar is gone (the
  // heights leave a CJK line its full height).
  if (title) title->SetFixedHeight(finished ? kTitleAloneHeight : kTitleAboveBarHeight);
  // A finished file can be shown in its folder; the title makes room for that button.
  if (title) title->SetFixedWidth(finished ? kTitleBesideFolderWidth : kTitleWidth);
  if (auto* folder = Part<CButtonUI>(row, L"btnOpenFolder")) folder->SetVisible(finished);
  if (content) {
    content->SetVisible(!finished);
    if (!finished) content->ApplyAttributeList(L"textcolor=\"#FF4D4D4D\"");
  }
  if (progress) progress->SetVisible(!finished);
  if (!buttonAttributes.empty()) {
    if (auto* button = Part<CButtonUI>(row, L"btnVDownloadStatus"))
      button->ApplyAttributeList(buttonAttributes);
  }
}

void DownloadMgrDlg::ShowMoveText(const DownloadTask& task, const std::wstring& text) {
  CTreeNodeUI* row = FindTaskRow(task.classId, task.id);
  if (!row) return;
  if (!text.empty()) {
    SetItemStatus(row, text, L"");
    return;
  }
  // The move of its file is over: the row looks as its task is and names the new place.
  SetLook(row, IsCompleteOnDisk(task) ? Look::Finished : Look::Paused);
  if (auto* title = Part<CLabelUI>(row, L"lbVideoTitle")) title->SetToolTip(Wide(task.localFile));
}

void DownloadMgrDlg::SetLook(CTreeNodeUI* row, Look look) {
  static constexpr const wchar_t* kLookNames[] = {L"waiting",  L"paused",   L"failed",
                                                  L"finished", L"diskfull", L"heldfornetwork"};
  if (row)
    LogNormal(L"download window row " + row->GetUserData() + L": " + kLookNames[static_cast<int>(look)]);
  switch (look) {
    case Look::Waiting:
      SetItemStatus(row, L"等待下载", kPauseLook);
      break;
    case Look::Paused:
      SetItemStatus(row, L"已暂停", kStartLook);
      break;
    case Look::Failed:
      SetItemStatus(row, L"出错了", kWrongLook);
      break;
    case Look::Finished:
      SetItemStatus(row, kFinishedText, m_kind == TaskKind::Document ? kOpenLook : kPlayLook);
      if (auto* progress = Part<CProgressUI>(row, L"progress")) progress->SetValue(100);
      break;
    case Look::DiskFull:
      // Its click tries again at once; it also goes on by itself once there is room.
      SetItemStatus(row, kDiskFullText, kStartLook);
      break;
    case Look::HeldForNetwork:
      SetItemStatus(row, kHeldForNetworkText, kPauseLook);
      break;
  }
}

void DownloadMgrDlg::AddTaskItem(const DownloadTask& task) {
  if (!m_tree) return;
  SetTimer(m_hWnd, kAllFinishedTimer, 500);
  m_pauseAll->ApplyAttributeList(kPauseAllLook);
  m_empty->SetVisible(false);
  m_tree->SetVisible(true);
  CTreeNodeUI* classNode = FindClassNode(task.classId, true);
  if (!classNode) classNode = AddClassNode(task.classId, task.className);
  CTreeNodeUI* row = AddRow(classNode, task);
  SetLook(row, Look::Waiting);
  m_pauseAll->SetEnabled(true);
  if (m_notDeleteMode) m_deleteAll->SetEnabled(true);
}

void DownloadMgrDlg::ShowProgress(const DownloadTask& task, int percent) {
  CTreeNodeUI* row = FindTaskRow(task.classId, task.id);
  if (!row) return;
  const std::int64_t totalBytes = m_kind == TaskKind::Document ? task.total * 1024 : task.total;
  if (auto* progress = Part<CProgressUI>(row, L"progress")) progress->SetValue(percent);
  if (auto* content = Part<CLabelUI>(row, L"lbProgContent")) {
    content->SetText(ProgressSizeText(totalBytes, percent));
    content->ApplyAttributeList(L"textcolor=\"#FFFF854D\"");
  }
}

void DownloadMgrDlg::OnDiskFull(const DownloadTask& task) {
  SetLook(FindTaskRow(task.classId, task.id), Look::DiskFull);
  m_downloads.ReportState(task, DownloadState::DiskFull);
  // Looks for room now and then; the tasks go on once their rest fits.
  SetTimer(m_hWnd, kDiskFullTimer, kDiskFullRetryMs);
}

void DownloadMgrDlg::HoldForNetwork(const DownloadTask& task) {
  LogNormal(L"download of " + Wide(task.id) + L" waits for a connection that is not metered");
  SetLook(FindTaskRow(task.classId, task.id), Look::HeldForNetwork);
  m_downloads.ReportState(task, DownloadState::HeldForNetwork);
}

void DownloadMgrDlg::OnDownloadResult(WPARAM result, const DownloadTask& task) {
  // What identifies the server's copy survives a restart, so a later resume stays safe.
  CourseDB::Get()->SaveResumeInfo(task);
  const auto listed = DownloadTaskList::Get().FindTask(task.classId, task.id, m_kind);
  CTreeNodeUI* row = FindTaskRow(task.classId, task.id);
  if (result == DownloadResultWParam(DownloadResult::Succeeded)) {
    SetLook(row, Look::Finished);
    if (FileExists(task.localFile)) m_downloads.ReportState(task, DownloadState::Finished);
    UpdateBadge();
    NotifyDownloadResult(Wide(task.name), DownloadNotice::Finished, m_hWnd);
  } else if (result == DownloadResultWParam(DownloadResult::DiskFull)) {
    // The bytes that reached the disk stay; the task goes on from them.
    if (listed) OnDiskFull(*listed);
  } else if (result == DownloadResultWParam(DownloadResult::Failed)) {
    // The job removed its own partial file; nothing else of the folder is touched.
    SetLook(row, Look::Failed);
    m_downloads.ReportState(task, DownloadState::Failed);
    NotifyDownloadResult(Wide(task.name), DownloadNotice::Failed, m_hWnd);
  } else if (task.state == TaskState::Paused) {
    if (listed) SetLook(row, Look::Paused);
    m_downloads.ReportState(task, DownloadState::Paused);
  } else if (task.state == TaskState::Removed) {
    m_downloads.ReportRemoved(task);
  }
}

void DownloadMgrDlg::PauseTask(const std::string& classId, const std::string& id) {
  auto entry = DownloadTaskList::Get().FindTask(classId, id, m_kind);
  if (!entry) return;
  // A task no job runs for that the student did not pause (restored, or held by a full
  // disk) becomes the student's pause too: nothing starts it by itself any more.
  const bool heldBySomethingElse =
      entry->state == TaskState::Paused && !entry->pausedByStudent && !IsCompleteOnDisk(*entry);
  if (entry->state == TaskState::Transferring || entry->state == TaskState::Waiting || heldBySomethingElse) {
    SetLook(FindTaskRow(classId, id), Look::Paused);
    entry->state = TaskState::Paused;
    // The student's pause outlives the program: nothing starts this task but the student.
    entry->pausedByStudent = true;
    CourseDB::Get()->SetPausedByStudent(m_kind, id, true);
    DownloadTaskList::Get().UpdateTask(*entry, m_kind);
    m_downloads.ReportState(*entry, DownloadState::Paused);
  }
  UpdatePauseAllImage();
}

void DownloadMgrDlg::ResumeTask(const std::string& classId, const std::string& id, ResumeAsk ask) {
  auto entry = DownloadTaskList::Get().FindTask(classId, id, m_kind);
  if (!entry) return;
  // Its file is moving to the new download folder; the move starts it again when done.
  if (m_downloads.IsMoving(KeyOf(*entry))) return;
  if (entry->state == TaskState::Paused || entry->state == TaskState::Waiting) {
    if (entry->pausedByStudent) CourseDB::Get()->SetPausedByStudent(m_kind, id, false);
    entry->pausedByStudent = false;
    entry->downloaded = DownloadedOnDisk(*entry);
    const DownloadConditions& conditions = m_downloads.Conditions();
    if (conditions.HoldForNetwork()) {
      // No job runs while it is held; nothing about it is paused either.
      entry->state = TaskState::Waiting;
      DownloadTaskList::Get().UpdateTask(*entry, m_kind);
      HoldForNetwork(*entry);
    } else if (auto shortfall = conditions.CheckRoom(FolderOf(entry->localFile), BytesToCome(*entry))) {
      entry->state = TaskState::Paused;
      DownloadTaskList::Get().UpdateTask(*entry, m_kind);
      LogNormal(L"download of " + Wide(id) + L" has no room: " + ShortfallTip(*shortfall));
      if (ask == ResumeAsk::Student && m_delegate) m_delegate->ShowMainTip(ShortfallTip(*shortfall));
      OnDiskFull(*entry);
    } else {
      entry->state = TaskState::Waiting;
      DownloadTaskList::Get().UpdateTask(*entry, m_kind);
      SetLook(FindTaskRow(classId, id), Look::Waiting);
      SubmitDownload(*entry);
      m_downloads.ReportState(*entry, DownloadState::Waiting);
    }
  }
  UpdatePauseAllImage();
}

void DownloadMgrDlg::HoldNewTask(const DownloadTask& task) { HoldForNetwork(task); }

template <class F>
static void ForEachRow(CTreeViewUI* tree, F&& f) {
  if (!tree) return;
  for (int i = 0; i < tree->GetRowCount(); ++i) {
    auto* node = dynamic_cast<CTreeNodeUI*>(tree->GetRowAt(i));
    if (node && node->GetParentNode()) f(node);
  }
}

static std::wstring StatusImageOf(CTreeNodeUI* row) {
  auto* button = Part<CButtonUI>(row, L"btnVDownloadStatus");
  return button ? button->GetNormalImage() : std::wstring();
}

bool DownloadMgrDlg::IsFinishedRow(CTreeNodeUI* row) const {
  return Contains(StatusImageOf(row), FinishedImage());
}

void DownloadMgrDlg::PauseAll() {
  std::vector<std::pair<std::string, std::string>> ids;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) {
    if (!IsFinishedRow(row))
      ids.emplace_back(Narrow(row->GetParentNode()->GetUserData()), Narrow(row->GetUserData()));
  });
  // The pauses reach the course database in one transaction.
  CourseDB::Get()->BeginWrites();
  for (const auto& [classId, id] : ids) PauseTask(classId, id);
  CourseDB::Get()->EndWrites();
}

void DownloadMgrDlg::StartAll() {
  std::vector<std::pair<std::string, std::string>> ids;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) {
    if (!IsFinishedRow(row))
      ids.emplace_back(Narrow(row->GetParentNode()->GetUserData()), Narrow(row->GetUserData()));
  });
  CourseDB::Get()->BeginWrites();
  for (const auto& [classId, id] : ids) ResumeTask(classId, id);
  CourseDB::Get()->EndWrites();
}

bool DownloadMgrDlg::AnyPaused() const {
  bool any = false;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) { any = any || Contains(StatusImageOf(row), kStartImage); });
  return any;
}

bool DownloadMgrDlg::AllFinished() const {
  bool all = true;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) { all = all && IsFinishedRow(row); });
  return all;
}

void DownloadMgrDlg::UpdatePauseAllImage() {
  if (m_pauseAll) m_pauseAll->ApplyAttributeList(AnyPaused() ? kStartAllLook : kPauseAllLook);
}

int DownloadMgrDlg::CountUnfinished() const {
  int count = 0;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) {
    auto* content = Part<CLabelUI>(row, L"lbProgContent");
    if (!content || content->GetText() != kFinishedText) ++count;
  });
  return count;
}

void DownloadMgrDlg::UpdateBadge() {
  if (m_delegate) m_delegate->OnUnfinishedCount(m_kind, CountUnfinished());
}

void DownloadMgrDlg::ShowTreeOrEmpty() {
  if (!m_tree) return;
  int tasks = 0;
  for (const DownloadClass& entry : DownloadTaskList::Get().SnapshotClasses(m_kind))
    tasks += static_cast<int>(entry.tasks.size());
  // Emptied class entries stay in the list: what counts is whether any task is left.
  const bool any = tasks > 0 && m_tree->GetRowCount() > 0;
  m_empty->SetVisible(!any);
  m_tree->SetVisible(any);
  m_pauseAll->SetEnabled(any);
  if (m_notDeleteMode) m_deleteAll->SetEnabled(any);
  if (any) SetTimer(m_hWnd, kAllFinishedTimer, 500);
  UpdatePauseAllImage();
}

std::optional<bool> DownloadMgrDlg::ConfirmDelete(int count) {
  if (count <= 0) return std::nullopt;
  ConfirmQuestion question;
  question.title = L"删除下载";
  question.text = count == 1 ? L"确定删除这个下载任务吗？"
                             : L"确定删除选中的 " + std::to_wstring(count) + L" 个下载任务吗？";
  // The files are the student's: they stay unless the student asks otherwise.
  question.choice = L"同时删除本地文件";
  // The window stays while its question is open, whatever the focus and the pointer do.
  m_asking = true;
  const ConfirmAnswer answer = m_confirmer ? m_confirmer(m_hWnd, question) : ConfirmAnswer{true, false};
  m_asking = false;
  if (!answer.confirmed) {
    LogNormal(L"delete of " + std::to_wstring(count) + L" downloads cancelled");
    return std::nullopt;
  }
  return answer.choiceChecked;
}

void DownloadMgrDlg::RemoveFromStore(const std::string& classId, const std::string& id, bool files) {
  // The task's partial bytes go with it; a finished file is the student's and stays unless
  // the student chose to delete it too.
  if (auto task = DownloadTaskList::Get().FindTask(classId, id, m_kind)) {
    DiscardPartFile(*task);
    if (files) DiscardFinishedFile(*task);
  }
  DownloadTaskList::Get().RemoveTask(classId, id, m_kind);
  if (m_kind == TaskKind::Document)
    CourseDB::Get()->DeleteDoc(id);
  else
    CourseDB::Get()->DeleteLesson(id);
}

void DownloadMgrDlg::RemoveRow(CTreeNodeUI* row) {
  CTreeNodeUI* classNode = row->GetParentNode();
  m_tree->Remove(row);
  if (classNode && classNode->GetCountChild() == 0) m_tree->Remove(classNode);
}

void DownloadMgrDlg::DeleteItem(CControlUI* button) {
  CTreeNodeUI* row = NodeOf(button);
  if (!row || !row->GetParentNode()) return;
  const std::string classId = Narrow(row->GetParentNode()->GetUserData());
  const std::string id = Narrow(row->GetUserData());
  const std::optional<bool> files = ConfirmDelete(1);
  if (!files) return;
  row = FindTaskRow(classId, id);  // the question ran a loop of its own
  if (!row) return;
  RemoveRow(row);
  if (auto task = DownloadTaskList::Get().FindTask(classId, id, m_kind)) {
    RemoveFromStore(classId, id, *files);
    UpdateBadge();
    m_downloads.ReportRemoved(*task);
  }
  ShowTreeOrEmpty();
}

void DownloadMgrDlg::OnStatusClick(CControlUI* button) {
  CTreeNodeUI* row = NodeOf(button);
  auto* statusButton = dynamic_cast<CButtonUI*>(button);
  if (!row || !row->GetParentNode() || !statusButton) return;
  const std::string classId = Narrow(row->GetParentNode()->GetUserData());
  const std::string id = Narrow(row->GetUserData());
  const std::wstring& image = statusButton->GetNormalImage();
  if (image == kPauseImage) {
    PauseTask(classId, id);
  } else if (Contains(image, FinishedImage())) {
    auto task = DownloadTaskList::Get().FindTask(classId, id, m_kind);
    if (!task) return;
    if (!FileExists(task->localFile)) {
      if (m_delegate) m_delegate->ShowMainTip(L"文件不存在");
    } else if (m_delegate) {
      m_delegate->OpenFinished(*task);
    }
  } else {
    ResumeTask(classId, id);
  }
}

void DownloadMgrDlg::ShowFinishedInFolder(CControlUI* button) {
  CTreeNodeUI* row = NodeOf(button);
  if (!row || !row->GetParentNode()) return;
  auto task = DownloadTaskList::Get().FindTask(Narrow(row->GetParentNode()->GetUserData()),
                                               Narrow(row->GetUserData()), m_kind);
  if (!task) return;
  if (!FileExists(task->localFile)) {
    if (m_delegate) m_delegate->ShowMainTip(L"文件不存在");
    return;
  }
  LogNormal(L"show in folder: " + Wide(task->localFile));
  ShowInFolder(AnsiToUtf8(task->localFile),
               [](const std::string& folderUri) { OpenUrl(Utf8ToWide(folderUri)); });
}

void DownloadMgrDlg::SetDeleteMode(bool on) {
  if (!m_tree) return;
  m_tree->SetVisibleCheckBtn(on);
  m_deleteCancel->SetVisible(on);
  if (on) {
    m_deleteAll->ApplyAttributeList(kDeleteModeLook);
    m_deleteAll->SetEnabled(false);
  } else {
    ClearChecks();
    m_deleteAll->ApplyAttributeList(kDeleteAllLook);
    m_deleteAll->SetEnabled(true);
  }
  m_notDeleteMode = !on;
}

void DownloadMgrDlg::OnCheckChanged(CControlUI* box) {
  CTreeNodeUI* node = NodeOf(box);
  if (!node || node->GetCheckBox() != box) return;
  const bool checked = node->IsCheckBoxSelected();
  if (!node->GetParentNode()) {
    // A class's box ticks or clears all of its rows.
    for (int i = 0; i < node->GetCountChild(); ++i)
      node->GetChildNode(i)->GetCheckBox()->Selected(checked, false);
  } else {
    CTreeNodeUI* classNode = node->GetParentNode();
    bool all = true;
    for (int i = 0; i < classNode->GetCountChild(); ++i)
      all = all && classNode->GetChildNode(i)->IsCheckBoxSelected();
    classNode->GetCheckBox()->Selected(all, false);
  }
  m_deleteAll->SetEnabled(AnyChecked());
}

bool DownloadMgrDlg::AnyChecked() const {
  bool any = false;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) { any = any || row->IsCheckBoxSelected(); });
  return any;
}

void DownloadMgrDlg::ClearChecks() {
  if (!m_tree) return;
  for (int i = 0; i < m_tree->GetRowCount(); ++i) {
    if (auto* node = dynamic_cast<CTreeNodeUI*>(m_tree->GetRowAt(i)))
      node->GetCheckBox()->Selected(false, false);
  }
  if (!m_notDeleteMode) m_deleteAll->SetEnabled(false);
}

bool DownloadMgrDlg::DeleteChecked() {
  std::vector<std::pair<std::string, std::string>> ids;
  ForEachRow(m_tree, [&](CTreeNodeUI* row) {
    if (row->IsCheckBoxSelected())
      ids.emplace_back(Narrow(row->GetParentNode()->GetUserData()), Narrow(row->GetUserData()));
  });
  const std::optional<bool> files = ConfirmDelete(static_cast<int>(ids.size()));
  if (!files) return false;
  for (const auto& [classId, id] : ids) {
    // Looked up again: the question ran a loop of its own.
    CTreeNodeUI* row = FindTaskRow(classId, id);
    if (!row) continue;
    const bool finished = IsFinishedRow(row);
    if (auto task = DownloadTaskList::Get().FindTask(classId, id, m_kind)) {
      m_downloads.ReportRemoved(*task);
    }
    RemoveFromStore(classId, id, *files);
    RemoveRow(row);
    if (!finished) UpdateBadge();
  }
  return true;
}

void DownloadMgrDlg::Notify(TNotifyUI& msg) {
  if (!m_tree) {
    WindowImplBase::Notify(msg);
    return;
  }
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"btnPauseAllVideo") {
      const std::wstring image = m_pauseAll->GetNormalImage();
      if (Contains(image, kPauseAllImage)) {
        m_pauseAll->ApplyAttributeList(kStartAllLook);
        PauseAll();
      } else if (Contains(image, kStartAllImage)) {
        m_pauseAll->ApplyAttributeList(kPauseAllLook);
        StartAll();
      }
      return;
    }
    if (name == L"btnDeleteAllVideo") {
      if (m_notDeleteMode) {
        SetDeleteMode(true);
      } else if (DeleteChecked()) {
        SetDeleteMode(false);
        ShowTreeOrEmpty();
      }
      return;
    }
    if (name == L"btnDeleteCancel") {
      ClearChecks();
      SetDeleteMode(false);
      return;
    }
    if (name == L"btnVDownloadStatus") {
      OnStatusClick(msg.pSender);
      return;
    }
    if (name == L"btnVideoDelete") {
      DeleteItem(msg.pSender);
      return;
    }
    if (name == L"btnOpenFolder") {
      ShowFinishedInFolder(msg.pSender);
      return;
    }
  } else if (msg.sType == DUI_MSGTYPE_ITEMCLICK) {
    if (!m_notDeleteMode) {
      if (auto* node = dynamic_cast<CTreeNodeUI*>(msg.pSender))
        node->SetCheckBoxSelected(!node->IsCheckBoxSelected());
    }
    return;
  } else if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) {
    OnCheckChanged(msg.pSender);
    return;
  }
  WindowImplBase::Notify(msg);
}

LRESULT DownloadMgrDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                            bool& bHandled) {
  bHandled = true;
  switch (msg) {
    case WM_DOWNLOAD_PROGRESS: {
      const auto* task = PayloadAs<DownloadTask>(payload);
      if (!task || task->state != TaskState::Transferring || task->kind != m_kind) return 0;
      // A report already on its way when the student paused must not undo the paused look.
      auto entry = DownloadTaskList::Get().FindTask(task->classId, task->id, m_kind);
      if (!entry || entry->state == TaskState::Paused) return 0;
      ShowProgress(*task, static_cast<int>(wParam));
      m_downloads.ReportProgress(*task, static_cast<int>(wParam));
      return 0;
    }
    case WM_DOWNLOAD_RESULT:
      if (const auto* task = PayloadAs<DownloadTask>(payload)) OnDownloadResult(wParam, *task);
      return 0;
    case WM_TIMER:
      if (wParam == kHideTimer) {
        if (m_asking) return 0;
        const CDuiPoint cursor = GetCursorScreenPos();
        const CDuiRect rc = GetWindowRect();
        if (cursor.x < rc.left || cursor.x >= rc.right || cursor.y < rc.top || cursor.y >= rc.bottom) {
          KillTimer(m_hWnd, kHideTimer);
          ShowWindow(false, false);
        }
        return 0;
      }
      if (wParam == kDiskFullTimer) {
        if (m_downloads.AnyIn(DownloadState::DiskFull))
          m_downloads.ResumeHeld(DownloadState::DiskFull);
        else
          KillTimer(m_hWnd, kDiskFullTimer);
        return 0;
      }
      if (wParam == kAllFinishedTimer) {
        if (m_tree && AllFinished()) {
          m_pauseAll->SetEnabled(false);
          KillTimer(m_hWnd, kAllFinishedTimer);
        }
        return 0;
      }
      break;
    default:
      break;
  }
  bHandled = false;
  return 0;
}

void DownloadMgrDlg::OnHostMouse(const HostMouseEvent& event) {
  if (event.type == HostMouseType::Move) SetTimer(m_hWnd, kHideTimer, 200);
  WindowImplBase::OnHostMouse(event);
}

bool DownloadMgrDlg::OnHostKey(const HostKeyEvent& event) {
  if (event.down && event.key == VK_ESCAPE && IsWindowVisible() && !GetPaintManager().GetPopup()) {
    ShowWindow(false, false);
    return true;
  }
  return WindowImplBase::OnHostKey(event);
}

void DownloadMgrDlg::OnHostFocus(bool focused) {
  WindowImplBase::OnHostFocus(focused);
  if (!focused && !m_asking && IsWindowVisible()) ShowWindow(false, false);
}
