#include "playback/VideoPlayDlg.h"

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/CefNativeControl.h"
#include "mainwnd/LessonMarkClear.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/NoteTaking.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "playback/OnlinePlayer.h"
#include "playback/OverlayLayout.h"
#include "playback/PlayState.h"
#include "playback/PlayerDesktop.h"
#include "playback/PlaybackMessages.h"
#include "playback/PlaybackPrefs.h"
#include "playback/PlayerCatalogue.h"
#include "playback/PlayerScripts.h"
#include "playback/PlayerServices.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoErrorDlg.h"
#include "playback/VideoPlayEndDlg.h"
#include "playback/VideoRightDlg.h"
#include "playback/VideoTitleDlg.h"
#include "ui/Control.h"
#include "ui/Dialogs.h"
#include "web/WebRouterListenThread.h"

namespace {

// Destroys the window after the bridge call that found a malformed text has returned.
constexpr UINT WM_PLAYER_DESTROY = 1096;
// The page never answered "getPlayCurrentTime" before a switch: play the new lesson anyway.
constexpr UINT kPlayerSwitchTimer = 1081;
constexpr UINT kPlayerSwitchLimitMs = 3000;
// After leaving full screen the windowed place is checked again a few times: a window
// manager that fullscreened the window itself restores its own idea of the place after ours.
constexpr UINT kPlayerWindowedAgainTimer = 1082;
constexpr UINT kPlayerWindowedAgainMs = 250;
constexpr int kPlayerWindowedAgainTimes = 4;
constexpr UINT kVirtualKeyI = 73;
constexpr UINT kVirtualKeyB = 66;
// A replay from the end panel starts, and is remembered, at the beginning.
const std::string kReplayFrom = "0";

std::wstring W(const std::string& text) { return AnsiToWide(text); }

}  // namespace

VideoPlayDlg::VideoPlayDlg(std::string classId, std::string vid, std::string title, LessonRecord lesson,
                           std::string learnedDuration)
    : m_vid(std::move(vid)),
      m_classId(std::move(classId)),
      m_title(std::move(title)),
      m_lessonId(lesson.id),
      m_lesson(std::move(lesson)),
      m_learnedDuration(std::move(learnedDuration)) {
  m_titleWnd = std::make_unique<VideoTitleDlg>(W(m_title));
  m_rightWnd = std::make_unique<VideoRightDlg>(m_classId, m_vid, m_lessonId);
  m_endWnd = std::make_unique<VideoPlayEndDlg>();
  m_errorWnd = std::make_unique<VideoErrorDlg>();
}

VideoPlayDlg::~VideoPlayDlg() = default;

std::wstring VideoPlayDlg::PageUrl() {
  return L"http://127.0.0.1:" + std::to_wstring(LocalWebServerPort()) + L"/index.html";
}

std::unique_ptr<CControlUI> VideoPlayDlg::CreateControl(const std::wstring& tag) {
  std::unique_ptr<CControlUI> control = CefNativeControl::CreateForWindow(tag, m_hWnd, m_browser);
  if (control && m_browser) {
    m_browser->SetTakesKeyboardOnLoad(true);
    m_runScript = [this](const std::wstring& script) {
      if (m_browser) m_browser->ExecuteJavaScript(m_browserId, script);
    };
  }
  return control;
}

void VideoPlayDlg::InitWindow() {
  SetIcon(102);
  if (m_browser) m_browser->LoadURL(PageUrl());
  m_titleWnd->Create(m_hWnd, L"Tavo", WS_POPUP, 0);
  m_rightWnd->Create(m_hWnd, L"Tavo", WS_POPUP, 0);
  m_endWnd->Create(m_hWnd, L"Tavo", WS_POPUP, 0);
  m_errorWnd->Create(m_hWnd, L"Tavo", WS_POPUP, 0);
  LayoutOverlays();
  m_endWnd->ShowWindow(false, false);
  m_titleWnd->ShowLabel(false);
  m_titleWnd->ShowButtons(false);
  m_titleWnd->ShowWindow(true, false);
  m_rightWnd->ShowWindow(false, false);
  m_errorWnd->ShowWindow(false, false);
  PlayerDesktop::Commands commands;
  commands.play = [this] { RunScript(kScriptPlayerPlay); };
  commands.pause = [this] { RunScript(kScriptPlayerPause); };
  commands.playPause = [this] { RunScript(kScriptPlayerToggle); };
  commands.next = [this] { m_rightWnd->PlayNext(); };
  commands.previous = [this] { m_rightWnd->PlayPrevious(); };
  commands.seekTo = [this](double seconds) { RunScript(ScriptPlayerSeekTo(seconds)); };
  commands.raise = [this] {
    ShowWindow(true, true);
    BringToFront();
  };
  m_desktop = std::make_unique<PlayerDesktop>(std::move(commands));
  SetLessonTitle(m_title);
  RegisterHotKey(kPlayerHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, kVirtualKeyI);
  RegisterHotKey(kPlayerNoteHotKeyId, MOD_CONTROL, kVirtualKeyB);
  m_rightWnd->SetAddNoteHandler([this] { AddBookmark(); });
}

