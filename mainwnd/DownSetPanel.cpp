// The download settings panel and the folder decisions of new downloads.
#include "mainwnd/DownSetPanel.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "account/MessageBoxDlg.h"
#include "app/DesktopDownloads.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/DownloadPathSetDlg.h"
#include "study/DownloadCenter.h"
#include "ui/CheckBox.h"
#include "ui/Combo.h"
#include "ui/Dialogs.h"
#include "ui/Label.h"
#include "ui/Option.h"
#include "ui/UIDefs.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr int kDialogWidth = 623;
constexpr int kDialogHeight = 320;
constexpr int kTipDistance = 553;
constexpr int kTipWidth = 300;
constexpr DWORD kDirIdleColor = 0xFF999999;
constexpr DWORD kDirActiveColor = 0xFF292929;

// True when a file can be created in the folder (made first when missing).
bool CanWriteIn(const std::wstring& folder) {
  if (!EnsureFolder(folder)) return false;
  const std::filesystem::path probe =
      std::filesystem::path(WideToAnsi(folder)) / (".tavo-write-test-" + std::to_string(::getpid()));
  bool written = false;
  {
    std::ofstream file(probe, std::ios::binary | std::ios::trunc);
    written = static_cast<bool>(file << 'x' << std::flush);
  }
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
  return written;
}

}  // namespace

std::wstring WithTrailingSlash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'/') folder.push_back(L'/');
  return folder;
}

DownSetPanel::DownSetPanel(WindowImplBase& window) : m_window(window) {
  // A new account's downloads go where the student looks for downloads; a folder stored in
  // the account's settings replaces this at load.
  std::wstring downloads = DesktopDownloadFolder();
  if (downloads.empty()) downloads = GetDownloadFolder();
  m_config.prevDownDir = downloads;
  m_config.specifyDownDir = downloads;
  m_asker = [this](TaskKind kind, std::int64_t size, const std::wstring& initial, std::wstring& chosen) {
    return AskWithDialog(kind, size, initial, chosen);
  };
}

void DownSetPanel::LoadDownSet() {
  if (auto stored = ReadDownSet(DownSetConfigPath(), GetSignedInAccount())) m_config = std::move(*stored);
  // Only the folder itself is made; a missing parent shows up when a download starts.
  for (const std::wstring* folder : {&m_config.prevDownDir, &m_config.specifyDownDir}) {
    std::error_code ignored;
    if (!folder->empty()) std::filesystem::create_directory(WideToAnsi(*folder), ignored);
  }
  if (auto* prev = m_window.FindControlAs<COptionUI>(L"optPrevDownDir"))
    prev->Selected(m_config.prevDown, false);
  if (auto* specify = m_window.FindControlAs<COptionUI>(L"optSelectDownDir"))
    specify->Selected(m_config.specifyDown, false);
  ApplyOptionRules();
  for (auto [name, text] : {std::pair{L"lbPreDownDir", &m_config.prevDownDir},
                            std::pair{L"lbSpecifyDownDir", &m_config.specifyDownDir}}) {
    if (CControlUI* label = m_window.FindControl(name)) {
      label->SetText(*text);
      label->SetToolTip(*text);
    }
  }
  if (auto* ask = m_window.FindControlAs<CComboUI>(L"cbDownAsk")) ask->SelectItem(m_config.downAck, false);
  if (auto* box = m_window.FindControlAs<CCheckBoxUI>(L"chkAutoResume"))
    box->SetCheck(m_config.autoResume, false);
  if (auto* box = m_window.FindControlAs<CCheckBoxUI>(L"chkMeteredDownload"))
    box->SetCheck(m_config.meteredDownload, false);
  ApplySwitches();
  // A move the program did not finish (it crashed or quit) goes on before anything starts
  // its downloads again.
  if (!IsMovingFiles()) StartStoredMove();
}

void DownSetPanel::ApplySwitches() {
  if (m_downloads == nullptr) return;
  DownloadConditions& conditions = m_downloads->Conditions();
  const bool newlyAllowed = m_config.meteredDownload && !conditions.MeteredAllowed();
  conditions.SetAutoResume(m_config.autoResume);
  conditions.SetMeteredAllowed(m_config.meteredDownload);
  if (newlyAllowed) m_downloads->ResumeHeld(DownloadState::HeldForNetwork);
}

