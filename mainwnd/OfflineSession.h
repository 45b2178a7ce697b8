// What the main window does while the session runs without the school: the banner in the
// title bar follows the session's state, and an action that needs the school (playing a
// lesson online, the question page, editing the profile, a new download) gets a clear tip
// instead of an error. Downloaded lessons and documents open as always.
#pragma once

#include <string>

class OfflineBanner;
class OfflineState;
class WindowImplBase;

enum class OnlineAction { PlayOnline, QuestionPage, ProfileEdit, NewDownload };

// The tip an action gets while offline.
const wchar_t* OfflineTipOf(OnlineAction action);

class OfflineSession {
 public:
  OfflineSession(WindowImplBase& window, OfflineState& state);
  ~OfflineSession();
  OfflineSession(const OfflineSession&) = delete;
  OfflineSession& operator=(const OfflineSession&) = delete;

  bool IsOffline() const;
  // Offline: shows the action's tip and returns true (the caller stops there).
  bool Refuse(OnlineAction action) const;

 private:
  void OnChanged(bool offline);

  WindowImplBase& m_window;
  OfflineState& m_state;
  int m_observer = 0;
};