int64_t VideoPlayDlg::CurrentSecond() const {
  return m_desktop ? m_desktop->Mpris().PositionUs() / 1'000'000 : 0;
}

void VideoPlayDlg::AddBookmark() {
  if (m_lessonId.empty()) return;
  Note draft;
  draft.kind = NoteKind::Lesson;
  draft.itemId = m_lessonId;
  draft.classId = m_classId;
  draft.title = AnsiToUtf8(m_title);
  draft.position = CurrentSecond();
  // The lecture waits while the student writes, and goes on afterwards.
  const bool playing = m_desktop && m_desktop->KeepsScreenAwake();
  if (playing) RunScript(kScriptPlayerPause);
  const HWND self = m_hWnd;
  TakeNote(self, std::move(draft), m_noteAsker);
  if (playing && CWindowWnd::FromHandle(self) == this) RunScript(kScriptPlayerPlay);
}

void VideoPlayDlg::SetLessonTitle(const std::string& title) {
  m_title = title;
  SetWindowText(W(title));
  SetCurrentPlayerTitle(W(title));
  m_titleWnd->SetTitle(W(title));
  if (m_desktop) m_desktop->SetLesson(m_lessonId, AnsiToUtf8(title));
}

void VideoPlayDlg::RunScript(const std::wstring& script) {
  if (m_runScript) m_runScript(script);
}

// ---- Overlays ---------------------------------------------------------------------------

void VideoPlayDlg::LayoutOverlays() {
  const CDuiRect rc = GetWindowRect();
  if (!m_fullScreen && !CoversScreen(rc)) m_windowedRect = rc;
  LayoutOverlays(rc);
}

bool VideoPlayDlg::CoversScreen(const CDuiRect& rc) const {
  HostRect area = GetHost().GetWorkArea();
  return rc.left <= area.x && rc.top <= area.y && rc.right >= area.x + area.width &&
         rc.bottom >= area.y + area.height;
}

void VideoPlayDlg::LayoutOverlays(const CDuiRect& rc) {
  OverlayLayout layout = ComputeOverlayLayout(rc);
  if (m_titleWnd->GetHWND() != kNoWindow) m_titleWnd->MoveWindow(layout.title);
  if (m_rightWnd->GetHWND() != kNoWindow) m_rightWnd->MoveWindow(layout.right);
  if (m_endWnd->GetHWND() != kNoWindow) m_endWnd->MoveWindow(layout.end);
  if (m_errorWnd->GetHWND() != kNoWindow) m_errorWnd->MoveWindow(layout.error);
}

void VideoPlayDlg::ShowButtonsUnlessFullScreen() { m_titleWnd->ShowButtons(!m_fullScreen); }

void VideoPlayDlg::ShowPlayingOverlays() {
  m_titleWnd->ShowLabel(true);
  ShowButtonsUnlessFullScreen();
  m_rightWnd->ShowWindow(true, false);
}

void VideoPlayDlg::HideOverlays() {
  m_titleWnd->ShowLabel(false);
  m_titleWnd->ShowButtons(false);
  m_rightWnd->ShowWindow(false, false);
}

void VideoPlayDlg::OnMouseEnter() {
  m_mouseLeft = false;
  if (!m_started) return;
  if (m_ended) {
    m_endWnd->ShowWindow(true, false);
    ShowButtonsUnlessFullScreen();
  } else {
    ShowPlayingOverlays();
  }
}

void VideoPlayDlg::OnMouseLeave() {
  if (m_ended) {
    if (m_endWnd->IsWindowVisible()) m_endWnd->ShowWindow(true, false);
    return;
  }
  HideOverlays();
}

