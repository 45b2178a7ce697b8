// Downloads started from the course lists.
#include "mainwnd/ListDownloads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "mainwnd/DownloadNaming.h"
#include "mainwnd/OfflineSession.h"
#include "mainwnd/RowDownloadState.h"
#include "platform/BackgroundTask.h"
#include "platform/Messages.h"
#include "service/AccountParsers.h"
#include "service/ServiceConfig.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/ListHeader.h"
#include "ui/Option.h"
#include "ui/UIDefs.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr const wchar_t* kDownloadIcon =
    L"textpadding=\"34,0,0,0\" normalimage=\"file='icon_download.png' dest='0,18,24,42'\" "
    L"hotimage=\"file='icon_download_hot.png' dest='0,18,24,42'\" ";
constexpr const wchar_t* kDownloadTextOnly = L"textpadding=\"0,0,0,0\" normalimage=\"\" hotimage=\"\"";
constexpr const wchar_t* kLockedOption =
    L"normalimage=\"n_check_no_select.png\" selectedimage=\"s_checkbox_bukecaozuo.png\"";
constexpr const wchar_t* kFreeOption = L"normalimage=\"download_nock.png\" selectedimage=\"download_ck.png\"";

// The controls of one tab's batch selection.
struct TabNames {
  const wchar_t* tab;
  const wchar_t* all;
  const wchar_t* cancel;
  const wchar_t* download;
  const wchar_t* bar;
  const wchar_t* holder;
  const wchar_t* otherHolder;
  const wchar_t* rowOption;
  const wchar_t* rowButton;
  const wchar_t* header;
  UINT doneMessage;
};

constexpr TabNames kVideoNames{L"optVideoList",     L"optDownloadAllVideo", L"btnDownVideoCancel",
                               L"btnDownloadVideo", L"hLayDownVideo",       L"vlMainVideoList",
                               L"vlMainJyList",     L"optSelectVideo",      L"btnVideoDown",
                               L"headerSelect",     WM_VIDEO_BATCH_DONE};
constexpr TabNames kDocNames{L"optJiangYiList", L"optDownloadAllDoc", L"btnDownDocCancel", L"btnDownloadDoc",
                             L"hLayDownDoc",    L"vlMainJyList",      L"vlMainVideoList",  L"optSelectDoc",
                             L"btnDocDown",     L"headerSelectYJ",    WM_DOC_BATCH_DONE};

const TabNames& NamesOf(TaskKind kind) { return kind == TaskKind::Document ? kDocNames : kVideoNames; }

// Service lookups whose work has not ended, of every list.
std::atomic<int> g_lookups = 0;

// A row index from user data; -1 when the text is not a plain decimal.
int RowIndexOf(const CControlUI* control) {
  const std::wstring& text = control->GetUserData();
  if (text.empty() || text.size() > 9) return -1;
  int index = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return -1;
    index = index * 10 + (c - L'0');
  }
  return index;
}

template <class T>
T* AncestorOf(CControlUI* control) {
  for (CControlUI* c = control; c != nullptr; c = c->GetParent())
    if (auto* found = dynamic_cast<T*>(c)) return found;
  return nullptr;
}

CListContainerElementUI* RowAt(CListUI* list, int index) {
  return dynamic_cast<CListContainerElementUI*>(list->GetRowAt(index));
}

void Show(CControlUI* control, bool visible) {
  if (control != nullptr) control->SetVisible(visible);
}

void Enable(CControlUI* control, bool enabled) {
  if (control != nullptr) control->SetEnabled(enabled);
}

// Whole MiB for the folder dialog: a document's KiB size, at least 1 when not empty.
std::int64_t DocMegabytes(std::int64_t kib) {
  const std::int64_t megabytes = kib / 1024;
  return megabytes == 0 && kib % 1024 != 0 ? 1 : megabytes;
}

}  // namespace

// A task ready to be added once the folder is known; `title` is the lesson or document name.
struct ListDownloads::Prepared {
  DownloadTask task;
  std::string title;
};

