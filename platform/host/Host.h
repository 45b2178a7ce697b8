// The native side of a window: a display host (GTK) or a test host (no display) shows
// self-drawn windows, forwards input to them and hosts native child widgets. Window
// code never sees which one runs; it talks to HostWindow only through the toolkit.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct HostRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const HostRect&) const = default;
};

enum class HostKind {
  TopLevel,  // a native top-level window, undecorated
  Layer,     // drawn above its owner's content and native children, with transparency
  Popup,     // a menu or drop-down list: transient, no decorations, closes on focus loss
  Dialog,    // a transient top-level window centred over its owner
};

// A tooltip drawn by the host in the skin's look. It never takes the pointer: clicks and
// motion pass through it to what lies below.
struct HostToolTip {
  std::string text;        // empty hides the tooltip
  HostRect target;         // the part of the control that shows, in window coordinates
  HostRect avoid;          // what it must not cover (the control's open drop-down), or empty
  uint32_t background = 0xFFFFFFFF;  // 0xAARRGGBB
  uint32_t border = 0xFFDCDFE6;
  uint32_t textColor = 0xFF4D4D4D;
  int radius = 6;
  bool operator==(const HostToolTip&) const = default;
};

enum class HostCursor { Arrow, Hand, IBeam, SizeWE, SizeNS, SizeNWSE, SizeNESW };
enum class HostEdge { West, East, North, South, NorthWest, NorthEast, SouthWest, SouthEast };

enum class HostMouseType { Move, Down, Up, DoubleClick, Leave, Wheel };
struct HostMouseEvent {
  HostMouseType type = HostMouseType::Move;
  int button = 1;  // 1 left, 2 middle, 3 right
  int x = 0;       // window coordinates
  int y = 0;
  unsigned modifiers = 0;  // the toolkit's MK_* bits
  int wheel = 0;           // +1 up, -1 down
  uint32_t time = 0;
};

struct HostKeyEvent {
  bool down = true;
  unsigned key = 0;  // Windows virtual-key number
  unsigned modifiers = 0;
};

class AccessibleNode;

// Receives what happens to a host window; called on the main thread.
class HostWindowDelegate {
 public:
  virtual ~HostWindowDelegate() = default;
  virtual void OnHostPaint(cairo_t* cr, const HostRect& dirty) = 0;
  virtual void OnHostSize(int width, int height) = 0;
  virtual void OnHostMouse(const HostMouseEvent& event) = 0;
  // Returns true when the key was used (input methods get the rest first).
  virtual bool OnHostKey(const HostKeyEvent& event) = 0;
  // Seen first for every key pressed anywhere in the native window (also inside native
  // children such as a browser view); true swallows the key.
  virtual bool OnHostHotKey(const HostKeyEvent&) { return false; }
  virtual void OnHostText(const std::string& utf8) = 0;
  virtual void OnHostPreedit(const std::string& utf8, int cursor) = 0;
  virtual void OnHostFocus(bool focused) = 0;
  virtual void OnHostCloseRequest() = 0;
  virtual void OnHostStateChanged() {}
  // The node standing for the window's content: its children are the window's accessible
  // children (null: the window shows nothing to assistive technology).
  virtual AccessibleNode* AccessibleRoot() { return nullptr; }
};

