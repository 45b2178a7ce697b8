// The course view's lesson and document lists: which list is shown, the class fetch and
// its outcomes, the player's services (neighbours, progress, markers) and row clicks.
#include "mainwnd/CourseLists.h"

#include <filesystem>
#include <map>
#include <set>

#include "account/MessageBoxDlg.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/SystemInfo.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"
#include "mainwnd/CourseListBuilder.h"
#include "mainwnd/LessonFormat.h"
#include "mainwnd/OfflineOpen.h"
#include "mainwnd/OfflineSession.h"
#include "mainwnd/RowDownloadState.h"
#include "platform/Messages.h"
#include "study/LessonPlayer.h"
#include "ui/Button.h"
#include "ui/Label.h"
#include "ui/List.h"
#include "ui/ListContainerElement.h"
#include "ui/Option.h"
#include "ui/UIDefs.h"
#include "ui/WindowImplBase.h"

namespace {

// Tips sit 553 pixels below the main window's top, 144 wide.
constexpr int kTipDistance = 553;
constexpr int kTipWidth = 144;

template <class T>
T* AncestorOf(CControlUI* control) {
  for (CControlUI* c = control; c != nullptr; c = c->GetParent())
    if (auto* found = dynamic_cast<T*>(c)) return found;
  return nullptr;
}

// Makes `list` the only visible child of `holder`.
void ShowOnly(CContainerUI& holder, CListUI* list) {
  for (int i = 0; i < holder.GetCount(); ++i) {
    CControlUI* child = holder.GetItemAt(i);
    child->SetVisible(child == list);
  }
}

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

CListUI* FindListIn(CContainerUI* holder, const std::string& classId) {
  if (holder == nullptr) return nullptr;
  const std::wstring id = AnsiToWide(classId);
  for (int i = 0; i < holder->GetCount(); ++i) {
    auto* list = dynamic_cast<CListUI*>(holder->GetItemAt(i));
    if (list != nullptr && list->GetUserData() == id) return list;
  }
  return nullptr;
}

}  // namespace

struct CourseLists::Impl : CatalogueObserver {
  Impl(CourseLists& owner, CourseCatalogue& catalogue) : owner(owner), catalogue(catalogue) {
    catalogue.AddObserver(*this);
  }
  ~Impl() { catalogue.RemoveObserver(*this); }
  void OnClassLoaded(const ClassLoaded& loaded) override { owner.OnClassLoaded(loaded); }
  void OnClassFailed(const ClassFailed& failed) override { owner.OnClassFailed(failed); }
  void OnSubjectsRefreshed(const SubjectsRefreshed&) override { owner.OnSubjectsRefreshed(); }

  CourseLists& owner;
  CourseCatalogue& catalogue;
  std::string shownLessonClass;
  std::set<std::string> failedDocLists;  // classes whose document list shows the failure
  LearningProgress* progress = nullptr;
  // The rows with a marker, by (class, lesson): rows are rebuilt, so no cell is kept.
  std::pair<std::string, std::string> watching;
  std::pair<std::string, std::string> lastWatched;
  bool expiredReported = false;
  std::function<bool()> networkCheck = IsNetworkConnected;
  const OfflineSession* offline = nullptr;
  LessonPlayer* player = nullptr;
};

CourseLists::CourseLists(WindowImplBase& window, Delegate& delegate, CourseCatalogue& catalogue)
    : m_window(window), m_delegate(delegate), m_impl(std::make_unique<Impl>(*this, catalogue)) {}

CourseCatalogue& CourseLists::Catalogue() const { return m_impl->catalogue; }

void CourseLists::SetLearningProgress(LearningProgress* progress) { m_impl->progress = progress; }

int64_t CourseLists::ShownProgress(const std::string& lessonId, int64_t seconds) {
  if (m_impl->progress == nullptr || lessonId.empty()) return seconds;
  return m_impl->progress->Reach(GetSignedInAccount(), lessonId, seconds);
}

CourseLists::~CourseLists() = default;

void CourseLists::SetNetworkCheck(std::function<bool()> check) { m_impl->networkCheck = std::move(check); }

void CourseLists::SetOfflineSession(const OfflineSession* session) { m_impl->offline = session; }