// One service lookup: the videos asked for and, when done, the tasks they gave.
struct ListDownloads::Lookup {
  bool batch = false;
  HWND dialogOwner = kNoWindow;  // the window the location dialog opens over, when not the main window
  std::string classId;
  std::string className;
  std::vector<LessonRecord> lessons;  // the lessons whose videos are asked for
  std::vector<Prepared> prepared;
};

struct ListDownloads::Impl {
  // The lookups under way; a lookup's answer is dropped when the lists go first.
  std::map<std::uint64_t, BackgroundTask> lookups;
  std::uint64_t lastLookup = 0;
  std::set<std::string> pendingLessons;  // single lookups under way, by lesson id
  std::map<TaskKey, int> loggedTenth;    // the last tenth of each download's percentage logged
  bool videoBatch = false;
  bool docBatch = false;
};

ListDownloads::ListDownloads(WindowImplBase& window, CourseLists& lists, Delegate& delegate,
                             DownloadCenter& downloads)
    : m_window(window),
      m_lists(lists),
      m_delegate(delegate),
      m_downloads(downloads),
      m_impl(std::make_unique<Impl>()) {
  m_downloads.AddObserver(*this);
  m_lists.Catalogue().AddObserver(*this);
  m_downloads.SetLessonStarter([this](const std::string& classId, const std::string& lessonId) {
    return DownloadLesson(classId, lessonId);
  });
}

ListDownloads::~ListDownloads() {
  m_downloads.SetLessonStarter(nullptr);
  m_lists.Catalogue().RemoveObserver(*this);
  m_downloads.RemoveObserver(*this);
}

void ListDownloads::OnClassLoaded(const ClassLoaded& loaded) {
  CourseDB* db = CourseDB::IfOpen();
  if (db == nullptr) return;
  const auto adopted =
      m_downloads.AdoptLessons(*db, loaded.classId, m_lists.Catalogue().Lessons(loaded.classId));
  DownloadMgrDlg* manager = m_delegate.GetManager(TaskKind::Video);
  for (const auto& [oldId, lessonId] : adopted) {
    if (manager != nullptr) manager->RekeyTaskItem(loaded.classId, oldId, lessonId);
  }
}

int ListDownloads::PendingLookups() { return g_lookups.load(); }

bool ListDownloads::WaitForLookups(int timeoutMs) { return WaitForBackgroundTasks(timeoutMs); }

bool ListDownloads::IsBatchRunning(TaskKind kind) const {
  return kind == TaskKind::Document ? m_impl->docBatch : m_impl->videoBatch;
}

CListUI* ListDownloads::CurrentList(TaskKind kind, std::string* classId, std::string* className) {
  std::string id;
  std::string name;
  if (!m_delegate.GetSelectedClass(id, name) || id.empty()) return nullptr;
  if (classId) *classId = id;
  if (className) *className = name;
  return kind == TaskKind::Document ? m_lists.FindDocList(id) : m_lists.FindLessonList(id);
}

bool ListDownloads::HandleNotify(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return false;
  const std::wstring& name = msg.pSender->GetName();
  if (msg.sType == DUI_MSGTYPE_CLICK) {
    for (TaskKind kind : {TaskKind::Video, TaskKind::Document}) {
      const TabNames& names = NamesOf(kind);
      if (name == names.rowButton) {
        DownloadButtonClicked(kind, msg.pSender);
        return true;
      }
      if (name == names.download) {
        ToolBarDownloadClicked(kind);
        return true;
      }
      if (name == names.cancel) {
        CancelSelect(kind);
        return true;
      }
    }
    return false;
  }
  if (msg.sType != DUI_MSGTYPE_SELECTCHANGED) return false;
  for (TaskKind kind : {TaskKind::Video, TaskKind::Document}) {
    const TabNames& names = NamesOf(kind);
    if (name == names.all) {
      auto* tab = m_window.FindControlAs<COptionUI>(names.tab);
      auto* all = static_cast<COptionUI*>(msg.pSender);
      if (tab != nullptr && tab->IsSelected()) AllChanged(kind, all->IsSelected());
      return true;
    }
    if (name == names.rowOption) {
      RowOptionChanged(kind, msg.pSender);
      return true;
    }
  }
  return false;
}