void VideoPlayDlg::OnMouseMove() {
  CDuiPoint cursor = GetCursorScreenPos();
  bool moved = cursor.x != m_lastCursor.x && cursor.y != m_lastCursor.y;
  if (moved && m_lastCursor.x != 0 && m_lastCursor.y != 0) {
    if (!m_ended) ShowPlayingOverlays();
  } else if (m_mouseLeft) {
    if (!m_ended) ShowPlayingOverlays();
    m_mouseLeft = false;
  }
  SetTimer(m_hWnd, kPlayerIdleTimer, kPlayerIdleMs);
}

void VideoPlayDlg::OnIdle() {
  KillTimer(m_hWnd, kPlayerIdleTimer);
  HideOverlays();
  m_lastCursor = GetCursorScreenPos();
}

// ---- Bridge -----------------------------------------------------------------------------

void VideoPlayDlg::OnBridgeCall(UINT msg, const JsCallMessage& call) {
  std::wstring_view name;
  for (const auto& entry : JsFunctionTable) {
    if (entry.message == msg) name = entry.name;
  }
  if (name == L"getVidAndPlayAuth") {
    AnswerPlayAuth(call.responder);
  } else if (name == L"mouseEnter") {
    OnMouseEnter();
  } else if (name == L"mouseLeave") {
    OnMouseLeave();
  } else if (name == L"setPlayCurrentTime") {
    OnProgress(call.params, false);
  } else if (name == L"mousePlayerDrag") {
    OnDrag(call.params);
  } else if (name == L"playVideoEnd") {
    OnPlayEnd();
  } else if (name == L"playError") {
    OnPlayError(call.params);
  } else if (name == L"playVideoStart") {
    OnPlayStart();
  } else if (name == L"onLButtonDown") {
    OnPageClick();
  } else if (name == L"playVideoFullScreen") {
    EnterFullScreen();
  } else if (name == L"playVideoCancelFullScreen") {
    LeaveFullScreen();
  } else if (name == L"mouseMove") {
    OnMouseMove();
  } else if (name == L"pauseVideo") {
    OnProgress(call.params, true);
  } else if (name == L"playState") {
    OnPlayState(call.params);
  } else if (name == L"setPlaybackRate") {
    OnSetPlaybackRate(call.params);
  }
}

void VideoPlayDlg::AnswerPlayAuth(const JsResponder& responder) {
  std::string vid = m_vid;
  std::string lessonId = m_lessonId;
  std::string classId = m_classId;
  auto fetch = GetPlayerServices().fetchPlayAuth;
  RunPlayerTask(m_hWnd, [this, vid, lessonId, classId, fetch, responder]() -> std::function<void()> {
    std::string auth = fetch ? fetch(vid) : "";
    PageOptions options{PlayerReconnectMs(), LoadPlaybackRate()};
    return [this, vid, lessonId, classId, auth, responder, options] {
      m_playAuth = auth;
      CDuiRect rc = GetWindowRect();
      std::string answer = PlayAuthAnswer(vid, auth, rc.GetWidth(), rc.GetHeight(), lessonId, classId, options);
      if (responder) responder(200, Utf8ToWide(answer));
    };
  });
}

void VideoPlayDlg::OnPlayState(const std::wstring& params) {
  std::optional<PlayStateReport> report = ParsePlayState(params);
  if (!report) {
    LogError(L"VideoPlayDlg playState not understood: " + params + L"\n");
    return;
  }
  LogNormal(L"VideoPlayDlg playState " + Utf8ToWide(PlayStateName(report->state)) + L" vid:" + W(m_vid) +
            L" time:" + std::to_wstring(static_cast<int64_t>(report->seconds)) + L"\n");
  if (m_desktop) m_desktop->OnPlayState(*report);
}

void VideoPlayDlg::OnSetPlaybackRate(const std::wstring& params) {
  std::optional<double> rate = ParsePlaybackRate(params);
  if (!rate) {
    LogError(L"VideoPlayDlg setPlaybackRate refused: " + params + L"\n");
    return;
  }
  // Kept off the main thread: the settings store is a file.
  const double chosen = *rate;
  RunPlayerTask(m_hWnd, [chosen]() -> std::function<void()> {
    if (!StorePlaybackRate(chosen)) LogError(L"playback rate not kept\n");
    return nullptr;
  });
}