void CourseLists::SetLessonPlayer(LessonPlayer* player) { m_impl->player = player; }

void CourseLists::LoadLastPosition() {
  std::wstring value;
  m_lastClassId = ReadRegString(L"lastclassid", value) == 0 ? WideToAnsi(value) : std::string();
  value.clear();
  m_lastLessonId = ReadRegString(L"lastlessonid", value) == 0 ? WideToAnsi(value) : std::string();
}

void CourseLists::SaveLastPosition(const std::string& classId, const std::string& lessonId) {
  m_lastClassId = classId;
  m_lastLessonId = lessonId;
  WriteRegString(L"lastclassid", AnsiToWide(classId));
  WriteRegString(L"lastlessonid", AnsiToWide(lessonId));
}

CContainerUI* CourseLists::Holder(const wchar_t* name) const {
  return dynamic_cast<CContainerUI*>(m_window.FindControl(name));
}

bool CourseLists::TabSelected(const wchar_t* name) const {
  auto* option = dynamic_cast<COptionUI*>(m_window.FindControl(name));
  return option != nullptr && option->IsSelected();
}

void CourseLists::Tip(const std::wstring& text) {
  ShowTip(m_window.GetHWND(), kTipDistance, kTipWidth, text);
}

void CourseLists::ShowLessonList(const std::string& classId) {
  CContainerUI* holder = Holder(L"vlMainVideoList");
  if (holder == nullptr) {
    LogError(L"ShowLessonList no vlMainVideoList");
    return;
  }
  m_impl->shownLessonClass = classId;
  CListUI* list = FindLessonList(classId);
  if (list == nullptr) {
    auto made = CreateCourseList(ListKind::Lessons, classId, m_window.GetPaintManager().GetClientSize().cx);
    list = made.get();
    holder->Add(made.release());
    if (classId.empty())
      AddEmptyState(*list, ListKind::Lessons);
    else
      StartFetch(*list, classId);
  } else if (Catalogue().LoadOf(classId) == ClassLoad::Failed) {
    // Selecting a class whose fetch got no answer tries again.
    list->RemoveAll();
    StartFetch(*list, classId);
  }
  if (TabSelected(L"optVideoList")) ShowOnly(*holder, list);
}

void CourseLists::StartFetch(CListUI& list, const std::string& classId) {
  AddLoadingState(list);
  Catalogue().LoadClass(classId);
}

void CourseLists::OnClassFailed(const ClassFailed& failed) {
  const std::string& classId = failed.classId;
  if (CListUI* list = FindLessonList(classId)) {
    list->RemoveAll();
    AddFailedState(*list);
  }
  if (CListUI* docs = FindDocList(classId)) FillDocList(*docs, classId);
  if (failed.result == ClassDetailResult::Refused) {
    // Once per window: several classes may be refused before the window has closed.
    if (m_impl->expiredReported) return;
    m_impl->expiredReported = true;
    // Last: the window may close (and this object go) inside the call.
    m_delegate.OnLoginExpired();
    return;
  }
  LogError(L"ShowLessonList no answer for class " + AnsiToWide(classId));
  if (classId == m_impl->shownLessonClass) Tip(L"请检查网络连接");
}

void CourseLists::OnClassLoaded(const ClassLoaded& loaded) {
  const std::string& classId = loaded.classId;
  if (CListUI* docs = FindDocList(classId); docs && m_impl->failedDocLists.count(classId) != 0)
    FillDocList(*docs, classId);
  CListUI* list = FindLessonList(classId);
  if (list == nullptr) return;
  list->RemoveAll();
  // Rows follow the catalogue, so a row's index is always its record's index there.
  const std::vector<LessonRecord>& lessons = Catalogue().Lessons(classId);
  if (lessons.empty()) {
    AddEmptyState(*list, ListKind::Lessons);
    return;
  }
  const std::string& lastLearned = loaded.lastLearnLessonId;
  // A late answer for a class no longer shown fills its list but leaves the remembered
  // position to the class the student is looking at.
  if (!lastLearned.empty() && classId == m_impl->shownLessonClass) SaveLastPosition(classId, lastLearned);
  const std::string& markerId = lastLearned.empty() ? m_lastLessonId : lastLearned;
  int selected = 0;
  for (size_t i = 0; i < lessons.size(); ++i) {
    // The row's progress is the furthest point: the school's learned time or more.
    LessonRecord shown = lessons[i];
    shown.learned_duration = std::to_string(ShownProgress(shown.id, ReadSeconds(shown.learned_duration)));
    if (!markerId.empty() && shown.id == markerId && m_impl->lastWatched.second.empty())
      m_impl->lastWatched = {classId, shown.id};
    const std::string lessonId = shown.id;
    AddLessonRow(*list, shown, static_cast<int>(i), markerId, [classId, lessonId](CListContainerElementUI& row) {
      LessonRecord key;
      key.id = lessonId;
      ApplyLessonState(row.FindSubControl(L"btnVideoDown"), classId, key);
    });
    if (!lastLearned.empty() && lessons[i].id == lastLearned && selected == 0) selected = static_cast<int>(i);
  }
  list->SelectItem(selected, false, false);
}

