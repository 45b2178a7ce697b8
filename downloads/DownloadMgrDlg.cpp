// The download manager windows. (Interface in place; the windows follow.)
#include "downloads/DownloadMgrDlg.h"

#include "ui/Control.h"

DownloadMgrDlg::DownloadMgrDlg(TaskKind kind, DownloadMgrDelegate* delegate, HWND mainWindow)
    : m_kind(kind), m_delegate(delegate), m_mainWindow(mainWindow) {}

DownloadMgrDlg::~DownloadMgrDlg() = default;

std::wstring DownloadMgrDlg::GetSkinFile() {
  return m_kind == TaskKind::Document ? L"download_doc_dlg.xml" : L"download_video_dlg.xml";
}

void DownloadMgrDlg::InitWindow() {}
void DownloadMgrDlg::AddTaskItem(const DownloadTask&) {}
void DownloadMgrDlg::ResumeTask(const std::string&, const std::string&) {}
void DownloadMgrDlg::PauseTask(const std::string&, const std::string&) {}
int DownloadMgrDlg::CountUnfinished() const { return 0; }