void VideoPlayDlg::DestroyOnMalformed(const wchar_t* logLine) {
  LogError(std::wstring(logLine) + L"\n");
  if (m_destroying) return;
  m_destroying = true;
  PostMessage(m_hWnd, WM_PLAYER_DESTROY);
}

void VideoPlayDlg::OnProgress(const std::wstring& params, bool pause) {
  std::optional<ProgressReport> report = ParseProgressReport(params);
  if (!report) {
    DestroyOnMalformed(pause ? L"WM_JS_PAUSE_VIDEO parse false" : L"WM_JS_SET_PLAY_CURRENT_TIME parse false");
    return;
  }
  // A page that does not name the lesson reports the one this window plays (its video alone
  // cannot say which: lessons may share one).
  if (report->lessonId.empty() && (report->vid.empty() || report->vid == m_vid)) {
    report->lessonId = m_lessonId;
    if (report->classId.empty()) report->classId = m_classId;
    report->vid = m_vid;
  }
  std::string seconds = std::to_string(report->seconds);
  if (pause) {
    LogNormal(L"OnJsPlayCurrentTime enter\n");
    m_learnedDuration = seconds;
  }
  auto send = GetPlayerServices().reportProgress;
  ProgressReport r = *report;
  // Kept before it goes: a crash before the service answers must not lose the position.
  const int64_t kept = KeepBeforeSending(r.lessonId, r.classId, r.vid, seconds);
  RunPlayerTask(m_hWnd, [this, send, r, seconds, pause, kept]() -> std::function<void()> {
    bool accepted = send && send(seconds, r.lessonId);
    return [this, accepted, r, pause, kept] { OnProgressReported(accepted, r, pause, kept); };
  });
}

void VideoPlayDlg::OnProgressReported(bool accepted, const ProgressReport& report, bool pause, int64_t kept) {
  std::string text = std::to_string(report.seconds);
  ProgressSendingEnded(kept, accepted);
  if (accepted) {
    m_learnedDuration = text;
    if (!pause) {
      LogNormal(L"UpdateLearnProgress classid:" + W(report.classId) + L" vid:" + W(report.vid) +
                L" duration:" + W(text) + L"\n");
    }
    // The service is reachable again: what it missed before goes now.
    FlushUnsentProgress();
  } else {
    // The position is kept and sent again later; the list shows it meanwhile.
    LogError(L"learning progress not accepted, kept vid:" + W(report.vid) + L" duration:" + W(text) + L"\n");
    KeepUnsentProgress(report.lessonId, report.classId, report.vid, text);
  }
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  if (catalogue.showProgress) catalogue.showProgress(report.classId, report.lessonId, report.seconds);
  if (catalogue.storeLearned) catalogue.storeLearned(report.classId, report.lessonId, text);
  if (!pause) AfterCurrentTime();
}

void VideoPlayDlg::AfterCurrentTime() {
  if (m_switching && !m_switchReplayed) {
    KillTimer(m_hWnd, kPlayerSwitchTimer);
    m_switchReplayed = true;
    ReplayWithFreshAuth();
  }
  if (m_closing) FinishClose();
}

void VideoPlayDlg::ReplayWithFreshAuth() {
  std::string vid = m_vid;
  auto fetch = GetPlayerServices().fetchPlayAuth;
  RunPlayerTask(m_hWnd, [this, vid, fetch]() -> std::function<void()> {
    std::string auth = fetch ? fetch(vid) : "";
    return [this, vid, auth] {
      // A later switch already asked for its own video.
      if (vid != m_vid) return;
      m_playAuth = auth;
      RunScript(ScriptReplay(vid, auth));
    };
  });
}

void VideoPlayDlg::OnPlayStart() {
  LogNormal(L"VideoPlayDlg playVideoStart vid:" + W(m_vid) + L"\n");
  m_started = true;
  ShowPlayingOverlays();
  m_endWnd->ShowWindow(false, false);
  m_errorWnd->ShowWindow(false, false);
  m_errorShown = false;
  if (m_fullScreen) return;
  if (m_ended) {
    m_ended = false;
    m_learnedDuration.clear();
  }
  if (!m_switching) {
    RunScript(ScriptSeek(m_learnedDuration));
  } else {
    RunScript(ScriptSeek(m_pendingDuration));
    m_learnedDuration = m_pendingDuration;
    m_switching = false;
  }
}

