// Keeps the desktop from blanking the screen (Idle) or the computer from suspending
// (Suspend) while an inhibit is held. Idle asks the session bus's screen saver
// (org.freedesktop.ScreenSaver.Inhibit, then GNOME's session manager); Suspend asks logind on
// the system bus for a "sleep" inhibitor lock (then GNOME's session manager). Every call is
// asynchronous, so the main thread never waits for a bus; without a bus or a service nothing
// is held and one line is logged. Main thread only; the inhibit goes with the object.
#pragma once

#include <memory>
#include <string>

enum class InhibitKind { Idle, Suspend };

class Inhibitor {
 public:
  Inhibitor(InhibitKind kind, std::string reason);
  ~Inhibitor();
  Inhibitor(const Inhibitor&) = delete;
  Inhibitor& operator=(const Inhibitor&) = delete;

  // Asks for the inhibit (once: holding twice is holding).
  void Hold();
  // Gives it back, also when the answer to Hold is still on its way.
  void Release();
  // Whether the inhibit is wanted (it may still be on its way or refused).
  bool IsWanted() const;
  // Whether a service granted it and it is not given back.
  bool IsHeld() const;

  struct State;

 private:
  std::shared_ptr<State> m_state;
};