void CourseLists::ShowDocList(const std::string& classId) {
  CContainerUI* holder = Holder(L"vlMainJyList");
  if (holder == nullptr) {
    LogError(L"ShowDocList no vlMainJyList");
    return;
  }
  CourseCatalogue& catalogue = Catalogue();
  catalogue.PutDocuments(classId, gSubjectList.DocumentsOf(classId));
  CListUI* list = FindDocList(classId);
  if (list == nullptr) {
    auto made = CreateCourseList(ListKind::Documents, classId, m_window.GetPaintManager().GetClientSize().cx);
    list = made.get();
    holder->Add(made.release());
    ApplyDocListStyle(*list);
    FillDocList(*list, classId);
  }
  if (TabSelected(L"optJiangYiList")) ShowOnly(*holder, list);
}

void CourseLists::OnSubjectsRefreshed() {
  // Every document list made so far shows its class's documents of the new tree.
  CContainerUI* holder = Holder(L"vlMainJyList");
  if (holder == nullptr) return;
  for (int i = 0; i < holder->GetCount(); ++i) {
    if (auto* list = dynamic_cast<CListUI*>(holder->GetItemAt(i)))
      FillDocList(*list, WideToAnsi(list->GetUserData()));
  }
}

void CourseLists::FillDocList(CListUI& list, const std::string& classId) {
  list.RemoveAll();
  // A class the school could not give says so on both tabs, not "no documents".
  if (Catalogue().LoadOf(classId) == ClassLoad::Failed) {
    m_impl->failedDocLists.insert(classId);
    AddFailedState(list);
    return;
  }
  m_impl->failedDocLists.erase(classId);
  const std::vector<DocumentRecord>& docs = Catalogue().Documents(classId);
  if (docs.empty()) AddEmptyState(list, ListKind::Documents);
  for (size_t i = 0; i < docs.size(); ++i) {
    AddDocRow(list, docs[i], static_cast<int>(i), [classId, doc = docs[i]](CListContainerElementUI& row) {
      ApplyDocState(row.FindSubControl(L"btnDocDown"), row.FindSubControl(L"btnDocLook"), classId, doc);
    });
  }
}

CListUI* CourseLists::FindLessonList(const std::string& classId) const {
  return FindListIn(Holder(L"vlMainVideoList"), classId);
}

CListUI* CourseLists::FindDocList(const std::string& classId) const {
  return FindListIn(Holder(L"vlMainJyList"), classId);
}

CListContainerElementUI* CourseLists::FindRow(CListUI* list, const std::wstring& itemId) {
  if (list == nullptr) return nullptr;
  for (int i = 0; i < list->GetRowCount(); ++i) {
    auto* row = dynamic_cast<CListContainerElementUI*>(list->GetRowAt(i));
    if (row != nullptr && row->GetUserData() == itemId) return row;
  }
  return nullptr;
}

void CourseLists::MoveWatchingMark(CListContainerElementUI* row) {
  CListUI* list = row ? row->GetOwner() : nullptr;
  if (list == nullptr) return;
  if (CLabelUI* before = MarkerCell(m_impl->watching)) before->SetText(L"");
  m_impl->watching = {WideToAnsi(list->GetUserData()), WideToAnsi(row->GetUserData())};
  // One marker a row: the lesson watched now says so, whatever it said before.
  if (CLabelUI* now = MarkerCellOf(row)) MarkWatching(*now);
}