void VideoPlayDlg::OnPlayEnd() {
  m_ended = true;
  m_titleWnd->ShowLabel(false);
  ShowButtonsUnlessFullScreen();
  m_rightWnd->ShowWindow(false, false);
  m_endWnd->ShowWindow(true, false);
  LogNormal(L"VideoPlayDlg::OnJsPlayVideoEnd enter\n");
}

void VideoPlayDlg::OnEndChoice(int choice) {
  if (choice == 1) {
    m_switching = false;
    m_learnedDuration = kReplayFrom;
    const PlayerCatalogue& catalogue = GetPlayerCatalogue();
    if (catalogue.storeLearned) catalogue.storeLearned(m_classId, m_lessonId, kReplayFrom);
    RunScript(kScriptPlayerReplay);
  } else {
    bool found = choice == 2 ? m_rightWnd->PlayNext() : m_rightWnd->PlayPrevious();
    if (!found) return;
  }
  m_ended = false;
  ShowPlayingOverlays();
  m_endWnd->ShowWindow(false, false);
  m_errorWnd->ShowWindow(false, false);
}

void VideoPlayDlg::OnPlayError(const std::wstring& params) {
  std::optional<int64_t> code = ParseIntegerMember(params, "error_code");
  if (!code) {
    DestroyOnMalformed(L"WM_JS_PLAY_VDIEO_ERROR parse false");
    return;
  }
  LogError(L"VideoPlayDlg playError vid:" + W(m_vid) + L" code:" + std::to_wstring(*code) + L"\n");
  HideOverlays();
  m_endWnd->ShowWindow(false, false);
  m_errorWnd->SetCode(std::to_wstring(*code));
  m_errorWnd->ShowWindow(true, false);
  m_errorShown = true;
}

void VideoPlayDlg::OnDrag(const std::wstring& params) {
  std::optional<int64_t> drag = ParseIntegerMember(params, "drag");
  if (!drag) {
    DestroyOnMalformed(L"WM_JS_PLAYER_DRAG parse false");
    return;
  }
  CDuiPoint cursor = GetCursorScreenPos();
  if (*drag == 0) {
    m_lastCursor = cursor;
  } else if (*drag == 1 && !m_fullScreen) {
    // The page reports drag 1 only while its left button is held.
    if (cursor.x == m_lastCursor.x && cursor.y == m_lastCursor.y) return;
    KillTimer(m_hWnd, kPlayerWindowedAgainTimer);  // the student places the window now
    CDuiRect rc = GetWindowRect();
    int dx = cursor.x - m_lastCursor.x;
    int dy = cursor.y - m_lastCursor.y;
    MoveWindow({rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy});
    LayoutOverlays();
    m_lastCursor = cursor;
  }
}

void VideoPlayDlg::OnPageClick() {
  if (!m_endWnd->IsWindowVisible()) return;
  CDuiPoint cursor = GetCursorScreenPos();
  int choice = m_endWnd->HitTest(cursor.x, cursor.y);
  if (choice >= 0) PostMessage(m_hWnd, WM_PLAYER_END_CHOICE, static_cast<WPARAM>(choice));
}

void VideoPlayDlg::EnterFullScreen() {
  if (m_fullScreen) return;
  KillTimer(m_hWnd, kPlayerWindowedAgainTimer);
  // The engine may have made the window cover the screen before the page said so: then the
  // place to come back to is the last windowed one.
  const CDuiRect now = GetWindowRect();
  m_savedRect = CoversScreen(now) && !m_windowedRect.IsEmpty() ? m_windowedRect : now;
  HostRect area = GetHost().GetWorkArea();
  MoveWindow({area.x, area.y, area.x + area.width, area.y + area.height});
  LayoutOverlays();
  m_titleWnd->ShowButtons(false);
  m_fullScreen = true;
}

void VideoPlayDlg::LeaveFullScreen() {
  if (!m_fullScreen) return;
  m_fullScreen = false;
  MoveWindow(m_savedRect);
  LayoutOverlays();
  m_titleWnd->ShowButtons(true);
  m_windowedAgain = kPlayerWindowedAgainTimes;
  SetTimer(m_hWnd, kPlayerWindowedAgainTimer, kPlayerWindowedAgainMs);
}

// ---- Switching and closing -------------------------------------------------------------