// ---- single downloads ----------------------------------------------------------------------

std::optional<TaskKey> ListDownloads::KeyOfRow(TaskKind kind, CControlUI* button,
                                               const std::string& classId) {
  const int index = RowIndexOf(button);
  if (index < 0) return std::nullopt;
  const CourseCatalogue& catalogue = m_lists.Catalogue();
  if (kind == TaskKind::Video) {
    const std::vector<LessonRecord>& lessons = catalogue.Lessons(classId);
    if (index >= static_cast<int>(lessons.size())) {
      LogError(L"btnVideoDown row index " + button->GetUserData() + L" outside the lessons of class " +
               AnsiToWide(classId));
      return std::nullopt;
    }
    return TaskKey{kind, classId, lessons[static_cast<std::size_t>(index)].id};
  }
  const std::vector<DocumentRecord>& docs = catalogue.Documents(classId);
  if (index >= static_cast<int>(docs.size())) {
    LogError(L"btnDocDown row index " + button->GetUserData() + L" outside the documents of class " +
             AnsiToWide(classId));
    return std::nullopt;
  }
  const DocumentRecord& doc = docs[static_cast<std::size_t>(index)];
  return TaskKey{kind, doc.class_id, doc.id};
}

void ListDownloads::DownloadButtonClicked(TaskKind kind, CControlUI* button) {
  std::string classId;
  std::string className;
  if (!m_delegate.GetSelectedClass(classId, className) || classId.empty()) return;
  CListUI* list = AncestorOf<CListUI>(button);
  const int index = RowIndexOf(button);
  if (list == nullptr || WideToAnsi(list->GetUserData()) != classId || index < 0) return;
  const std::optional<TaskKey> key = KeyOfRow(kind, button, classId);
  if (!key) return;
  // The row whose button was used becomes the list's selected row, as with its play
  // button; the highlight would otherwise stay on the row selected before.
  if (kind == TaskKind::Video)
    list->SelectItem(index, false, false);
  else
    list->SelectItem(index, true);
  // What the click means follows the task's state in the centre, never the button's text.
  const DownloadState state = m_downloads.StateOf(*key);
  if (state == DownloadState::None || state == DownloadState::Failed) {
    const CourseCatalogue& catalogue = m_lists.Catalogue();
    if (kind == TaskKind::Video) {
      StartLessonDownload(classId, className, catalogue.Lessons(classId)[static_cast<std::size_t>(index)]);
    } else {
      StartDocDownload(catalogue.Documents(classId)[static_cast<std::size_t>(index)], className);
    }
    return;
  }
  DownloadMgrDlg* manager = m_delegate.GetManager(kind);
  if (state == DownloadState::Finished || manager == nullptr) return;
  // A task held by a full disk tries again; one held for the network is waiting and pauses.
  if (state == DownloadState::Paused || state == DownloadState::DiskFull)
    manager->ResumeTask(key->classId, key->id);
  else
    manager->PauseTask(key->classId, key->id);
}

bool ListDownloads::DownloadLesson(const std::string& classId, const std::string& lessonId) {
  const TaskKey key{TaskKind::Video, classId, lessonId};
  LogNormal(L"lesson download asked for class " + AnsiToWide(classId) + L" lesson " + AnsiToWide(lessonId));
  switch (m_downloads.StateOf(key)) {
    case DownloadState::Finished:
      return false;
    case DownloadState::Paused:
    case DownloadState::DiskFull:
      if (DownloadMgrDlg* manager = m_delegate.GetManager(TaskKind::Video))
        manager->ResumeTask(classId, lessonId);
      return true;
    case DownloadState::HeldForNetwork:
    case DownloadState::Waiting:
    case DownloadState::Transferring:
      return true;  // already on its way
    case DownloadState::None:
    case DownloadState::Failed:
      break;
  }
  const std::optional<LessonRecord> lesson = m_lists.Catalogue().FindLesson(classId, lessonId);
  if (!lesson) {
    LogError(L"no lesson " + AnsiToWide(lessonId) + L" in class " + AnsiToWide(classId) + L" to download");
    return false;
  }
  // The class's title: the selected class's, or the one its earlier downloads carry.
  std::string selectedId;
  std::string className;
  if (!m_delegate.GetSelectedClass(selectedId, className) || selectedId != classId) {
    const auto entry = DownloadTaskList::Get().FindClass(classId, TaskKind::Video);
    className = entry ? entry->className : classId;
  }
  // The location dialog opens over the player that asked, not under it.
  StartLessonDownload(classId, className, *lesson, FindWindow(L"videoPlayDlgClass", L""));
  return true;
}

