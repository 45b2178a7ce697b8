// The local player.
#include "playback/VideoLocalPlayDlg.h"

#include <filesystem>

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTask.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlaybackMessages.h"
#include "playback/PlaybackPrefs.h"
#include "playback/PlayerScripts.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoRightDlg.h"
#include "web/LocalMediaShares.h"

namespace {

// The page asks for its media again (the window answers with the current lesson's file).
constexpr const wchar_t* kScriptReplayCurrent = L"replay()";

}  // namespace

VideoLocalPlayDlg::VideoLocalPlayDlg(LocalLesson lesson)
    : VideoPlayDlg(lesson.classId, lesson.lesson.video, lesson.lesson.name, lesson.lesson,
                   lesson.lesson.learned_duration),
      m_localPath(std::move(lesson.localPath)) {
  GetRightWindow()->SetLocalNeighbours([](const std::string& classId, const std::string& lessonId, bool next,
                                          std::string& newLessonId, std::string& newLearned) {
    std::optional<LocalLesson> neighbour = DownloadedNeighbour(classId, lessonId, next);
    if (!neighbour) return false;
    newLessonId = neighbour->lesson.id;
    newLearned = neighbour->lesson.learned_duration;
    return true;
  });
}

VideoLocalPlayDlg::~VideoLocalPlayDlg() { Unshare(); }

void VideoLocalPlayDlg::Unshare() {
  if (!m_address.empty()) ServedLocalMedia().Unshare(m_address);
  m_address.clear();
}

void VideoLocalPlayDlg::AnswerPlayAuth(const JsResponder& responder) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(m_localPath, ec)) {
    // The page shows its error panel ("no usable media"); the student may retry once the file is back.
    LogError(L"VideoLocalPlayDlg: no file at " + AnsiToWide(m_localPath));
    if (responder) responder(404, L"");
    return;
  }
  // A new address for every answer: the engine never plays an older file from its cache.
  Unshare();
  m_address = ServedLocalMedia().Share(m_localPath);
  const CDuiRect rc = GetWindowRect();
  const std::string answer = LocalMediaAnswer(GetVid(), m_address, rc.GetWidth(), rc.GetHeight(), GetLessonId(),
                                              GetClassId(), PageOptions{PlayerReconnectMs(), LoadPlaybackRate()});
  if (responder) responder(200, Utf8ToWide(answer));
}

void VideoLocalPlayDlg::ReplayWithFreshAuth() { RunScript(kScriptReplayCurrent); }

std::optional<LessonRecord> VideoLocalPlayDlg::FindSwitchLesson(const std::string& classId,
                                                                const std::string& lessonId) {
  std::optional<LocalLesson> lesson = DownloadedLesson(classId, lessonId);
  if (!lesson) return std::nullopt;
  m_localPath = lesson->localPath;
  return lesson->lesson;
}

LRESULT VideoLocalPlayDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                                               bool& bHandled) {
  if (msg == WM_LOCAL_PLAY_FILE) {
    bHandled = true;
    const auto* file = PayloadAs<LocalPlayFile>(payload);
    // The lesson already playing goes on where it is, unless a moment was asked for.
    if (file && (file->lesson.localPath != m_localPath || file->lesson.lesson.id != GetLessonId() ||
                 file->fromSecond > 0)) {
      m_localPath = file->lesson.localPath;
      PlayLesson(file->lesson.classId, file->lesson.lesson);
    }
    return 0;
  }
  return VideoPlayDlg::HandleCustomMessage(msg, wParam, lParam, payload, bHandled);
}

void VideoLocalPlayDlg::OnFinalMessage(HWND) {
  Unshare();
  RunAfterGone();
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

void OpenLocalPlayer(const DownloadTask& task, int64_t fromSecond) {
  LocalLesson lesson = LocalLessonOf(task);
  if (fromSecond > 0) lesson.lesson.learned_duration = std::to_string(fromSecond);
  HWND open = FindWindow(L"videoLocalPlayDlgClass", L"Tavo");
  if (open != kNoWindow) {
    if (CWindowWnd* window = CWindowWnd::FromHandle(open)) {
      if (window->IsIconic()) window->ShowWindow(true, true);
      window->BringToFront();
    }
    PostMessage(open, WM_LOCAL_PLAY_FILE, 0, 0, MakePayload<LocalPlayFile>(LocalPlayFile{std::move(lesson), fromSecond}));
    return;
  }
  // One player at a time: the online one reports where the student was and goes first.
  if (auto* online = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()))) {
    online->CloseThen([task, fromSecond] { OpenLocalPlayer(task, fromSecond); });
    return;
  }
  LogNormal(L"VideoLocalPlayDlg opens classid:" + AnsiToWide(lesson.classId) + L" lesson:" + AnsiToWide(lesson.lesson.id) +
            L" duration:" + AnsiToWide(lesson.lesson.learned_duration));
  auto dlg = std::make_unique<VideoLocalPlayDlg>(std::move(lesson));
  VideoLocalPlayDlg* raw = dlg.get();
  if (raw->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 800, 600) == kNoWindow) {
    LogError(L"the local player could not be created");
    return;
  }
  AdoptSelfOwned(std::move(dlg));
  // No round of the kept positions here: a downloaded lesson plays without the network, and
  // a round that cannot reach the school counts against the positions it holds. The sign-in,
  // the catch-up and the network coming back send them.
  ShowNewPlayer(*raw);
}
