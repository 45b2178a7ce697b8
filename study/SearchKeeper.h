// Keeps the signed-in account's search index in step with what the program learns (a
// class's lessons arrive, a document finishes downloading or is removed) and answers
// searches, all off the main thread. A finished PDF's text is extracted once. Main thread
// only; nothing is delivered after the keeper is gone.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/BackgroundTask.h"
#include "study/CourseCatalogue.h"
#include "study/DownloadEvents.h"
#include "study/SearchIndex.h"

class DownloadCenter;

// The settings value naming the account whose index the desktop's search reads: the last
// one that loaded its catalogue.
inline constexpr const wchar_t* kSearchAccountValue = L"searchAccount";
class DownloadTaskList;

class SearchKeeper : public DownloadObserver, public CatalogueObserver {
 public:
  // Opens the index a worker uses (the signed-in account's; tests hand in their own).
  using IndexOpener = std::function<SearchIndex()>;

  SearchKeeper(DownloadCenter& downloads, CourseCatalogue& catalogue, DownloadTaskList& tasks,
               IndexOpener opener = &SearchIndex::OfSignedInAccount);
  ~SearchKeeper() override;
  SearchKeeper(const SearchKeeper&) = delete;
  SearchKeeper& operator=(const SearchKeeper&) = delete;

  // A session began (the first class of an account arrived calls it too): the index catches up with the kept catalogue, and the text of every
  // finished document not read yet is extracted.
  void Start();

  // The hits of `query`, delivered on the main loop; a newer search drops an older one's
  // answer. A failed search answers with no hits.
  void Search(std::string query, std::function<void(SearchResults)> done);

  // Called after every index update finished (tests, and views that show counts).
  void SetOnUpdated(std::function<void()> onUpdated) { m_onUpdated = std::move(onUpdated); }

  void OnTaskStateChanged(const TaskStateChanged& changed) override;
  void OnTaskRemoved(const TaskRemoved& removed) override;
  void OnClassLoaded(const ClassLoaded& loaded) override;

 private:
  void ScheduleUpdate();
  void Extract(const std::string& classId, const std::string& docId);

  DownloadCenter& m_downloads;
  CourseCatalogue& m_catalogue;
  DownloadTaskList& m_tasks;
  IndexOpener m_opener;
  BackgroundTask m_update;
  bool m_updateAgain = false;
  BackgroundTask m_search;
  std::map<std::string, BackgroundTask> m_extracts;  // by document id
  std::function<void()> m_onUpdated;
  std::string m_startedFor;  // the account Start last ran for
};