void ListDownloads::StartLessonDownload(const std::string& classId, const std::string& className,
                                        const LessonRecord& lesson, HWND dialogOwner) {
  if (m_offline && m_offline->Refuse(OnlineAction::NewDownload)) return;
  // A second click while the address is on its way changes nothing.
  if (!m_impl->pendingLessons.insert(lesson.id).second) return;
  auto lookup = std::make_shared<Lookup>();
  lookup->classId = classId;
  lookup->className = className;
  lookup->lessons.push_back(lesson);
  lookup->dialogOwner = dialogOwner;
  RunLookup(std::move(lookup));
}

void ListDownloads::RunLookup(std::shared_ptr<Lookup> lookup) {
  ++g_lookups;
  const std::uint64_t number = ++m_impl->lastLookup;
  auto work = [lookup](const CancelToken&) {
    // Lessons sharing a video ask for its address once.
    std::map<std::string, std::pair<std::string, std::int64_t>> answers;
    for (const LessonRecord& lesson : lookup->lessons) {
      auto [answer, first] = answers.try_emplace(lesson.video);
      if (first) answer->second.first = ParseGetVideoInfo(lesson.video, answer->second.second);
      const auto& [url, size] = answer->second;
      // A video without an address or size is skipped.
      if (url.empty() || size <= 0) {
        LogNormal(L"playUri gave no address or size for video " + AnsiToWide(lesson.video));
        continue;
      }
      Prepared item;
      item.title = lesson.name;
      item.task.id = lesson.id;
      item.task.video = lesson.video;
      item.task.classId = lookup->classId;
      item.task.className = lookup->className;
      item.task.url = url;
      item.task.total = size;
      item.task.kind = TaskKind::Video;
      lookup->prepared.push_back(std::move(item));
    }
    --g_lookups;
    return lookup;
  };
  m_impl->lookups.emplace(number,
                          BackgroundTask::Run(std::move(work), [this, number](std::shared_ptr<Lookup> done) {
                            OnLookup(*done);
                            m_impl->lookups.erase(number);
                          }));
}

void ListDownloads::OnLookup(Lookup& lookup) {
  if (!lookup.batch) {
    for (const LessonRecord& lesson : lookup.lessons) m_impl->pendingLessons.erase(lesson.id);
    if (!lookup.prepared.empty()) {
      m_delegate.SetFolderDialogOwner(lookup.dialogOwner);
      Commit(TaskKind::Video, lookup.prepared, lookup.prepared.front().task.total, false);
      m_delegate.SetFolderDialogOwner(kNoWindow);
    }
    return;
  }
  std::int64_t sum = 0;
  for (const Prepared& item : lookup.prepared) sum += item.task.total;
  Commit(TaskKind::Video, lookup.prepared, sum, true);
  PostMessage(m_window.GetHWND(), WM_VIDEO_BATCH_DONE);
}

void ListDownloads::StartDocDownload(const DocumentRecord& doc, const std::string& className) {
  if (m_offline && m_offline->Refuse(OnlineAction::NewDownload)) return;
  std::vector<Prepared> prepared(1);
  Prepared& item = prepared.front();
  item.title = doc.name;
  item.task.id = doc.id;
  item.task.classId = doc.class_id;
  item.task.className = className;
  item.task.total = ParseSizeText(doc.file_size);
  const std::string& path = doc.file_url;
  item.task.url = GetSiteOrigin() + "/" + (path.starts_with('/') ? path.substr(1) : path);
  item.task.kind = TaskKind::Document;
  Commit(TaskKind::Document, prepared, DocMegabytes(item.task.total), false);
}

