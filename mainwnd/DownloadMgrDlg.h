// The two twin download manager windows: DownloadVideoDlg (lesson videos) and
// DownloadDocDlg (lecture documents). Each shows the downloads of its kind grouped by
// class, with progress, status and delete per row, pause-all/start-all and a delete mode.
// They are the notify windows of their tasks: they turn progress and completion messages
// into row updates and report every change of a task's state to the download centre,
// which the main window's lists observe. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "downloads/DownloadTask.h"
#include "study/DownloadCenter.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class CButtonUI;
class CTreeNodeUI;
class CTreeViewUI;

// What the manager windows need from the window above them (the main window); the
// downloads module cannot reach it otherwise.
class DownloadMgrDelegate {
 public:
  virtual ~DownloadMgrDelegate() = default;
  // The number of unfinished downloads of `kind` changed (the main window's badge).
  virtual void OnUnfinishedCount(TaskKind kind, int count) = 0;
  // A finished row's play (video) or open (document) button; the file exists.
  virtual void OpenFinished(const DownloadTask& task) = 0;
  // A short toast owned by the main window ("文件不存在").
  virtual void ShowMainTip(const std::wstring& text) = 0;
};

class DownloadMgrDlg : public WindowImplBase {
 public:
  DownloadMgrDlg(TaskKind kind, DownloadMgrDelegate* delegate, DownloadCenter& downloads);
  ~DownloadMgrDlg() override;
  std::wstring GetWindowClassName() const override { return L"myDownloadDlgClass"; }
  TaskKind GetKind() const { return m_kind; }

  // A task that DownloadTaskList::AddTask accepted: a new waiting row.
  void AddTaskItem(const DownloadTask& task);
  void ResumeTask(const std::string& classId, const std::string& id);
  void PauseTask(const std::string& classId, const std::string& id);
  // The task of the row keyed `oldId` is now keyed `newId` (a stored task took its lesson).
  void RekeyTaskItem(const std::string& classId, const std::string& oldId, const std::string& newId);
  // Rows whose status is not "下载完成".
  int CountUnfinished() const;

  // The row of a task, or null (tests, the main window's look-ups).
  CTreeNodeUI* FindTaskRow(const std::string& classId, const std::string& id) const;
  bool IsDeleteMode() const { return !m_notDeleteMode; }

  // Timer ids: hide once the pointer has left; disable pause-all once all are finished.
  static constexpr UINT kHideTimer = 1030;
  static constexpr UINT kAllFinishedTimer = 1067;

 protected:
  std::wstring GetSkinFile() override;
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  void OnHostMouse(const HostMouseEvent& event) override;
  void OnHostFocus(bool focused) override;
  // Escape puts the window away, as leaving it does.
  bool OnHostKey(const HostKeyEvent& event) override;

  TaskKind m_kind;
  DownloadMgrDelegate* m_delegate;
  DownloadCenter& m_downloads;

 private:
  enum class Look { Waiting, Paused, Failed, Finished };

  void InitHistoryTreeView();
  // `styleVisited`: a new row is on its way; every class node passed gets the check box
  // style of the delete mode.
  CTreeNodeUI* FindClassNode(const std::string& classId, bool styleVisited = false) const;
  CTreeNodeUI* AddClassNode(const std::string& classId, const std::string& className);
  CTreeNodeUI* AddRow(CTreeNodeUI* classNode, const DownloadTask& task);
  void SetLook(CTreeNodeUI* row, Look look);
  void SetItemStatus(CTreeNodeUI* row, const std::wstring& text, const std::wstring& buttonAttributes);
  void ShowProgress(const DownloadTask& task, int percent);
  void OnDownloadResult(WPARAM result, const DownloadTask& task);
  void OnStatusClick(CControlUI* button);
  void DeleteItem(CControlUI* button);
  void PauseAll();
  void StartAll();
  bool AnyPaused() const;
  bool AllFinished() const;
  void UpdatePauseAllImage();
  void SetDeleteMode(bool on);
  void OnCheckChanged(CControlUI* box);
  bool AnyChecked() const;
  void ClearChecks();
  void DeleteChecked();
  // The tree or the empty state, after rows came or went.
  void ShowTreeOrEmpty();
  void UpdateBadge();
  void RemoveRow(CTreeNodeUI* row);
  bool IsFinishedRow(CTreeNodeUI* row) const;
  // The image name a finished row's status button shows.
  const wchar_t* FinishedImage() const;
  void RemoveFromStore(const std::string& classId, const std::string& id);

  bool m_notDeleteMode = true;
  CTreeViewUI* m_tree = nullptr;
  CButtonUI* m_pauseAll = nullptr;
  CButtonUI* m_deleteAll = nullptr;
  CButtonUI* m_deleteCancel = nullptr;
  CControlUI* m_empty = nullptr;
};

class DownloadVideoDlg : public DownloadMgrDlg {
 public:
  DownloadVideoDlg(DownloadMgrDelegate* delegate, DownloadCenter& downloads)
      : DownloadMgrDlg(TaskKind::Video, delegate, downloads) {}
};

class DownloadDocDlg : public DownloadMgrDlg {
 public:
  DownloadDocDlg(DownloadMgrDelegate* delegate, DownloadCenter& downloads)
      : DownloadMgrDlg(TaskKind::Document, delegate, downloads) {}
};
