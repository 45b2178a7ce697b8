// The two twin download manager windows: DownloadVideoDlg (lesson videos) and
// DownloadDocDlg (lecture documents). Each shows the downloads of its kind grouped by
// class, with progress, status and delete per row, pause-all/start-all and a delete mode.
// They are the notify windows of their tasks: they turn progress and completion messages
// into row updates and report every change of a task's state to the download centre,
// which the main window's lists observe. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "downloads/DownloadTask.h"
#include "mainwnd/ConfirmDlg.h"
#include "study/DownloadCenter.h"
#include "ui/Control.h"
#include "ui/ControlPrototype.h"
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
  // Who asked for a resume: a student's click gets a tip when the disk has no room; the
  // centre's own resumes (start, room back, network back) only change the row.
  enum class ResumeAsk { Student, Automatic };
  void ResumeTask(const std::string& classId, const std::string& id, ResumeAsk ask = ResumeAsk::Student);
  // A task just added that may not run on this connection: its row waits for the network.
  void HoldNewTask(const DownloadTask& task);
  void PauseTask(const std::string& classId, const std::string& id);
  // The task of the row keyed `oldId` is now keyed `newId` (a stored task took its lesson).
  void RekeyTaskItem(const std::string& classId, const std::string& oldId, const std::string& newId);
  // Rows whose status is not "下载完成".
  int CountUnfinished() const;

  // The row of a task, or null (tests, the main window's look-ups).
  CTreeNodeUI* FindTaskRow(const std::string& classId, const std::string& id) const;
  bool IsDeleteMode() const { return !m_notDeleteMode; }
  // How deletes are confirmed; the default asks with ConfirmDlg over this window.
  void SetConfirmer(Confirmer confirmer) { m_confirmer = std::move(confirmer); }

  // Timer ids: hide once the pointer has left; disable pause-all once all are finished.
  static constexpr UINT kHideTimer = 1030;
  static constexpr UINT kAllFinishedTimer = 1067;
  // Rows held by a full disk look for room again.
  static constexpr UINT kDiskFullTimer = 1068;

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
  enum class Look { Waiting, Paused, Failed, Finished, DiskFull, HeldForNetwork };

  // A folder move's text in the task's row; empty: the move of its file is over.
  void ShowMoveText(const DownloadTask& task, const std::wstring& text);
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
  void OnDiskFull(const DownloadTask& task);
  void HoldForNetwork(const DownloadTask& task);
  void OnStatusClick(CControlUI* button);
  // "打开所在文件夹" of a finished row: the file manager shows the file.
  void ShowFinishedInFolder(CControlUI* button);
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
  // False when the student cancelled the question (the mode and the ticks stay).
  bool DeleteChecked();
  // The tree or the empty state, after rows came or went.
  void ShowTreeOrEmpty();
  void UpdateBadge();
  void RemoveRow(CTreeNodeUI* row);
  bool IsFinishedRow(CTreeNodeUI* row) const;
  // The image name a finished row's status button shows.
  const wchar_t* FinishedImage() const;
  // Removes the task from the list and the course database; with `files`, its finished
  // file too (its partial file always goes).
  void RemoveFromStore(const std::string& classId, const std::string& id, bool files);
  // Asks before deleting `count` downloads; nothing when the student cancelled, else
  // whether their files go too.
  std::optional<bool> ConfirmDelete(int count);

  bool m_notDeleteMode = true;
  CTreeViewUI* m_tree = nullptr;
  // Class headings and task rows, each skin file read once per window.
  CControlPrototype m_classPrototype{L"treeitem.xml"};
  CControlPrototype m_rowPrototype;
  CButtonUI* m_pauseAll = nullptr;
  CButtonUI* m_deleteAll = nullptr;
  CButtonUI* m_deleteCancel = nullptr;
  CControlUI* m_empty = nullptr;
  Confirmer m_confirmer = &AskWithConfirmDlg;
  bool m_asking = false;  // a delete question is open
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