void ListDownloads::Commit(TaskKind kind, std::vector<Prepared>& prepared, std::int64_t folderSize,
                           bool batch) {
  if (prepared.empty()) return;
  std::wstring folder;
  if (!m_delegate.ChooseDownloadFolder(kind, folderSize, folder)) return;
  // The disk must take every new file of the batch and keep its reserve; else nothing starts.
  std::int64_t bytesToCome = 0;
  for (const Prepared& item : prepared) {
    if (DownloadTaskList::Get().FindTask(item.task.classId, item.task.id, kind)) continue;
    bytesToCome += kind == TaskKind::Document ? item.task.total * 1024 : item.task.total;
  }
  if (auto shortfall = m_downloads.Conditions().CheckRoom(WideToAnsi(folder), bytesToCome)) {
    LogNormal(L"downloads into " + folder + L" not started: " + ShortfallTip(*shortfall));
    m_delegate.ShowMainTip(ShortfallTip(*shortfall));
    return;
  }
  int added = 0;
  // One transaction for all the rows of the course database this adds.
  CourseDB* db = CourseDB::Get();
  if (db != nullptr) db->BeginWrites();
  for (Prepared& item : prepared) {
    if (AddPrepared(item, folder)) {
      ++added;
    } else if (!batch) {
      // The item already has a task: the click resumes it.
      if (DownloadMgrDlg* manager = m_delegate.GetManager(kind))
        manager->ResumeTask(item.task.classId, item.task.id);
    }
  }
  if (db != nullptr) db->EndWrites();
  // The document batch leaves the previous folder alone, as it always has.
  if (added > 0 && !(batch && kind == TaskKind::Document)) m_delegate.SavePrevDownDir(folder);
}

bool ListDownloads::AddPrepared(Prepared& item, const std::wstring& folder) {
  DownloadTask& task = item.task;
  task.name = MakeDownloadName(item.title, task.url, task.kind);
  if (task.name.empty()) {
    LogError(L"no usable file name for the download of " + AnsiToWide(task.id) + L" (" +
             AnsiToWide(item.title) + L")");
    return false;
  }
  DownloadMgrDlg* manager = m_delegate.GetManager(task.kind);
  task.state = TaskState::Waiting;
  task.notifyWindow = manager != nullptr ? manager->GetHWND() : kNoWindow;
  // The task gets a name of its own in the folder: a file already there is never touched.
  task.localFile = WideToAnsi(folder) + task.name;
  if (!DownloadTaskList::Get().AddNewTask(task)) return false;
  if (manager != nullptr) {
    manager->AddTaskItem(task);
    m_delegate.SetBadge(task.kind, manager->CountUnfinished());
  }
  // On a metered connection the student did not allow, the task waits for another network.
  const bool held = m_downloads.Conditions().HoldForNetwork();
  if (!held) SubmitDownload(task);
  if (CourseDB* db = CourseDB::Get()) {
    db->InsertClass(task.classId, task.className, task.kind);
    const std::string sizeText = std::to_string(task.total);
    if (task.kind == TaskKind::Video)
      db->InsertLesson(task.classId, task.id, task.name, task.url, sizeText, AnsiToUtf8(task.localFile),
                       task.video);
    else
      db->InsertDoc(task.classId, task.id, task.name, task.url, sizeText, AnsiToUtf8(task.localFile));
    db->SaveResumeInfo(task);  // the partial file is the task's own from now on
  }
  m_downloads.ReportAdded(task);
  if (held) {
    if (manager != nullptr)
      manager->HoldNewTask(task);
    else
      m_downloads.ReportState(task, DownloadState::HeldForNetwork);
  }
  return true;
}

// ---- batch selection ---------------------------------------------------------------------

