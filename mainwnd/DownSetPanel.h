// The download settings panel of the main window ("vlDownSetInfo") and the decisions
// built on its record: where a new download goes (from the settings, or by asking with the
// location dialog), and remembering the folder of the last accepted download. The record
// is kept per account in DownSetConfig.ini. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "downloads/DownloadTask.h"
#include "mainwnd/ConfirmDlg.h"
#include "mainwnd/DownSetConfig.h"
#include "platform/BackgroundTask.h"
#include "study/DownloadMove.h"
#include "ui/Forward.h"

class DownloadCenter;

class DownSetPanel {
 public:
  // Asks where a download of `kind` and `size` goes, proposing `initial`; true with the
  // chosen folder in `chosen` when the student confirmed. The default runs the modal
  // location dialog over the main window.
  using FolderAsker = std::function<bool(TaskKind kind, std::int64_t size, const std::wstring& initial,
                                         std::wstring& chosen)>;

  // `window` holds the panel's controls and "vlMain" (the dialog is centred over it).
  explicit DownSetPanel(WindowImplBase& window);

  // Reads the record of the signed-in account (the defaults stay when there is none or it
  // is damaged), creates its folders and fills the panel. Unsaved edits are dropped.
  void LoadDownSet();
  // Stores the panel's choices. False (with a tip, nothing stored) when a folder is too
  // long for the record or cannot be created or written.
  bool SaveDownSet();
  // Remembers `folder` as the previous download folder and stores the record; the panel's
  // labels follow at the next load. A folder that does not fit is not kept.
  void SavePrevDownDir(const std::wstring& folder);
  // The folder of a new download (ending with "/"); false when the student cancelled or
  // the folder cannot be used (a tip says why).
  bool ChooseDownloadFolder(TaskKind kind, std::int64_t size, std::wstring& folder);

  // Option rules, "更改目录" and "保存". `onSaved` runs after a successful save (the main
  // window leaves the panel). True when handled.
  bool HandleNotify(TNotifyUI& msg, const std::function<void()>& onSaved);

  const DownSetConfig& Config() const { return m_config; }
  void SetFolderAsker(FolderAsker asker) { m_asker = std::move(asker); }
  // The window the location dialog opens over (the player's, when the player asked);
  // kNoWindow: the main window.
  void SetDialogOwner(HWND owner) { m_dialogOwner = owner; }
  // The downloads that follow the stored switches (go on by themselves, metered network);
  // null: none.
  void SetDownloads(DownloadCenter* downloads) { m_downloads = downloads; }
  // Asks whether the files move with a changed download folder; the default shows ConfirmDlg.
  void SetConfirmer(Confirmer confirmer) { m_confirmer = std::move(confirmer); }
  // Copies even within one file system (tests take the cross-device path with it).
  void SetMoveMode(MoveMode mode) { m_moveMode = mode; }
  // A move of the downloads to the new folder is running.
  bool IsMovingFiles() const { return m_preparingMove || (m_mover && m_mover->IsRunning()); }

 private:
  bool AskWithDialog(TaskKind kind, std::int64_t size, const std::wstring& initial, std::wstring& chosen);
  void ApplyOptionRules();
  void ChangeDir();
  // The tip that tells why a folder cannot be used, or empty when it can.
  static std::wstring FolderProblem(const std::wstring& folder);
  void Tip(const std::wstring& text);
  bool Store();
  // Hands the switches to the downloads; tasks held for the network go once it is allowed.
  void ApplySwitches();
  // The files of the account's downloads in `from` may move to `to`: planned on a worker,
  // offered to the student, stored, then moved file by file.
  void OfferMove(const std::wstring& from, const std::wstring& to);
  void AskToMove(std::vector<PendingMove> plan);
  // Takes the stored plan (a new one, or one a crash or quit left): its tasks wait, running
  // ones let go of their files, then the mover runs.
  void StartStoredMove();
  void RunMover();
  void FinishMove(const MoveReport& report);

  WindowImplBase& m_window;
  DownSetConfig m_config;
  FolderAsker m_asker;
  HWND m_dialogOwner = kNoWindow;
  DownloadCenter* m_downloads = nullptr;
  Confirmer m_confirmer = AskWithConfirmDlg;
  MoveMode m_moveMode = MoveMode::Auto;
  BackgroundTask m_movePrep;
  bool m_preparingMove = false;  // m_movePrep plans a move or waits for transfers to stop
  std::unique_ptr<DownloadMover> m_mover;
  std::vector<PendingMove> m_moving;            // the files of the move in hand
  std::vector<DownloadTask> m_resumeAfterMove;  // downloads paused for the move
};

// A folder text as the settings keep it: ending with "/".
std::wstring WithTrailingSlash(std::wstring folder);