void DownSetPanel::ApplyOptionRules() {
  auto* specify = m_window.FindControlAs<COptionUI>(L"optSelectDownDir");
  const bool specified = specify != nullptr && specify->IsSelected();
  if (auto* label = m_window.FindControlAs<CLabelUI>(L"lbSpecifyDownDir"))
    label->SetTextColor(specified ? kDirActiveColor : kDirIdleColor);
  if (CControlUI* change = m_window.FindControl(L"btnChangeDir")) {
    change->SetEnabled(specified);
    change->ApplyAttributeList(specified ? L"bordercolor=\"#FFFF854D\"" : L"bordercolor=\"#FFDCDFE3\"");
  }
}

bool DownSetPanel::HandleNotify(TNotifyUI& msg, const std::function<void()>& onSaved) {
  if (msg.pSender == nullptr) return false;
  const std::wstring& name = msg.pSender->GetName();
  if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && (name == L"optPrevDownDir" || name == L"optSelectDownDir")) {
    ApplyOptionRules();
    return true;
  }
  if (msg.sType != DUI_MSGTYPE_CLICK) return false;
  if (name == L"btnChangeDir") {
    ChangeDir();
    return true;
  }
  if (name == L"btnDownSetSave") {
    if (SaveDownSet() && onSaved) onSaved();
    return true;
  }
  return false;
}

void DownSetPanel::ChangeDir() {
  CControlUI* shown = m_window.FindControl(L"lbSpecifyDownDir");
  const std::wstring picked = ChooseFolder(m_window.GetHWND(), shown ? shown->GetText() : std::wstring());
  if (picked.empty()) return;
  const std::wstring folder = WithTrailingSlash(picked);
  if (CControlUI* label = m_window.FindControl(L"lbSpecifyDownDir")) {
    label->SetText(folder);
    label->SetToolTip(folder);
  }
}

std::wstring DownSetPanel::FolderProblem(const std::wstring& folder) {
  if (Utf16Units(folder) > DownSetConfig::kMaxFolderUnits) return L"下载目录路径过长，请选择较短的目录";
  if (!folder.empty() && !CanWriteIn(folder)) return L"下载目录无法创建或写入，请更换目录";
  return {};
}

void DownSetPanel::Tip(const std::wstring& text) {
  ShowTip(m_window.GetHWND(), kTipDistance, kTipWidth, text);
}

bool DownSetPanel::SaveDownSet() {
  DownSetConfig edited = m_config;
  auto* prev = m_window.FindControlAs<COptionUI>(L"optPrevDownDir");
  auto* specify = m_window.FindControlAs<COptionUI>(L"optSelectDownDir");
  edited.prevDown = prev != nullptr && prev->IsSelected();
  edited.specifyDown = specify != nullptr && specify->IsSelected();
  if (CControlUI* label = m_window.FindControl(L"lbPreDownDir")) edited.prevDownDir = label->GetText();
  if (CControlUI* label = m_window.FindControl(L"lbSpecifyDownDir")) edited.specifyDownDir = label->GetText();
  if (auto* ask = m_window.FindControlAs<CComboUI>(L"cbDownAsk"))
    edited.downAck = ask->GetCurSel() < 0 ? 0 : ask->GetCurSel();
  if (auto* box = m_window.FindControlAs<CCheckBoxUI>(L"chkAutoResume")) edited.autoResume = box->GetCheck();
  if (auto* box = m_window.FindControlAs<CCheckBoxUI>(L"chkMeteredDownload"))
    edited.meteredDownload = box->GetCheck();
  for (const std::wstring* folder : {&edited.specifyDownDir, &edited.prevDownDir}) {
    const std::wstring problem = FolderProblem(*folder);
    if (!problem.empty()) {
      LogError(L"SaveDownSet refuses the folder " + *folder);
      Tip(problem);
      return false;
    }
  }
  const std::wstring oldFolder = m_config.specifyDownDir;
  m_config = std::move(edited);
  Store();
  ApplySwitches();
  if (WithTrailingSlash(oldFolder) != WithTrailingSlash(m_config.specifyDownDir))
    OfferMove(oldFolder, m_config.specifyDownDir);
  return true;
}