void ListDownloads::SetRowOption(CControlUI* row, TaskKind kind, bool selectMode) {
  auto* element = dynamic_cast<CListContainerElementUI*>(row);
  if (element == nullptr || element->GetCount() == 0) return;
  const TabNames& names = NamesOf(kind);
  element->GetItemAt(0)->SetVisible(selectMode);
  auto* option = dynamic_cast<COptionUI*>(element->FindSubControl(names.rowOption));
  CControlUI* button = element->FindSubControl(names.rowButton);
  if (option == nullptr || button == nullptr) return;
  auto* list = AncestorOf<CListUI>(element);
  const std::optional<TaskKey> key =
      list != nullptr ? KeyOfRow(kind, button, WideToAnsi(list->GetUserData())) : std::nullopt;
  const DownloadState state = key ? m_downloads.StateOf(*key) : DownloadState::None;
  if (state == DownloadState::None || state == DownloadState::Failed) {
    option->ApplyAttributeList(kFreeOption);
    option->Selected(false, false);
    option->SetEnabled(true);
  } else {
    option->ApplyAttributeList(kLockedOption);
    option->Selected(state == DownloadState::Finished, false);
    option->SetEnabled(false);
  }
}

void ListDownloads::SetSelectMode(TaskKind kind, bool on) {
  const TabNames& names = NamesOf(kind);
  auto* tab = m_window.FindControlAs<COptionUI>(names.tab);
  if (tab == nullptr || !tab->IsSelected()) return;
  CControlUI* download = m_window.FindControl(names.download);
  auto* all = m_window.FindControlAs<COptionUI>(names.all);
  if (download != nullptr) {
    download->SetFixedWidth(on ? 26 : 60);
    download->SetEnabled(!on);
    download->ApplyAttributeList(on ? kDownloadTextOnly : kDownloadIcon);
  }
  if (!on && all != nullptr) all->Selected(false, false);
  Show(all, on);
  if (CListUI* list = CurrentList(kind)) {
    for (int i = 0; i < list->GetRowCount(); ++i) SetRowOption(list->GetRowAt(i), kind, on);
    if (CListHeaderUI* header = list->GetHeader()) Show(header->FindSubControl(names.header), on);
  }
}

void ListDownloads::CancelSelect(TaskKind kind) {
  const TabNames& names = NamesOf(kind);
  auto* tab = m_window.FindControlAs<COptionUI>(names.tab);
  if (tab == nullptr || !tab->IsSelected()) return;
  Show(m_window.FindControl(names.bar), true);
  auto* all = m_window.FindControlAs<COptionUI>(names.all);
  Show(all, false);
  if (all != nullptr) all->Selected(false, false);
  CControlUI* download = m_window.FindControl(names.download);
  Show(download, true);
  Enable(download, true);
  Show(m_window.FindControl(names.holder), true);
  Show(m_window.FindControl(names.otherHolder), false);
  Show(m_window.FindControl(names.cancel), false);
  // Every list of the tab, so a class shown again later has no boxes left over.
  if (auto* holder = dynamic_cast<CContainerUI*>(m_window.FindControl(names.holder))) {
    for (int l = 0; l < holder->GetCount(); ++l) {
      auto* list = dynamic_cast<CListUI*>(holder->GetItemAt(l));
      if (list == nullptr) continue;
      for (int i = 0; i < list->GetRowCount(); ++i) {
        auto* row = RowAt(list, i);
        if (row == nullptr || row->GetCount() == 0) continue;
        row->GetItemAt(0)->SetVisible(false);
        if (auto* option = dynamic_cast<COptionUI*>(row->FindSubControl(names.rowOption)))
          option->Selected(false, false);
      }
      if (CListHeaderUI* header = list->GetHeader()) Show(header->FindSubControl(names.header), false);
    }
  }
  if (download != nullptr) {
    download->SetFixedWidth(60);
    download->ApplyAttributeList(kDownloadIcon);
  }
}