bool CourseLists::Neighbour(const std::string& classId, const std::string& lessonId, int step,
                            std::string& neighbourLessonId, std::string& neighbourLearned) {
  CListUI* list = FindLessonList(classId);
  CListContainerElementUI* row = FindRow(list, AnsiToWide(lessonId));
  if (row == nullptr) return false;
  auto* next = dynamic_cast<CListContainerElementUI*>(list->GetRowAt(list->GetRowIndex(row) + step));
  if (next == nullptr) return false;
  neighbourLessonId = WideToAnsi(next->GetUserData());
  // Where the neighbour resumes: its resume position, not the furthest point its row shows.
  const auto lesson = Catalogue().FindLesson(classId, neighbourLessonId);
  neighbourLearned = lesson ? lesson->learned_duration : std::string();
  MoveWatchingMark(next);
  return true;
}

bool CourseLists::PreviousLesson(const std::string& classId, const std::string& lessonId,
                                 std::string& neighbourLessonId, std::string& neighbourLearned) {
  return Neighbour(classId, lessonId, -1, neighbourLessonId, neighbourLearned);
}

bool CourseLists::NextLesson(const std::string& classId, const std::string& lessonId,
                             std::string& neighbourLessonId, std::string& neighbourLearned) {
  return Neighbour(classId, lessonId, 1, neighbourLessonId, neighbourLearned);
}

void CourseLists::UpdateLessonProgress(const std::string& classId, const std::string& lessonId,
                                       int64_t learnedSeconds) {
  CListContainerElementUI* row = FindRow(FindLessonList(classId), AnsiToWide(lessonId));
  if (row == nullptr) return;
  CControlUI* duration = row->FindSubControl(L"lessonDuration");
  auto* progress = dynamic_cast<CLabelUI*>(row->FindSubControl(L"learnProgress"));
  if (duration == nullptr || progress == nullptr) return;
  const int64_t shown = ShownProgress(lessonId, learnedSeconds);
  SetProgressLabel(*progress, ReadSeconds(WideToAnsi(duration->GetUserData())), shown);
  LogNormal(L"lesson row " + AnsiToWide(lessonId) + L" progress " + progress->GetText());
}

CLabelUI* CourseLists::MarkerCell(const std::pair<std::string, std::string>& key) const {
  if (key.second.empty()) return nullptr;
  return MarkerCellOf(FindRow(FindLessonList(key.first), AnsiToWide(key.second)));
}

void CourseLists::ClearLessonMark(const std::string& classId, const std::string& lessonId) {
  // The player closed: its lesson becomes the one watched last, and only it says so.
  CLabelUI* closed = MarkerCellOf(FindRow(FindLessonList(classId), AnsiToWide(lessonId)));
  if (closed == nullptr) return;
  const std::pair<std::string, std::string> key{classId, lessonId};
  if (key != m_impl->lastWatched) {
    if (CLabelUI* before = MarkerCell(m_impl->lastWatched)) before->SetText(L"");
  }
  if (key == m_impl->watching) m_impl->watching = {};
  MarkLastWatched(*closed);
  m_impl->lastWatched = key;
}

bool CourseLists::HandleNotify(TNotifyUI& msg) {
  if (msg.pSender == nullptr) return false;
  if (msg.sType == DUI_MSGTYPE_CLICK) {
    if (msg.pSender->GetName() == L"btnVideoPlay") {
      PlayClicked(msg.pSender);
      return true;
    }
    if (msg.pSender->GetName() == L"btnDocLook") {
      LookClicked(msg.pSender);
      return true;
    }
    return false;
  }
  if (msg.sType == DUI_MSGTYPE_ITEMCLICK) return RowClicked(msg.pSender);
  return false;
}