void DownSetPanel::OfferMove(const std::wstring& from, const std::wstring& to) {
  if (m_downloads == nullptr || CourseDB::IfOpen() == nullptr || from.empty() || to.empty()) return;
  if (IsMovingFiles()) {
    LogNormal(L"a move of the downloads is running; the files of " + from + L" stay");
    return;
  }
  std::vector<DownloadTask> tasks;
  for (TaskKind kind : {TaskKind::Video, TaskKind::Document})
    for (const DownloadClass& entry : DownloadTaskList::Get().SnapshotClasses(kind))
      tasks.insert(tasks.end(), entry.tasks.begin(), entry.tasks.end());
  m_preparingMove = true;
  m_movePrep = BackgroundTask::Run(
      [tasks = std::move(tasks), from = WideToAnsi(WithTrailingSlash(from)),
       to = WideToAnsi(WithTrailingSlash(to))](const CancelToken&) { return PlanMoves(tasks, from, to); },
      [this](std::vector<PendingMove> plan) {
        m_preparingMove = false;
        AskToMove(std::move(plan));
      });
}

void DownSetPanel::AskToMove(std::vector<PendingMove> plan) {
  if (plan.empty() || IsMovingFiles()) return;
  ConfirmQuestion question;
  question.title = L"移动下载文件";
  question.text = L"原下载目录中有 " + std::to_wstring(plan.size()) +
                  L" 个已下载或未下载完的文件，是否移动到新的下载目录？";
  if (!m_confirmer(m_window.GetHWND(), question).confirmed) return;
  CourseDB* db = CourseDB::IfOpen();
  if (db == nullptr || !db->AddPendingMoves(plan)) {
    Tip(MoveStopTip(MoveOutcome::Failed));
    return;
  }
  StartStoredMove();
}

void DownSetPanel::StartStoredMove() {
  CourseDB* db = CourseDB::IfOpen();
  if (db == nullptr || m_downloads == nullptr) return;
  m_moving = db->PendingMoves();
  if (m_moving.empty()) return;
  DownloadTaskList& list = DownloadTaskList::Get();
  m_resumeAfterMove.clear();
  for (const PendingMove& move : m_moving) {
    const TaskKey key{move.kind, move.classId, move.id};
    m_downloads->BeginMoving(key);
    auto entry = list.FindTask(move.classId, move.id, move.kind);
    if (!entry) continue;
    const DownloadState state = m_downloads->StateOf(key);
    if (state != DownloadState::Waiting && state != DownloadState::Transferring) continue;
    // Paused by the program, not the student: the move starts it again when done.
    entry->state = TaskState::Paused;
    list.UpdateTask(*entry, move.kind);
    m_downloads->ReportState(*entry, DownloadState::Paused);
    m_resumeAfterMove.push_back(*entry);
  }
  // A paused transfer lets go of its files before they move.
  m_preparingMove = true;
  m_movePrep = BackgroundTask::Run(
      [paused = m_resumeAfterMove](const CancelToken&) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (const DownloadTask& task : paused)
          if (!DownloadTaskList::Get().WaitUntilReleased(task.localFile, deadline))
            LogError(L"a download still holds " + AnsiToWide(task.localFile));
      },
      [this] {
        m_preparingMove = false;
        RunMover();
      });
}

void DownSetPanel::RunMover() {
  CourseDB* db = CourseDB::IfOpen();
  if (db == nullptr) return;
  m_mover = std::make_unique<DownloadMover>(*db, DownloadTaskList::Get(), m_moveMode);
  m_mover->onFileStarted = [this](const PendingMove& move) {
    if (auto entry = DownloadTaskList::Get().FindTask(move.classId, move.id, move.kind))
      m_downloads->ShowRowText(*entry, L"正在移动…");
  };
  m_mover->onFileMoved = [this](const PendingMove& move) {
    if (auto entry = DownloadTaskList::Get().FindTask(move.classId, move.id, move.kind))
      m_downloads->ShowRowText(*entry, L"");
  };
  m_mover->onFinished = [this](const MoveReport& report) { FinishMove(report); };
  m_mover->Run();
}

