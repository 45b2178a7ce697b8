#include "playback/OnlinePlayer.h"

#include <memory>
#include <optional>

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "mainwnd/MainDlg.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "platform/host/Host.h"
#include "playback/OverlayLayout.h"
#include "playback/PlaybackMessages.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoPlayDlg.h"

namespace {
std::wstring& Title() {
  static std::wstring title;
  return title;
}
}  // namespace

const std::wstring& CurrentPlayerTitle() { return Title(); }
void SetCurrentPlayerTitle(const std::wstring& title) { Title() = title; }

HWND FindOnlinePlayer() { return FindWindow(L"videoPlayDlgClass", CurrentPlayerTitle()); }

void OpenOnlinePlayer(const std::string& classId, const LessonRecord& lesson, DownloadCenter* downloads) {
  HWND open = FindOnlinePlayer();
  if (open != kNoWindow) {
    if (CWindowWnd* player = CWindowWnd::FromHandle(open)) player->BringToFront();
    SendMessage(open, WM_PLAYER_PLAY_LESSON, 0, 0,
                MakePayload<PlayLessonRequest>(PlayLessonRequest{classId, lesson}));
    return;
  }
  // One player at a time: the local one reports where the student was and goes first.
  if (auto* local = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindWindow(L"videoLocalPlayDlgClass", L"")))) {
    local->CloseThen([classId, lesson, downloads] { OpenOnlinePlayer(classId, lesson, downloads); });
    return;
  }
  LogNormal(L"PlayVideoOnLine classid:" + AnsiToWide(classId) + L" vid:" + AnsiToWide(lesson.video) +
            L" duration:" + AnsiToWide(lesson.learned_duration) + L"\n");
  auto player =
      std::make_unique<VideoPlayDlg>(classId, lesson.video, lesson.name, lesson, lesson.learned_duration, downloads);
  VideoPlayDlg* raw = player.get();
  if (raw->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 800, 600) == kNoWindow) {
    LogError(L"online player could not be created\n");
    return;
  }
  AdoptSelfOwned(std::move(player));
  // Positions a failed report kept from an earlier lesson or run go first.
  FlushUnsentProgress();
  ShowNewPlayer(*raw);
}

void ShowNewPlayer(VideoPlayDlg& player) {
  std::optional<CDuiRect> over;
  if (MainDlg* main = GetMainDlg(); main && main->IsWindowVisible() && !main->IsIconic())
    over = main->GetWindowRect();
  const HostRect area = GetHost().GetWorkArea();
  const CDuiRect now = player.GetWindowRect();
  player.MoveWindow(PlayerOpeningRect(over, {area.x, area.y, area.x + area.width, area.y + area.height},
                                      now.GetWidth(), now.GetHeight()));
  player.ShowWindow(true, true);
}
