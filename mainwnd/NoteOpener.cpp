// Opening a note's lesson or document.
#include "mainwnd/NoteOpener.h"

#include <filesystem>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/OfflineOpen.h"
#include "mainwnd/OfflineSession.h"
#include "mainwnd/PlayerLink.h"

namespace {

const ClassRecord* BoughtClass(const std::string& classId) {
  for (const ClassRecord& c : gSubjectList.Classes)
    if (c.id == classId) return &c;
  for (const auto& [exam, packages] : gSubjectList.PackagesByExam)
    for (const GroupPackageRecord& package : packages)
      for (const SubjectEntry& subject : package.classes)
        for (const ClassRecord& c : subject.classes)
          if (c.id == classId) return &c;
  return nullptr;
}

bool FileThere(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

}  // namespace

bool IsClassBought(const std::string& classId) { return BoughtClass(classId) != nullptr; }

std::string ClassNameOf(const std::string& classId) {
  if (const ClassRecord* c = BoughtClass(classId)) return AnsiToUtf8(c->name);
  for (TaskKind kind : {TaskKind::Video, TaskKind::Document})
    if (auto c = DownloadTaskList::Get().FindClass(classId, kind); c && !c->className.empty())
      return AnsiToUtf8(c->className);
  return {};
}

NoteOpener::NoteOpener(CourseCatalogue& catalogue, std::function<void(const std::wstring&)> tip)
    : m_catalogue(catalogue), m_tip(std::move(tip)) {
  m_catalogue.AddObserver(*this);
}

NoteOpener::~NoteOpener() { m_catalogue.RemoveObserver(*this); }

NoteOpening NoteOpener::Open(const Note& note) {
  m_waiting.reset();
  return note.kind == NoteKind::Document ? OpenDocument(note) : OpenLesson(note);
}

NoteOpening NoteOpener::OpenLesson(const Note& note) {
  if (auto task = DownloadTaskList::Get().FindTask(note.classId, note.itemId, TaskKind::Video);
      task && FileThere(task->localFile) && IsCompleteOnDisk(*task)) {
    LogNormal(L"note opens the downloaded lesson " + Utf8ToWide(note.itemId) + L" at " +
              std::to_wstring(note.position));
    if (m_localPlay)
      m_localPlay(*task, note.position);
    else
      PlayDownloadedVideoFrom(*task, note.position);
    return NoteOpening::PlayedLocally;
  }
  if (m_offline && m_offline->Refuse(OnlineAction::PlayOnline)) return NoteOpening::Refused;
  if (std::optional<LessonRecord> lesson = m_catalogue.FindLesson(note.classId, note.itemId)) {
    // The player starts a lesson at its resume position: here, the note's moment.
    lesson->learned_duration = std::to_string(note.position);
    LogNormal(L"note plays lesson " + Utf8ToWide(note.itemId) + L" online at " + std::to_wstring(note.position));
    if (!PlayLessonOnline(note.classId, *lesson)) LogError(L"no online player linked for a note");
    return NoteOpening::Played;
  }
  if (IsClassBought(note.classId) && m_catalogue.LoadOf(note.classId) != ClassLoad::Ready) {
    m_waiting = note;
    m_catalogue.LoadClass(note.classId);
    return NoteOpening::Waiting;
  }
  LogNormal(L"note's lesson " + Utf8ToWide(note.itemId) + L" is no longer in the catalogue");
  if (m_tip) m_tip(L"这节课已不在课程列表中，也没有下载");
  return NoteOpening::Gone;
}

NoteOpening NoteOpener::OpenDocument(const Note& note) {
  auto task = DownloadTaskList::Get().FindTask(note.classId, note.itemId, TaskKind::Document);
  if (!task || !FileThere(task->localFile)) {
    if (m_tip) m_tip(L"讲义没有下载，下载后即可打开");
    return NoteOpening::Gone;
  }
  OpenDocViewer(task->localFile, note.position < 1 ? 1 : note.position);
  return NoteOpening::Shown;
}

void NoteOpener::OnClassLoaded(const ClassLoaded& loaded) {
  if (!m_waiting || m_waiting->classId != loaded.classId) return;
  const Note note = *m_waiting;
  m_waiting.reset();
  if (m_catalogue.FindLesson(note.classId, note.itemId)) {
    OpenLesson(note);
    return;
  }
  if (m_tip) m_tip(L"这节课已不在课程列表中，也没有下载");
}

void NoteOpener::OnClassFailed(const ClassFailed& failed) {
  if (!m_waiting || m_waiting->classId != failed.classId) return;
  m_waiting.reset();
  if (m_tip) m_tip(L"课程加载失败，请检查网络连接");
}