void DownSetPanel::FinishMove(const MoveReport& report) {
  DownloadTaskList& list = DownloadTaskList::Get();
  for (const PendingMove& move : m_moving) {
    m_downloads->EndMoving(TaskKey{move.kind, move.classId, move.id});
    if (auto entry = list.FindTask(move.classId, move.id, move.kind)) m_downloads->ShowRowText(*entry, L"");
  }
  for (const DownloadTask& paused : m_resumeAfterMove)
    if (auto entry = list.FindTask(paused.classId, paused.id, paused.kind)) m_downloads->ResumeTask(*entry);
  m_resumeAfterMove.clear();
  const std::wstring folder =
      m_moving.empty()
          ? std::wstring()
          : AnsiToWide(m_moving.front().newLocal.substr(0, m_moving.front().newLocal.rfind('/') + 1));
  m_moving.clear();
  if (report.outcome != MoveOutcome::Moved) {
    Tip(MoveStopTip(report.outcome));
  } else if (report.moved > 0) {
    LogNormal(L"moved " + std::to_wstring(report.moved) + L" downloaded files to " + folder);
    Tip(L"已将 " + std::to_wstring(report.moved) + L" 个文件移动到 " + folder);
  }
}

void DownSetPanel::SavePrevDownDir(const std::wstring& folder) {
  if (folder.empty()) return;
  if (Utf16Units(folder) > DownSetConfig::kMaxFolderUnits) {
    LogError(L"SavePrevDownDir: the folder does not fit the settings record: " + folder);
    return;
  }
  m_config.prevDownDir = folder;
  Store();
}

bool DownSetPanel::Store() { return WriteDownSet(DownSetConfigPath(), GetSignedInAccount(), m_config); }

bool DownSetPanel::ChooseDownloadFolder(TaskKind kind, std::int64_t size, std::wstring& folder) {
  std::wstring initial;
  if (m_config.prevDown)
    initial = m_config.prevDownDir;
  else if (m_config.specifyDown)
    initial = m_config.specifyDownDir;
  std::wstring chosen = initial;
  if (m_config.downAck == 0 && !m_asker(kind, size, initial, chosen)) return false;
  chosen = WithTrailingSlash(chosen);
  const std::wstring problem = FolderProblem(chosen);
  if (!problem.empty() || chosen.empty()) {
    LogError(L"ChooseDownloadFolder cannot use the folder \"" + chosen + L"\"");
    Tip(problem.empty() ? L"请先在下载设置中选择下载目录" : problem);
    return false;
  }
  folder = std::move(chosen);
  return true;
}

bool DownSetPanel::AskWithDialog(TaskKind kind, std::int64_t size, const std::wstring& initial,
                                 std::wstring& chosen) {
  // Centred over the course area, in screen coordinates.
  const CDuiRect window = m_window.GetWindowRect();
  CDuiRect area = window;
  if (CControlUI* main = m_window.FindControl(L"vlMain"); main && main->IsVisible()) {
    const CDuiRect pos = main->GetPos();
    area = {window.left + pos.left, window.top + pos.top, window.left + pos.right, window.top + pos.bottom};
  }
  const int x = area.left + (area.GetWidth() - kDialogWidth) / 2;
  const int y = area.top + (area.GetHeight() - kDialogHeight) / 2;
  DownloadPathSetDlg dialog(kind, size, initial);
  const HWND owner = IsWindow(m_dialogOwner) ? m_dialogOwner : m_window.GetHWND();
  if (dialog.Create(owner, L"下载设置", WS_POPUP, 0, x, y, kDialogWidth, kDialogHeight) ==
      kNoWindow) {
    LogError(L"the download location dialog could not be created");
    return false;
  }
  if (dialog.ShowModal() != 1) return false;
  chosen = dialog.GetFolder();
  return true;
}
