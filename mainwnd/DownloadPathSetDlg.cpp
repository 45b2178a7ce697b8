// The download location dialog: kind and size of what is about to be downloaded, the
// proposed folder, "更改目录" through the folder chooser; OK ends with 1, cancel with 2.
#include "mainwnd/DownloadPathSetDlg.h"

#include "downloads/SizeText.h"
#include "ui/Control.h"
#include "ui/Dialogs.h"

DownloadPathSetDlg::DownloadPathSetDlg(TaskKind kind, std::int64_t size, std::wstring folder)
    : m_kind(kind), m_size(size), m_folder(std::move(folder)) {}

std::wstring DownloadPathSetDlg::SizeTextFor(TaskKind kind, std::int64_t size) {
  if (kind == TaskKind::Video) return SizeText(size);
  if (kind == TaskKind::Document) return std::to_wstring(size) + L"MB";
  return {};
}

void DownloadPathSetDlg::InitWindow() {
  if (CControlUI* info = FindControl(L"lbDownPathInfo"))
    info->SetText(m_kind == TaskKind::Document ? L"把讲义下载到下列目录" : L"把课件下载到下列目录");
  ShowFolder();
  if (CControlUI* size = FindControl(L"lbDownFileSize"))
    size->SetText(L"文件大小：" + SizeTextFor(m_kind, m_size));
}

void DownloadPathSetDlg::ShowFolder() {
  if (CControlUI* path = FindControl(L"lbDownDefPath")) {
    path->SetText(m_folder);
    path->SetToolTip(m_folder);
  }
}

void DownloadPathSetDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"btnChangeDir") {
    std::wstring folder = ChooseFolder(m_hWnd, m_folder);
    if (folder.empty()) return;  // cancelled: nothing changes
    // Folder texts end with "/" (the root keeps its single one).
    if (folder.back() != L'/') folder += L'/';
    m_folder = folder;
    ShowFolder();
  } else if (name == L"btnOk") {
    Close(1);
  } else if (name == L"btnCancel" || name == L"closebtn") {
    Close(2);
  }
}
