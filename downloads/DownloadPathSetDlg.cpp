// The download location dialog. (Interface in place; the dialog follows.)
#include "downloads/DownloadPathSetDlg.h"

#include "ui/Control.h"

DownloadPathSetDlg::DownloadPathSetDlg(TaskKind kind, std::int64_t size, std::wstring folder)
    : m_kind(kind), m_size(size), m_folder(std::move(folder)) {}
