// The small modal dialog that asks where a new download goes: what is downloaded, how
// large it is, the proposed folder, "更改目录" to pick another; OK (1) or cancel (2).
#pragma once

#include <cstdint>
#include <string>

#include "downloads/DownloadTask.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class DownloadPathSetDlg : public WindowImplBase {
 public:
  // `size`: bytes for videos, whole MiB for documents.
  DownloadPathSetDlg(TaskKind kind, std::int64_t size, std::wstring folder);
  std::wstring GetWindowClassName() const override { return L"DownloadPathSetDlgClass"; }
  // The folder shown when the dialog ended.
  std::wstring GetFolder() const { return m_folder; }

  // The size text: bytes in their largest whole unit for videos, "%dMB" for documents.
  static std::wstring SizeTextFor(TaskKind kind, std::int64_t size);

 protected:
  std::wstring GetSkinFile() override { return L"download_path_set_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void ShowFolder();

  TaskKind m_kind;
  std::int64_t m_size;
  std::wstring m_folder;
};
