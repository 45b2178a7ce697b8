// Keeping the search index current.
#include "study/SearchKeeper.h"

#include <fstream>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "study/DownloadCenter.h"
#include "study/PdfText.h"

namespace {

// Whether the file starts as a PDF does; documents may be of other types.
bool LooksLikePdf(const std::string& path) {
  char head[5] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(head, sizeof head) && std::string(head, sizeof head) == "%PDF-";
}

}  // namespace

SearchKeeper::SearchKeeper(DownloadCenter& downloads, CourseCatalogue& catalogue, DownloadTaskList& tasks,
                           IndexOpener opener)
    : m_downloads(downloads), m_catalogue(catalogue), m_tasks(tasks), m_opener(std::move(opener)) {
  m_downloads.AddObserver(*this);
  m_catalogue.AddObserver(*this);
}

SearchKeeper::~SearchKeeper() {
  m_downloads.RemoveObserver(*this);
  m_catalogue.RemoveObserver(*this);
}

void SearchKeeper::Start() {
  ScheduleUpdate();
  for (const DownloadClass& entry : m_tasks.SnapshotClasses(TaskKind::Document)) {
    for (const DownloadTask& task : entry.tasks) {
      if (ListedStateOf(task) == DownloadState::Finished) Extract(task.classId, task.id);
    }
  }
}

void SearchKeeper::Search(std::string query, std::function<void(SearchResults)> done) {
  m_search = BackgroundTask::Run(
      [opener = m_opener, query = std::move(query)](const CancelToken&) {
        SearchIndex index = opener();
        return index.Search(query).value_or(SearchResults{});
      },
      std::move(done));
}

void SearchKeeper::ScheduleUpdate() {
  if (m_update.IsRunning()) {
    m_updateAgain = true;
    return;
  }
  m_update = BackgroundTask::Run([opener = m_opener](const CancelToken&) { opener().Update(); },
                                 [this] {
                                   m_update = BackgroundTask();
                                   if (std::exchange(m_updateAgain, false)) ScheduleUpdate();
                                   if (m_onUpdated) m_onUpdated();
                                 });
}

void SearchKeeper::Extract(const std::string& classId, const std::string& docId) {
  if (m_extracts.count(docId)) return;
  const auto task = m_tasks.FindTask(classId, docId, TaskKind::Document);
  if (!task || task->localFile.empty()) return;
  std::string title = task->name;
  if (const size_t dot = title.rfind('.'); dot != std::string::npos && dot > 0) title.erase(dot);
  m_extracts[docId] = BackgroundTask::Run(
      [opener = m_opener, file = task->localFile, classId, docId, title](const CancelToken& cancel) {
        SearchIndex index = opener();
        if (index.HasPages(docId) || !LooksLikePdf(file)) return;
        if (auto pages = ExtractPdfPages(file, &cancel)) {
          index.StorePages(docId, classId, title, *pages);
          LogNormal(L"search: text of document " + AnsiToWide(docId) + L" read, " +
                    std::to_wstring(pages->size()) + L" pages");
        }
      },
      [this, docId] {
        m_extracts.erase(docId);
        ScheduleUpdate();
      });
}

void SearchKeeper::OnTaskStateChanged(const TaskStateChanged& changed) {
  if (changed.key.kind == TaskKind::Document && changed.state == DownloadState::Finished)
    Extract(changed.key.classId, changed.key.id);
}

void SearchKeeper::OnTaskRemoved(const TaskRemoved& removed) {
  if (removed.key.kind != TaskKind::Document) return;
  // The removed file's pages would open nothing: they go (in place of an extraction still
  // on its way), then the index follows.
  const std::string docId = removed.key.id;
  m_extracts[docId] = BackgroundTask::Run([opener = m_opener, docId](const CancelToken&) { opener().ForgetPages(docId); },
                                          [this, docId] {
                                            m_extracts.erase(docId);
                                            ScheduleUpdate();
                                          });
}

void SearchKeeper::OnClassLoaded(const ClassLoaded&) {
  // The first class of a session: its account is the one the desktop's search answers for.
  const std::string account = GetSignedInAccount();
  if (!account.empty() && account != m_startedFor) {
    m_startedFor = account;
    WriteRegString(kSearchAccountValue, AnsiToWide(account));
    Start();
    return;
  }
  ScheduleUpdate();
}