void ListDownloads::AllChanged(TaskKind kind, bool selected) {
  const TabNames& names = NamesOf(kind);
  CListUI* list = CurrentList(kind);
  if (list == nullptr) return;
  // Only boxes the student could tick: rows under way or finished keep their look.
  for (int i = 0; i < list->GetRowCount(); ++i) {
    auto* row = RowAt(list, i);
    auto* option = row ? dynamic_cast<COptionUI*>(row->FindSubControl(names.rowOption)) : nullptr;
    if (option != nullptr && option->IsEnabled()) option->Selected(selected, true);
  }
  Enable(m_window.FindControl(names.download), selected);
}

void ListDownloads::RowOptionChanged(TaskKind kind, CControlUI* sender) {
  const TabNames& names = NamesOf(kind);
  auto* changed = dynamic_cast<COptionUI*>(sender);
  CListUI* list = AncestorOf<CListUI>(sender);
  if (changed == nullptr || list == nullptr) return;
  bool every = true;
  bool some = false;
  for (int i = 0; i < list->GetRowCount(); ++i) {
    auto* row = RowAt(list, i);
    auto* option = row ? dynamic_cast<COptionUI*>(row->FindSubControl(names.rowOption)) : nullptr;
    if (option == nullptr || !option->IsEnabled()) continue;
    every = every && option->IsSelected();
    some = some || option->IsSelected();
  }
  auto* all = m_window.FindControlAs<COptionUI>(names.all);
  if (changed->IsSelected()) {
    if (every && all != nullptr) all->Selected(true, true);
    Enable(m_window.FindControl(names.download), true);
  } else {
    Enable(m_window.FindControl(names.download), some);
    if (all != nullptr) all->Selected(false, false);
  }
}

void ListDownloads::ToolBarDownloadClicked(TaskKind kind) {
  const TabNames& names = NamesOf(kind);
  CControlUI* all = m_window.FindControl(names.all);
  if (all != nullptr && all->IsVisible()) {
    if (kind == TaskKind::Video)
      VideoBatchDownload();
    else
      DocBatchDownload();
    return;
  }
  SetSelectMode(kind, true);
  Show(m_window.FindControl(names.cancel), true);
}

void ListDownloads::EnableBatchControls(TaskKind kind, bool enable) {
  const TabNames& names = NamesOf(kind);
  m_delegate.EnableTree(enable);
  Enable(m_window.FindControl(names.all), enable);
  Enable(m_window.FindControl(names.cancel), enable);
  Enable(m_window.FindControl(names.download), enable);
}

void ListDownloads::VideoBatchDownload() {
  if (m_impl->videoBatch) return;
  if (m_offline && m_offline->Refuse(OnlineAction::NewDownload)) return;
  m_impl->videoBatch = true;
  EnableBatchControls(TaskKind::Video, false);
  auto lookup = std::make_shared<Lookup>();
  lookup->batch = true;
  CListUI* list = CurrentList(TaskKind::Video, &lookup->classId, &lookup->className);
  const std::vector<LessonRecord> lessons =
      list ? m_lists.Catalogue().Lessons(lookup->classId) : std::vector<LessonRecord>();
  for (int i = 0; list != nullptr && i < list->GetRowCount(); ++i) {
    auto* row = RowAt(list, i);
    auto* option = row ? dynamic_cast<COptionUI*>(row->FindSubControl(L"optSelectVideo")) : nullptr;
    if (option == nullptr || !option->IsSelected() || !option->IsEnabled()) continue;
    const int index = RowIndexOf(option);
    if (index < 0 || index >= static_cast<int>(lessons.size())) continue;
    lookup->lessons.push_back(lessons[static_cast<std::size_t>(index)]);
  }
  if (lookup->lessons.empty()) {
    PostMessage(m_window.GetHWND(), WM_VIDEO_BATCH_DONE);
    return;
  }
  RunLookup(std::move(lookup));
}

