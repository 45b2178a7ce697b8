// The two twin download manager windows: DownloadVideoDlg (lesson videos) and
// DownloadDocDlg (lecture documents). Each shows the downloads of its kind grouped by
// class, with progress, status and delete per row, pause-all/start-all and a delete mode.
// They are the notify windows of their tasks: they turn progress and completion messages
// into row updates and tell the main window's lists about every change of a task's status
// (WM_ROW_PROGRESS, WM_ROW_STATUS). Main thread only.
#pragma once

#include <string>

#include "downloads/DownloadTask.h"
#include "ui/WindowImplBase.h"

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
  DownloadMgrDlg(TaskKind kind, DownloadMgrDelegate* delegate, HWND mainWindow);
  ~DownloadMgrDlg() override;
  std::wstring GetWindowClassName() const override { return L"myDownloadDlgClass"; }
  TaskKind GetKind() const { return m_kind; }

  // A task that DownloadTaskList::AddTask accepted: a new waiting row.
  void AddTaskItem(const DownloadTask& task);
  void ResumeTask(const std::string& classId, const std::string& id);
  void PauseTask(const std::string& classId, const std::string& id);
  // Rows whose status is not "下载完成".
  int CountUnfinished() const;

 protected:
  std::wstring GetSkinFile() override;
  void InitWindow() override;

  TaskKind m_kind;
  DownloadMgrDelegate* m_delegate;
  HWND m_mainWindow;
};

class DownloadVideoDlg : public DownloadMgrDlg {
 public:
  DownloadVideoDlg(DownloadMgrDelegate* delegate, HWND mainWindow)
      : DownloadMgrDlg(TaskKind::Video, delegate, mainWindow) {}
};

class DownloadDocDlg : public DownloadMgrDlg {
 public:
  DownloadDocDlg(DownloadMgrDelegate* delegate, HWND mainWindow)
      : DownloadMgrDlg(TaskKind::Document, delegate, mainWindow) {}
};
