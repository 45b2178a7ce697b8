// The online player: the lesson video plays in the player page (served by the local web
// server) inside a browser control; four layers float over it (title bar, side panel, end
// panel, error panel). The page reports through the bridge (1524..1536) and the window
// drives it with script calls. The learned position goes to the service on a pause, before
// a switch of lesson and on close; service requests run off the main thread and their
// answers come back as WM_PLAYER_TASK_DONE. One player exists at a time (OnlinePlayer.h).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "browser/JsFunctionTable.h"
#include "mainwnd/NoteEditDlg.h"
#include "playback/PlayerScripts.h"
#include "service/Records.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class CefNativeControl;
class PlayerDesktop;
class VideoErrorDlg;
class VideoPlayEndDlg;
class VideoRightDlg;
class VideoTitleDlg;

// Payload of 1046: the lesson to switch to.
struct PlayLessonRequest {
  std::string classId;
  LessonRecord lesson;
};
// Payload of 1043 and 1045: (class id, lesson id).
using LessonSwitch = std::pair<std::string, std::string>;

// Alt+Ctrl+Shift+I: the page's developer tools.
constexpr int kPlayerHotKeyId = 1027;
// Ctrl+B: a bookmark at the moment playing.
constexpr int kPlayerNoteHotKeyId = 1028;

class VideoPlayDlg : public WindowImplBase {
 public:
  VideoPlayDlg(std::string classId, std::string vid, std::string title, LessonRecord lesson,
               std::string learnedDuration);
  ~VideoPlayDlg() override;
  std::wstring GetWindowClassName() const override { return L"videoPlayDlgClass"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

  // The player page's address on the local web server.
  static std::wstring PageUrl();

  // Where the script calls go: the page in the browser control by default. Without either
  // the window has no page, and closing it reports nothing.
  void SetScriptSink(std::function<void(const std::wstring&)> sink) { m_runScript = std::move(sink); }

  const std::string& GetClassId() const { return m_classId; }
  const std::string& GetVid() const { return m_vid; }
  const std::string& GetLessonId() const { return m_lessonId; }
  const std::string& GetLearnedDuration() const { return m_learnedDuration; }
  const std::string& GetPendingDuration() const { return m_pendingDuration; }
  bool IsEnded() const { return m_ended; }
  bool IsSwitching() const { return m_switching; }
  bool IsClosing() const { return m_closing; }
  bool IsFullScreen() const { return m_fullScreen; }
  bool IsErrorShown() const { return m_errorShown; }
  bool IsStarted() const { return m_started; }
  VideoTitleDlg* GetTitleWindow() const { return m_titleWnd.get(); }
  VideoRightDlg* GetRightWindow() const { return m_rightWnd.get(); }
  VideoPlayEndDlg* GetEndWindow() const { return m_endWnd.get(); }
  VideoErrorDlg* GetErrorWindow() const { return m_errorWnd.get(); }
  // Keeps a bookmark of the lesson at the moment playing, with the note the student gives
  // (the video pauses while asked). The side panel's "书  签" and Ctrl+B come here.
  void AddBookmark();
  // How the note is asked for; tests answer in place of the dialog.
  void SetNoteAsker(NoteAsker asker) { m_noteAsker = std::move(asker); }
  // The moment playing now, in whole seconds, as last reported by the page.
  int64_t CurrentSecond() const;
  // The screen kept awake and the media controls; none before the window exists.
  PlayerDesktop* GetDesktop() const { return m_desktop.get(); }

 protected:
  std::wstring GetSkinFile() override { return L"video_play_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void RunScript(const std::wstring& script);
  void LayoutOverlays();
  void LayoutOverlays(const CDuiRect& rc);
  bool CoversScreen(const CDuiRect& rc) const;
  void ShowPlayingOverlays();
  void HideOverlays();
  void ShowButtonsUnlessFullScreen();

  void OnBridgeCall(UINT msg, const JsCallMessage& call);
  void AnswerPlayAuth(const JsResponder& responder);
  void OnProgress(const std::wstring& params, bool pause);
  void OnProgressReported(bool accepted, const ProgressReport& report, bool pause, int64_t kept);
  void AfterCurrentTime();
  void ReplayWithFreshAuth();
  void OnPlayState(const std::wstring& params);
  void OnSetPlaybackRate(const std::wstring& params);
  void OnPlayStart();
  void OnPlayEnd();
  void OnPlayError(const std::wstring& params);
  void OnEndChoice(int choice);
  void OnMouseEnter();
  void OnMouseLeave();
  void OnMouseMove();
  void OnIdle();
  void OnDrag(const std::wstring& params);
  void OnPageClick();
  void EnterFullScreen();
  void LeaveFullScreen();
  void SwitchTo(const std::string& classId, const std::string& vid, const std::string& title,
                const std::string& lessonId);
  void SetLessonTitle(const std::string& title);
  // A bridge text that is no JSON object: logged, then the window goes (after the call).
  void DestroyOnMalformed(const wchar_t* logLine);
  void FinishClose();

  CefNativeControl* m_browser = nullptr;
  std::function<void(const std::wstring&)> m_runScript;
  std::int64_t m_browserId = 0;

  std::string m_vid;
  std::string m_classId;
  std::string m_title;
  std::string m_lessonId;
  LessonRecord m_lesson;
  std::string m_learnedDuration;
  std::string m_pendingDuration;
  std::string m_playAuth;

  std::unique_ptr<VideoTitleDlg> m_titleWnd;
  std::unique_ptr<VideoRightDlg> m_rightWnd;
  std::unique_ptr<VideoPlayEndDlg> m_endWnd;
  std::unique_ptr<VideoErrorDlg> m_errorWnd;
  std::unique_ptr<PlayerDesktop> m_desktop;
  NoteAsker m_noteAsker = &AskWithNoteEditDlg;

  bool m_fullScreen = false;
  bool m_ended = false;
  bool m_closing = false;
  bool m_errorShown = false;
  bool m_started = false;
  bool m_exitAfterClose = false;
  bool m_switching = false;
  bool m_switchReplayed = false;  // the new video of this switch was asked for
  bool m_mouseLeft = false;
  bool m_destroying = false;
  CDuiRect m_savedRect;
  CDuiRect m_windowedRect;  // the last place the window had out of full screen
  int m_windowedAgain = 0;
  CDuiPoint m_lastCursor;
};