class HostWindow {
 public:
  virtual ~HostWindow() = default;
  virtual void Show(bool show, bool activate) = 0;
  virtual bool IsVisible() const = 0;
  // Rectangles are in screen coordinates; a layer converts them to its owner's.
  virtual void SetScreenRect(const HostRect& rect) = 0;
  virtual HostRect GetScreenRect() const = 0;
  // For a layer: its rectangle in its owner's coordinates.
  virtual HostRect GetOwnerRect() const = 0;
  virtual void SetTitle(const std::string& utf8) = 0;
  // The toolkit window's class name, so the native window can be told apart from outside
  // (on X11 the WM_CLASS name and the window role). Called before the first Show.
  virtual void SetClassName(const std::string&) {}
  virtual void SetMinSize(int width, int height) = 0;
  virtual void Invalidate(const HostRect& rect) = 0;
  virtual void SetCursor(HostCursor cursor) = 0;
  // The tooltip of what is under the pointer; empty hides it.
  virtual void SetToolTip(const std::string& utf8) = 0;
  // The styled tooltip for a control; a host without its own drawing shows the text.
  virtual void ShowToolTip(const HostToolTip& tip) { SetToolTip(tip.text); }
  // Starts moving or resizing by the pointer (the button that is down).
  virtual void BeginMoveDrag() = 0;
  virtual void BeginResizeDrag(HostEdge edge) = 0;
  virtual void Minimize() = 0;
  virtual void Maximize() = 0;
  virtual void Restore() = 0;
  virtual bool IsMinimized() const = 0;
  virtual bool IsMaximized() const = 0;
  virtual void Activate() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetTopMost(bool topMost) = 0;
  virtual void SetIcon(const std::vector<unsigned char>& imageData) = 0;
  // Input methods: where the caret is (window coordinates) and whether text is wanted.
  virtual void SetTextInput(bool enabled, const HostRect& caret) = 0;
  // Native child widgets (a GtkWidget* on the display host) kept below the layers.
  virtual int AddNativeChild(void* widget) = 0;
  virtual void PlaceNativeChild(int id, const HostRect& rect, bool visible) = 0;
  virtual void RemoveNativeChild(int id) = 0;
  // The native handle (GtkWidget* of the window, or null) for code that must reach it.
  virtual void* NativeHandle() const = 0;
};

// An item of a tray menu the desktop draws itself: the name a choice reports, the text.
struct HostTrayItem {
  std::string name;
  std::string label;
};

// A tray icon; clicks arrive through the callback with the button (1 or 3) released.
class HostTray {
 public:
  virtual ~HostTray() = default;
  virtual void SetTooltip(const std::string& utf8) = 0;
  // An icon whose desktop draws its menu (a status notifier item: no clicks reach the
  // program) shows these items and reports the chosen name. Other icons ignore them: their
  // right click opens the program's own menu.
  virtual void SetMenu(const std::vector<HostTrayItem>& /*items*/,
                       std::function<void(const std::string& name)> /*onChoice*/) {}
};

struct HostFileFilter {
  std::string name;
  std::string pattern;
};

class Host {
 public:
  virtual ~Host() = default;
  virtual std::unique_ptr<HostWindow> CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                                       HostKind kind) = 0;
  virtual HostRect GetWorkArea() = 0;
  virtual void GetCursorPos(int& x, int& y) = 0;
  virtual void SetClipboardText(const std::string& utf8) = 0;
  virtual std::string GetClipboardText() = 0;
  // Null when the desktop has no tray.
  virtual std::unique_ptr<HostTray> CreateTray(const std::vector<unsigned char>& icon, const std::string& tip,
                                               std::function<void(int button)> onClick) = 0;
  // Modal choosers; empty when cancelled.
  virtual std::string ChooseFile(HostWindow* owner, const std::string& title, const std::string& folder,
                                 const std::vector<HostFileFilter>& filters) = 0;
  virtual std::string ChooseFolder(HostWindow* owner, const std::string& title) = 0;
  // Where to save a new file, starting with `name` in the home folder; hosts without a
  // desktop choose nothing.
  virtual std::string ChooseSaveFile(HostWindow* /*owner*/, const std::string& /*title*/,
                                     const std::string& /*name*/) {
    return {};
  }
  virtual bool OpenUri(const std::string& uri) = 0;
  // A desktop notification; `onClick` runs on the main thread when it is clicked. Hosts
  // without a desktop show nothing.
  virtual void ShowNotification(const std::string& /*title*/, const std::string& /*body*/,
                                std::function<void()> /*onClick*/) {}
  // Milliseconds within which a second click counts as a double click.
  virtual int DoubleClickTime() { return 400; }
};

// The host in use; the test host until a display host is installed.
Host& GetHost();
void SetHost(std::unique_ptr<Host> host);