void VideoPlayDlg::SwitchTo(const std::string& classId, const std::string& vid, const std::string& title,
                            const std::string& lessonId) {
  RunScript(ScriptGetPlayCurrentTime(m_lessonId, m_classId, m_vid));
  m_switching = true;
  m_switchReplayed = false;
  m_classId = classId;
  m_vid = vid;
  m_lessonId = lessonId;
  SetLessonTitle(title);
  m_rightWnd->SetLesson(m_classId, m_vid, m_lessonId);
  // A page that never answers would leave the old video playing under the new title.
  SetTimer(m_hWnd, kPlayerSwitchTimer, kPlayerSwitchLimitMs);
}

LRESULT VideoPlayDlg::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  if (!m_runScript) {
    FinishClose();  // no page to ask: the window closes at once
    return 0;
  }
  if (m_closing) return 0;
  m_closing = true;
  RunScript(ScriptGetPlayCurrentTime(m_lessonId, m_classId, m_vid));
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  if (catalogue.markLesson) catalogue.markLesson(m_classId, m_lessonId);
  if (MainDlg* main = GetMainDlg()) {
    SendMessage(main->GetHWND(), WM_LESSON_MARK_CLEAR, 0, 0,
                MakePayload<LessonMarkClear>(LessonMarkClear{m_classId, m_lessonId}));
    PostMessage(main->GetHWND(), WM_ACTIVATE_MAIN);
  }
  // The student must never be left with a window that will not close.
  SetTimer(m_hWnd, kPlayerCloseTimer, kPlayerCloseLimitMs);
  return 0;
}

void VideoPlayDlg::FinishClose() {
  KillTimer(m_hWnd, kPlayerCloseTimer);
  bool exitAfter = m_exitAfterClose;
  DestroyWindow();
  // The main window asked to close while the player was open: it closes now that the
  // player is gone, which runs its sign-out cleanup and ends the program.
  if (exitAfter) {
    if (MainDlg* main = GetMainDlg()) PostMessage(main->GetHWND(), WM_CLOSE);
  }
}

LRESULT VideoPlayDlg::OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  for (CWindowWnd* overlay : std::initializer_list<CWindowWnd*>{m_titleWnd.get(), m_rightWnd.get(),
                                                                m_endWnd.get(), m_errorWnd.get()}) {
    if (overlay->GetHWND() != kNoWindow) overlay->DestroyWindow();
  }
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
  m_runScript = nullptr;
  // The screen may sleep again and the media controls forget the player.
  m_desktop.reset();
  return WindowImplBase::OnDestroy(msg, wParam, lParam, bHandled);
}

void VideoPlayDlg::OnFinalMessage(HWND) {
  // The next play starts a fresh player: nothing may find this one any more.
  SetCurrentPlayerTitle(L"");
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

LRESULT VideoPlayDlg::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  LayoutOverlays();
  bHandled = false;
  return 0;
}

LRESULT VideoPlayDlg::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  bHandled = true;
  if (wParam == SC_CLOSE) {
    PostMessage(m_hWnd, WM_CLOSE);
    return 0;
  }
  LRESULT result = CWindowWnd::HandleMessage(msg, wParam, lParam, {});
  LayoutOverlays();
  return result;
}

