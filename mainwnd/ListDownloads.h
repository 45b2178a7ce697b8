// Downloads started from the course lists: the rows' download buttons (start, pause,
// resume), the batch selection of each tab's tool bar with its check boxes and select-all,
// and the rows' looks, which follow the download centre's events. Service lookups run on worker
// workers; every step that touches a window, the task list, the course database or the
// folder dialog runs on the main thread, so the window never waits for the service.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "downloads/DownloadTask.h"
#include "platform/Types.h"
#include "service/Records.h"
#include "study/CourseCatalogue.h"
#include "study/DownloadCenter.h"
#include "ui/Forward.h"

class CourseLists;
class DownloadMgrDlg;

class OfflineSession;

class ListDownloads : private DownloadObserver, private CatalogueObserver {
 public:
  // What the list downloads need from the main window.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The manager window of kind 2 or 3, or null.
    virtual DownloadMgrDlg* GetManager(TaskKind kind) = 0;
    // The class selected in the subject tree (its id and title); false when none.
    virtual bool GetSelectedClass(std::string& classId, std::string& className) = 0;
    // Mouse input of the subject tree; off while a batch runs.
    virtual void EnableTree(bool enable) = 0;
    virtual bool ChooseDownloadFolder(TaskKind kind, std::int64_t size, std::wstring& folder) = 0;
    // The window the location dialog opens over; kNoWindow: the main window.
    virtual void SetFolderDialogOwner(HWND) {}
    virtual void SavePrevDownDir(const std::wstring& folder) = 0;
    // The unfinished-download badge of the kind's manager button.
    virtual void SetBadge(TaskKind kind, int count) = 0;
    // A short toast of the main window (a batch the disk has no room for).
    virtual void ShowMainTip(const std::wstring& /*text*/) {}
  };

  // `window` holds the tool bars ("hLayDownVideo", ...) and the list holders. The lists
  // observe `downloads` and start its lesson downloads while they exist.
  ListDownloads(WindowImplBase& window, CourseLists& lists, Delegate& delegate, DownloadCenter& downloads);
  ~ListDownloads() override;
  ListDownloads(const ListDownloads&) = delete;
  ListDownloads& operator=(const ListDownloads&) = delete;

  // Download buttons, tool bar buttons, select-all and the rows' check boxes. True when handled.
  bool HandleNotify(TNotifyUI& msg);
  // Offline, a new download gets the session's tip and nothing is asked of the school.
  void SetOfflineSession(const OfflineSession* session) { m_offline = session; }

  // Asks the service for the video's address and size, then the folder, then starts it.
  // `dialogOwner`: the window the location dialog opens over (kNoWindow: the main window).
  void StartLessonDownload(const std::string& classId, const std::string& className,
                           const LessonRecord& lesson, HWND dialogOwner = kNoWindow);
  void StartDocDownload(const DocumentRecord& doc, const std::string& className);

  // Batch selection of the tab (only while that tab is selected).
  void SetSelectMode(TaskKind kind, bool on);
  void CancelVideoSelect() { CancelSelect(TaskKind::Video); }
  void CancelDocSelect() { CancelSelect(TaskKind::Document); }
  // Downloads the ticked rows of the selected class together; ends with 1074 / 1075.
  void VideoBatchDownload();
  void DocBatchDownload();
  // Messages 1074 / 1075: the tab's tool bar and the subject tree come back.
  void OnBatchDone(TaskKind kind);
  bool IsBatchRunning(TaskKind kind) const;

  // The lesson of a class, as the player's side panel asks for it: resumes its paused
  // download, or asks for its video's address and then the folder as a row click does.
  // False when the download cannot start (a finished one, an unknown lesson).
  bool DownloadLesson(const std::string& classId, const std::string& lessonId);

  // Service lookups still running, and a wait for them (tests; never on the UI path).
  static int PendingLookups();
  static bool WaitForLookups(int timeoutMs);

 private:
  struct Impl;
  struct Prepared;
  struct Lookup;
  // DownloadObserver: the row of the task follows the centre.
  void OnTaskAdded(const TaskAdded& event) override;
  void OnTaskProgress(const TaskProgress& event) override;
  void OnTaskStateChanged(const TaskStateChanged& event) override;
  void OnTaskRemoved(const TaskRemoved& event) override;
  // CatalogueObserver: downloads stored under a video id take the lesson they belong to.
  void OnClassLoaded(const ClassLoaded& loaded) override;
  CListContainerElementUI* RowOf(const TaskKey& key);
  // The task a row's download button stands for (the row index in its user data), or none.
  std::optional<TaskKey> KeyOfRow(TaskKind kind, CControlUI* button, const std::string& classId);
  CListUI* CurrentList(TaskKind kind, std::string* classId = nullptr, std::string* className = nullptr);
  void CancelSelect(TaskKind kind);
  void SetRowOption(CControlUI* row, TaskKind kind, bool selectMode);
  void AllChanged(TaskKind kind, bool selected);
  void RowOptionChanged(TaskKind kind, CControlUI* option);
  void DownloadButtonClicked(TaskKind kind, CControlUI* button);
  void ToolBarDownloadClicked(TaskKind kind);
  // Asks the service for the videos of `lookup` on a background worker; the answer comes
  // back on the main loop to OnLookup.
  void RunLookup(std::shared_ptr<Lookup> lookup);
  void OnLookup(Lookup& lookup);
  // Chooses the folder for the prepared tasks and adds those the task list accepts.
  void Commit(TaskKind kind, std::vector<Prepared>& prepared, std::int64_t folderSize, bool batch);
  bool AddPrepared(Prepared& item, const std::wstring& folder);
  void EnableBatchControls(TaskKind kind, bool enable);

  WindowImplBase& m_window;
  CourseLists& m_lists;
  Delegate& m_delegate;
  DownloadCenter& m_downloads;
  const OfflineSession* m_offline = nullptr;
  std::unique_ptr<Impl> m_impl;
};