void CourseLists::PlayClicked(CControlUI* button) {
  const bool offline = m_impl->offline != nullptr && m_impl->offline->IsOffline();
  if (!offline && !m_impl->networkCheck()) {
    Tip(L"请检查网络连接");
    return;
  }
  CListUI* list = AncestorOf<CListUI>(button);
  auto* row = AncestorOf<CListContainerElementUI>(button);
  if (list == nullptr || row == nullptr || list->GetUserData().empty()) return;
  const std::string classId = WideToAnsi(list->GetUserData());
  const std::vector<LessonRecord> lessons = Catalogue().Lessons(classId);
  const int index = RowIndexOf(button);
  if (index < 0 || index >= static_cast<int>(lessons.size())) {
    LogError(L"btnVideoPlay row index " + button->GetUserData() + L" outside the " +
             std::to_wstring(lessons.size()) + L" lessons of class " + AnsiToWide(classId));
    return;
  }
  const LessonRecord& lesson = lessons[static_cast<size_t>(index)];
  list->SelectItem(list->GetRowIndex(row), false, false);
  MoveWatchingMark(row);

  if (auto task = DownloadTaskList::Get().FindTask(classId, lesson.id, TaskKind::Video)) {
    // Neither the finished file nor the partial one is there: the student removed it.
    std::error_code error;
    if (!std::filesystem::exists(task->localFile, error) &&
        !std::filesystem::exists(TransferFile(*task), error)) {
      Tip(L"文件不存在");
      return;
    }
    if (IsCompleteOnDisk(*task)) {
      LogNormal(L"PlayLocal classid:" + AnsiToWide(classId) + L" vid:" + AnsiToWide(lesson.video) +
                L" file:" + AnsiToWide(task->localFile));
      if (m_impl->player)
        m_impl->player->PlayDownloaded(*task, 0);
      else
        LogError(L"no lesson player for the downloaded video of classid:" + AnsiToWide(classId));
      return;
    }
  }
  if (offline && m_impl->offline->Refuse(OnlineAction::PlayOnline)) return;
  if (m_impl->player)
    m_impl->player->PlayOnline(classId, lesson);
  else
    LogError(L"no online player linked for classid:" + AnsiToWide(classId) + L" vid:" + AnsiToWide(lesson.video));
}

void CourseLists::LookClicked(CControlUI* button) {
  CListUI* list = AncestorOf<CListUI>(button);
  if (list == nullptr || list->GetUserData().empty()) return;
  const std::string classId = WideToAnsi(list->GetUserData());
  const std::vector<DocumentRecord> docs = Catalogue().Documents(classId);
  const int index = RowIndexOf(button);
  if (index < 0 || index >= static_cast<int>(docs.size())) {
    LogError(L"btnDocLook row index " + button->GetUserData() + L" outside the " +
             std::to_wstring(docs.size()) + L" documents of class " + AnsiToWide(classId));
    return;
  }
  const DocumentRecord& doc = docs[static_cast<size_t>(index)];
  auto task = DownloadTaskList::Get().FindTask(classId, doc.id, TaskKind::Document);
  if (!task) return;
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::path(task->localFile), error)) {
    Tip(L"文件不存在");
    return;
  }
  LogNormal(L"LookDoc classid:" + AnsiToWide(classId) + L" id:" + AnsiToWide(doc.id) + L" file:" +
            AnsiToWide(task->localFile));
  OpenDownloadedDocument(task->localFile);
}

bool CourseLists::RowClicked(CControlUI* sender) {
  auto* row = dynamic_cast<CListContainerElementUI*>(sender);
  CListUI* list = row ? row->GetOwner() : nullptr;
  if (list == nullptr) return false;
  const std::string classId = WideToAnsi(list->GetUserData());
  const wchar_t* optionName = nullptr;
  if (list == FindLessonList(classId) && TabSelected(L"optVideoList")) {
    CControlUI* all = m_window.FindControl(L"optDownloadAllVideo");
    if (all != nullptr && all->IsVisible()) optionName = L"optSelectVideo";
  } else if (list == FindDocList(classId) && TabSelected(L"optJiangYiList")) {
    CControlUI* all = m_window.FindControl(L"optDownloadAllDoc");
    if (all != nullptr && all->IsVisible()) optionName = L"optSelectDoc";
  }
  if (optionName == nullptr) return false;
  auto* option = dynamic_cast<COptionUI*>(row->FindSubControl(optionName));
  if (option == nullptr || !option->IsEnabled()) return false;
  option->Selected(!option->IsSelected(), true);
  return true;
}