LRESULT VideoPlayDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                                          bool& bHandled) {
  bHandled = true;
  if (msg >= WM_JS_FIRST && msg <= WM_JS_LAST) {
    if (auto* call = PayloadAs<JsCallMessage>(payload)) OnBridgeCall(msg, *call);
    return 0;
  }
  switch (msg) {
    case WM_PLAYER_TASK_DONE:
      if (auto* done = PayloadAs<PlayerTaskDone>(payload); done && done->then) done->then();
      return 0;
    case WM_PLAYER_DESTROY:
      DestroyWindow();
      return 0;
    case WM_PLAYER_MINIMIZE:
      PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE);
      return 0;
    case WM_PLAYER_MAXIMIZE:
    case WM_PLAYER_RESTORE: {
      SendMessage(m_hWnd, WM_SYSCOMMAND, msg == WM_PLAYER_MAXIMIZE ? SC_MAXIMIZE : SC_RESTORE);
      CDuiRect rc = GetWindowRect();
      RunScript(ScriptSetPrismPlayerSize(rc.GetWidth(), rc.GetHeight()));
      return 0;
    }
    case WM_PLAYER_CLOSE:
      if (wParam == 1) m_exitAfterClose = true;
      PostMessage(m_hWnd, WM_CLOSE);
      return 0;
    case WM_BROWSER_CREATED:
      m_browserId = static_cast<std::int64_t>(wParam);
      return 0;
    case WM_BROWSER_LOAD_END:
      return 0;
    case WM_PLAYER_PREV_LESSON:
    case WM_PLAYER_NEXT_LESSON:
      if (auto* target = PayloadAs<LessonSwitch>(payload)) {
        const PlayerCatalogue& catalogue = GetPlayerCatalogue();
        std::optional<LessonRecord> lesson;
        if (catalogue.findLesson) lesson = catalogue.findLesson(target->first, target->second);
        if (!lesson) {
          LogError(L"no lesson " + W(target->second) + L" to switch to\n");
          return 0;
        }
        SwitchTo(target->first, lesson->video, lesson->name, lesson->id);
      }
      return 0;
    case WM_PLAYER_PLAY_LESSON:
      if (auto* request = PayloadAs<PlayLessonRequest>(payload)) {
        m_pendingDuration = request->lesson.learned_duration;
        LogNormal(L"new duration:" + W(m_pendingDuration) + L"\n");
        m_lesson = request->lesson;
        SwitchTo(request->classId, request->lesson.video, request->lesson.name, request->lesson.id);
      }
      return 0;
    case WM_PLAYER_END_CHOICE:
      OnEndChoice(static_cast<int>(wParam));
      return 0;
    case WM_PLAYER_MOUSE_LEFT:
      OnMouseLeave();
      m_mouseLeft = true;
      return 0;
    case WM_PLAYER_MOUSE_HOVER:
      OnMouseEnter();
      return 0;
    case WM_PLAYER_RETRY:
      m_switching = false;
      // A fresh authorisation: the one that failed may have expired.
      ReplayWithFreshAuth();
      return 0;
    case WM_PLAYER_PENDING_DURATION:
      if (auto* learned = PayloadAs<std::string>(payload)) m_pendingDuration = *learned;
      return 0;
    case WM_PLAYER_MOVE_TO: {
      KillTimer(m_hWnd, kPlayerWindowedAgainTimer);
      CDuiRect rc = GetWindowRect();
      int left = static_cast<int>(wParam);
      int top = static_cast<int>(lParam);
      MoveWindow({left, top, left + rc.GetWidth(), top + rc.GetHeight()});
      LayoutOverlays();
      return 0;
    }
    case WM_PLAYER_PAUSE:
      RunScript(kScriptPlayerPause);
      return 0;
    case WM_PLAYER_RESUME:
      RunScript(kScriptPlayerPlay);
      return 0;
    case WM_HOTKEY:
      if (wParam == kPlayerHotKeyId && m_browser) m_browser->ShowDevTools();
      if (wParam == kPlayerNoteHotKeyId) AddBookmark();
      return 0;
    case WM_TIMER:
      if (wParam == kPlayerIdleTimer) {
        OnIdle();
      } else if (wParam == kPlayerCloseTimer) {
        LogError(L"VideoPlayDlg closes without a progress report: the page did not answer\n");
        FinishClose();
      } else if (wParam == kPlayerSwitchTimer) {
        KillTimer(m_hWnd, kPlayerSwitchTimer);
        LogError(L"VideoPlayDlg switches without a progress report: the page did not answer\n");
        if (m_switching && !m_switchReplayed) {
          m_switchReplayed = true;
          ReplayWithFreshAuth();
        }
      } else if (wParam == kPlayerWindowedAgainTimer) {
        const CDuiRect rc = GetWindowRect();
        if (!m_fullScreen && (rc.left != m_savedRect.left || rc.top != m_savedRect.top ||
                              rc.GetWidth() != m_savedRect.GetWidth() || rc.GetHeight() != m_savedRect.GetHeight())) {
          MoveWindow(m_savedRect);
          LayoutOverlays();
        }
        if (m_fullScreen || --m_windowedAgain <= 0) KillTimer(m_hWnd, kPlayerWindowedAgainTimer);
      } else if (wParam == kPlayerFullScreenClickTimer) {
        KillTimer(m_hWnd, kPlayerFullScreenClickTimer);
      } else {
        bHandled = false;
      }
      return 0;
    default:
      bHandled = false;
      return 0;
  }
}
