// One end-to-end session: a private X server, private XDG folders, a demo school of its
// own, a free web port, a desktop keyring of its own on a private session bus (when
// gnome-keyring is installed; the program remembers passwords only in one), the real `tavo` driven from
// outside with xdotool, real X screenshots. Every wait has a time limit; everything started is ended in the
// destructor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DemoServer.h"

namespace testsupport {
class PrivateKeyring;
}

namespace e2e {

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
  bool Near(const Rgb& other, int tolerance) const;
};

// A started `tavo` process with its output in a file.
struct TavoRun {
  pid_t pid = -1;
  std::filesystem::path output;
  std::chrono::steady_clock::time_point started;
};

class E2eSession {
 public:
  E2eSession();
  ~E2eSession();
  E2eSession(const E2eSession&) = delete;
  E2eSession& operator=(const E2eSession&) = delete;

  // False (with the reason in `error()`) when the display or the demo school did not start.
  bool Start();
  const std::string& error() const { return m_error; }

  // Programs launched from now on use this session bus (and the accessibility bus it
  // starts) in place of the keyring's own; the keyring moves to it.
  void UseSessionBus(const std::string& address);
  // Why the programs have no keyring (what is not installed), or empty.
  const std::string& NoKeyring() const { return m_noKeyring; }
  // Programs launched from now on get `name`=`value` in their environment (a setting the
  // test needs, as TAVO_PLAYER_RECONNECT_MS).
  void SetProgramEnv(const std::string& name, const std::string& value) { m_programEnv.push_back(name + "=" + value); }
  // Starts tavo against the session's demo school, web port and folders.
  TavoRun Launch(const std::vector<std::string>& extraArgs = {});
  // The exit status once the process has ended within `limit`; none otherwise.
  std::optional<int> WaitForExit(TavoRun& run, std::chrono::milliseconds limit);
  std::string Output(const TavoRun& run) const;

  // X windows (visible ones) whose WM_CLASS name is `className`.
  std::vector<std::string> FindWindows(const std::string& className);
  // The first visible window of the class within `limit`, else empty.
  std::string WaitForWindow(const std::string& className, std::chrono::milliseconds limit);
  bool WaitForNoWindow(const std::string& className, std::chrono::milliseconds limit);
  std::optional<Rect> Geometry(const std::string& window);
  // The window with the keyboard focus (without a window manager, what is "active"), as
  // xdotool names windows; empty when none.
  std::string FocusedWindow();
  // The root window's visible children from the topmost down (the X stacking order), named
  // as xdotool names windows.
  std::vector<std::string> StackingTopFirst();

  // Clicks at (x, y); the pointer stays there (hover-sensitive windows stay open).
  void Click(int x, int y);
  // Clicks, then parks the pointer at the screen's bottom-right corner so that neither
  // hover looks nor tooltips stay over what is checked next.
  void ClickAndLeave(int x, int y);
  // Moves and resizes a window from outside the program, as a window manager would.
  void MoveResize(const std::string& window, const Rect& rect);
  // Moves the pointer without a click.
  void MoveTo(int x, int y);
  // Turns the mouse wheel `notches` times towards the student (down) with the pointer at (x, y).
  void WheelDown(int x, int y, int notches);
  // Unmaps a window from outside the program.
  void Unmap(const std::string& window);
  void Type(const std::string& text);
  // Gives a window the keyboard focus, as a window manager does when it is clicked.
  void Focus(const std::string& window);
  // Presses keys by their X names, one after the other ("Tab Tab Return", "ctrl+a"), to the
  // window with the focus.
  void Key(const std::string& keys);
  // Saves the whole screen as `${TAVO_TEST_BINARY_DIR}/screenshots/<name>`; the path.
  std::filesystem::path Screenshot(const std::string& name);
  // Whether, within `limit`, the screen shows at least `atLeast` pixels close to `colour`
  // in `rect` (screen coordinates): what a test waits for before it clicks into a window.
  bool WaitForColour(const Rect& rect, Rgb colour, int atLeast, std::chrono::milliseconds limit);
  // How many pixels of `rect` (screen coordinates) in the PNG are close to `colour`.
  static int CountPixelsNear(const std::filesystem::path& png, const Rect& rect, Rgb colour, int tolerance);
  // The pixels of `rect` (screen coordinates) in the PNG, row by row; empty when unreadable.
  static std::vector<Rgb> ReadPixels(const std::filesystem::path& png, const Rect& rect);
  // A checksum of the pixels of `rect` in the PNG (0 when it cannot be read): two
  // screenshots whose area differs have different sums.
  static uint64_t AreaChecksum(const std::filesystem::path& png, const Rect& rect);

  // The browser day log as UTF-8 (empty when there is none).
  std::string BrowserLog();
  // Whether `text` shows in the day log, at or after byte `from` of it, within `limit`.
  bool WaitForLog(const std::string& text, std::chrono::milliseconds limit, size_t from = 0);
  // Stops the demo school (its state folder stays): to the program, the school is gone.
  void StopSchool();
  // Starts it again on the same port with the same state; false when it did not come up.
  bool RestartSchool();
  // Answers of the demo school's request log (its /__test/requests).
  std::string DemoRequests();
  // Posts a JSON body to the demo school (its /__test/ hooks); the answer.
  std::string DemoPost(const std::string& path, const std::string& json);

  // The session's folder: XDG folders, home, the demo school's state.
  const std::filesystem::path& root() const { return m_root.path(); }

  const demo_test::DemoServer& demo() const { return m_demo; }
  int webPort() const { return m_webPort; }

 private:
  std::string Shell(const std::string& command);
  // (Re)starts the keyring, on m_sessionBus or a bus of its own.
  void StartKeyring();

  demo_test::TempFolder m_root;
  demo_test::DemoServer m_demo;
  pid_t m_xvfb = -1;
  std::string m_display;
  int m_webPort = 0;
  std::vector<pid_t> m_started;
  std::string m_sessionBus;
  std::vector<std::string> m_programEnv;
  std::unique_ptr<testsupport::PrivateKeyring> m_keyring;
  std::string m_noKeyring;
  std::string m_error;
};

// The build folder: $TAVO_TEST_BINARY_DIR, else the parent of the test executable's folder.
std::filesystem::path BuildFolder();

// Where LoginDlg sits on the screen for a login frame at `frame` (LoginDlg is 360 x 420).
Rect LoginFormRect(const Rect& frame);

}  // namespace e2e