void ListDownloads::DocBatchDownload() {
  if (m_impl->docBatch) return;
  if (m_offline && m_offline->Refuse(OnlineAction::NewDownload)) return;
  m_impl->docBatch = true;
  EnableBatchControls(TaskKind::Document, false);
  std::string classId;
  std::string className;
  std::vector<Prepared> prepared;
  std::int64_t megabytes = 0;
  if (CListUI* list = CurrentList(TaskKind::Document, &classId, &className)) {
    const std::vector<DocumentRecord> docs = m_lists.Catalogue().Documents(classId);
    const std::string origin = GetSiteOrigin();
    for (int i = 0; i < list->GetRowCount(); ++i) {
      auto* row = RowAt(list, i);
      auto* option = row ? dynamic_cast<COptionUI*>(row->FindSubControl(L"optSelectDoc")) : nullptr;
      if (option == nullptr || !option->IsSelected() || !option->IsEnabled()) continue;
      const int index = RowIndexOf(option);
      if (index < 0 || index >= static_cast<int>(docs.size())) continue;
      const DocumentRecord& doc = docs[static_cast<std::size_t>(index)];
      if (doc.file_url.empty()) continue;
      Prepared item;
      item.title = doc.name;
      item.task.id = doc.id;
      item.task.classId = doc.class_id;
      item.task.className = className;
      item.task.total = ParseSizeText(doc.file_size);
      item.task.url = origin + "/" + (doc.file_url.starts_with('/') ? doc.file_url.substr(1) : doc.file_url);
      item.task.kind = TaskKind::Document;
      megabytes += DocMegabytes(item.task.total);
      prepared.push_back(std::move(item));
    }
  }
  Commit(TaskKind::Document, prepared, megabytes, true);
  PostMessage(m_window.GetHWND(), WM_DOC_BATCH_DONE);
}

void ListDownloads::OnBatchDone(TaskKind kind) {
  const TabNames& names = NamesOf(kind);
  (kind == TaskKind::Document ? m_impl->docBatch : m_impl->videoBatch) = false;
  Enable(m_window.FindControl(names.all), true);
  Enable(m_window.FindControl(names.cancel), true);
  Show(m_window.FindControl(names.cancel), false);
  SetSelectMode(kind, false);
  Enable(m_window.FindControl(names.download), true);
  m_delegate.EnableTree(true);
}

// ---- rows following the download centre ---------------------------------------------------

CListContainerElementUI* ListDownloads::RowOf(const TaskKey& key) {
  CListUI* list =
      key.kind == TaskKind::Document ? m_lists.FindDocList(key.classId) : m_lists.FindLessonList(key.classId);
  return CourseLists::FindRow(list, AnsiToWide(key.id));
}

void ListDownloads::OnTaskAdded(const TaskAdded& event) {
  // Until the first progress report the row says the download is queued, so a second
  // click pauses it instead of asking for a folder again.
  if (CListContainerElementUI* row = RowOf(KeyOf(event.task))) SetRowWaiting(row, event.task.kind);
}

void ListDownloads::OnTaskProgress(const TaskProgress& event) {
  CListContainerElementUI* row = RowOf(event.key);
  if (row == nullptr) return;
  // The first percentage of a download and every further tenth go to the log.
  const int tenth = event.percent / 10;
  auto [logged, first] = m_impl->loggedTenth.try_emplace(event.key, tenth);
  if (first || logged->second != tenth) {
    logged->second = tenth;
    LogNormal(L"list row " + AnsiToWide(event.key.id) + L" " + std::to_wstring(event.percent) + L"%");
  }
  SetRowProgress(row, event.key.kind, event.percent);
}

void ListDownloads::OnTaskStateChanged(const TaskStateChanged& event) {
  if (event.state == DownloadState::Transferring) return;  // its percentage comes with progress
  if (event.state != DownloadState::Waiting) m_impl->loggedTenth.erase(event.key);
  if (CListContainerElementUI* row = RowOf(event.key)) {
    const std::wstring text = RowTextOf(event.state);
    LogNormal(L"list row " + AnsiToWide(event.key.id) + L" " + text);
    SetRowStatus(row, event.key.kind, text);
  }
}

void ListDownloads::OnTaskRemoved(const TaskRemoved& event) {
  OnTaskStateChanged(TaskStateChanged{event.key, DownloadState::None});
}
