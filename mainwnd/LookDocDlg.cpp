// The document viewer.
#include "mainwnd/LookDocDlg.h"

#include <filesystem>
#include <optional>

#include "account/MessageBoxDlg.h"
#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/CefNativeControl.h"
#include "browser/LocalFileUrl.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/NoteTaking.h"
#include "mainwnd/PdfSniff.h"
#include "platform/Messages.h"

namespace {

constexpr UINT kIconId = 102;
constexpr UINT kVirtualKeyB = 66;

std::wstring g_viewerTitle;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The downloaded document kept at `path`, which a note names by its class and id.
std::optional<DownloadTask> DocumentAt(const std::string& path) {
  for (const DownloadClass& c : DownloadTaskList::Get().SnapshotClasses(TaskKind::Document))
    for (const DownloadTask& task : c.tasks)
      if (task.localFile == path) return task;
  return std::nullopt;
}

}  // namespace

const std::wstring& GetViewerTitle() { return g_viewerTitle; }

LookDocDlg::LookDocDlg(std::string path, int64_t page) : m_path(std::move(path)), m_page(page) {}

std::wstring LookDocDlg::TitleOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return AnsiToWide(name);
}

std::unique_ptr<CControlUI> LookDocDlg::CreateControl(const std::wstring& tag) {
  return CefNativeControl::CreateForWindow(tag, m_hWnd, m_browser);
}

void LookDocDlg::InitWindow() {
  SetIcon(kIconId);
  LoadDocument();
  UpdateTitle();
  RegisterHotKey(kViewerHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'I');
  RegisterHotKey(kViewerNoteHotKeyId, MOD_CONTROL, kVirtualKeyB);
}

void LookDocDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender->GetName() == L"btnDocNote") {
    AddBookmark();
    return;
  }
  WindowImplBase::OnClick(msg);
}

bool LookDocDlg::AddBookmark() {
  const std::optional<DownloadTask> task = DocumentAt(m_path);
  if (!task) {
    LogError(L"LookDocDlg: no downloaded document at " + AnsiToWide(m_path) + L", no bookmark");
    ShowTip(m_hWnd, 120, 200, L"只能给已下载的讲义添加书签");
    return false;
  }
  Note draft;
  draft.kind = NoteKind::Document;
  draft.itemId = task->id;
  draft.classId = task->classId;
  draft.title = AnsiToUtf8(WideToAnsi(TitleOf(m_path)));
  draft.position = m_page < 1 ? 1 : m_page;
  return TakeNote(m_hWnd, std::move(draft), m_noteAsker) == NoteTaken::Kept;
}

void LookDocDlg::LoadDocument() {
  if (!FileExists(m_path)) {
    LogNormal(L"LookDocDlg: no file at " + AnsiToWide(m_path));
    return;
  }
  if (!LooksLikePdf(m_path)) {
    LogError(L"LookDocDlg: not a PDF, not shown: " + AnsiToWide(m_path));
    return;
  }
  ++m_loadCount;
  // The viewer opens a document at the page named by the address's "#page=" fragment.
  std::wstring url = LocalFileUrl(m_path);
  if (m_page > 0) url += L"#page=" + std::to_wstring(m_page);
  if (m_browser) m_browser->LoadURL(url);
}

void LookDocDlg::UpdateTitle() {
  g_viewerTitle = TitleOf(m_path);
  SetWindowText(g_viewerTitle);
}

LRESULT LookDocDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                        bool& bHandled) {
  if (msg == WM_DOC_OPEN) {
    const auto* path = PayloadAs<std::string>(payload);
    const auto page = static_cast<int64_t>(wParam);
    // The same document again is not reloaded, unless a page of it is asked for.
    if (path && (*path != m_path || page > 0)) {
      m_path = *path;
      m_page = page;
      LoadDocument();
      UpdateTitle();
    }
    bHandled = true;
    return 0;
  }
  if (msg == WM_HOTKEY && (wParam == kViewerHotKeyId || wParam == kViewerNoteHotKeyId)) {
    if (wParam == kViewerNoteHotKeyId)
      AddBookmark();
    else if (m_browser)
      m_browser->ShowDevTools();
    bHandled = true;
    return 0;
  }
  bHandled = false;
  return 0;
}

LRESULT LookDocDlg::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  if (wParam == SC_CLOSE) {
    PostMessage(m_hWnd, WM_CLOSE);
    bHandled = true;
    return 0;
  }
  bHandled = false;  // the default handling; the host reports the new state, which swaps max/restore
  return 0;
}

void LookDocDlg::OnFinalMessage(HWND) {
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

void OpenDocViewer(const std::string& path, int64_t page) {
  HWND viewer = FindWindow(L"lookDocDlgClass", GetViewerTitle());
  if (viewer != kNoWindow) {
    PostMessage(viewer, WM_DOC_OPEN, static_cast<WPARAM>(page), 0, MakePayload<std::string>(path));
    if (CWindowWnd* window = CWindowWnd::FromHandle(viewer)) window->BringToFront();
    return;
  }
  auto dlg = std::make_unique<LookDocDlg>(path, page);
  // A zero size takes the skin's size.
  if (dlg->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the document viewer could not be created");
    return;
  }
  LookDocDlg* raw = AdoptSelfOwned(std::move(dlg));
  raw->CenterWindow();
  raw->ShowWindow(true, true);
}
