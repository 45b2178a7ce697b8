// The lesson and document lists of the course view. One list of each kind per class,
// created the first time the class is shown and kept; the catalogue fetches a class's
// lessons while the list shows its loading state, and the list fills when it is told. The unit also
// serves the player windows: previous/next lesson, progress refresh, last position.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "ui/Forward.h"

#include "study/CourseCatalogue.h"
#include "study/LearningProgress.h"

class LessonPlayer;
class OfflineSession;

class CourseLists {
 public:
  // What the lists need from the window that holds them.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The service refused the request: the sign-in is no longer valid (tip, sign-out).
    virtual void OnLoginExpired() = 0;
  };

  // `window` holds "vlMainVideoList", "vlMainJyList", "optVideoList" and "optJiangYiList".
  // The lists show what `catalogue` holds and follow what it learns.
  CourseLists(WindowImplBase& window, Delegate& delegate, CourseCatalogue& catalogue);
  ~CourseLists();
  CourseLists(const CourseLists&) = delete;
  CourseLists& operator=(const CourseLists&) = delete;

  CourseCatalogue& Catalogue() const;
  // Where rows find the furthest point of each lesson, which their progress shows; without
  // one they show the school's learned time and the player's reports as they come.
  void SetLearningProgress(LearningProgress* progress);

  // Reads "lastclassid" and "lastlessonid" from the settings store.
  void LoadLastPosition();
  const std::string& LastClassId() const { return m_lastClassId; }
  const std::string& LastLessonId() const { return m_lastLessonId; }

  // Shows the class's lesson list (when the lesson tab is selected), creating it and
  // starting its fetch on first use. An empty class id shows the "no video" state.
  void ShowLessonList(const std::string& classId);
  // Shows the class's document list (when the document tab is selected), from the catalogue.
  void ShowDocList(const std::string& classId);

  CListUI* FindLessonList(const std::string& classId) const;
  CListUI* FindDocList(const std::string& classId) const;
  // The row of `list` whose user data equals `itemId`, or null.
  static CListContainerElementUI* FindRow(CListUI* list, const std::wstring& itemId);

  // Stores the position in this object and in the settings store.
  void SaveLastPosition(const std::string& classId, const std::string& lessonId);
  // Rows are keyed by lesson id (lessons may share a video). The neighbouring lesson of
  // (class, lesson): its lesson id and learned seconds (text); moves the "正在观看" marker
  // there. False at the list's ends or when not found.
  bool PreviousLesson(const std::string& classId, const std::string& lessonId, std::string& neighbourLessonId,
                      std::string& neighbourLearned);
  bool NextLesson(const std::string& classId, const std::string& lessonId, std::string& neighbourLessonId,
                  std::string& neighbourLearned);
  void UpdateLessonProgress(const std::string& classId, const std::string& lessonId, int64_t learnedSeconds);
  // Message 1038: the player closed; the row's marker text is cleared.
  void ClearLessonMark(const std::string& classId, const std::string& lessonId);

  // Row notifications (play, view, row clicks in selection mode). True when handled.
  bool HandleNotify(TNotifyUI& msg);

  // The network check of the play click (the system's network state by default).
  void SetNetworkCheck(std::function<bool()> check);
  // Offline, a lesson not downloaded gets the session's tip instead of the online player,
  // and the system's network state is not asked first (downloaded lessons play anyway).
  void SetOfflineSession(const OfflineSession* session);
  // Where a play click goes (a downloaded video or the online player); without one the
  // click is logged and nothing plays.
  void SetLessonPlayer(LessonPlayer* player);

 private:
  struct Impl;
  CContainerUI* Holder(const wchar_t* name) const;
  bool TabSelected(const wchar_t* name) const;
  void Tip(const std::wstring& text);
  void StartFetch(CListUI& list, const std::string& classId);
  void OnClassLoaded(const ClassLoaded& loaded);
  void OnClassFailed(const ClassFailed& failed);
  void OnSubjectsRefreshed();
  void FillDocList(CListUI& list, const std::string& classId);
  // What a lesson's row shows: the furthest point once `seconds` is taken into account.
  int64_t ShownProgress(const std::string& lessonId, int64_t seconds);
  void MoveWatchingMark(CListContainerElementUI* row);
  CLabelUI* MarkerCell(const std::pair<std::string, std::string>& key) const;
  bool Neighbour(const std::string& classId, const std::string& lessonId, int step,
                 std::string& neighbourLessonId, std::string& neighbourLearned);
  void PlayClicked(CControlUI* button);
  void LookClicked(CControlUI* button);
  bool RowClicked(CControlUI* sender);

  WindowImplBase& m_window;
  Delegate& m_delegate;
  std::string m_lastClassId;
  std::string m_lastLessonId;
  std::unique_ptr<Impl> m_impl;
};
