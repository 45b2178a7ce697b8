// A host without a display: windows keep their rectangles and state, paint into a Cairo
// image surface on request, and take injected mouse and key events. Used by tests and by
// the skin preview tool.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/host/Host.h"

class TestHostWindow;

class TestHost : public Host {
 public:
  std::unique_ptr<HostWindow> CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                               HostKind kind) override;
  HostRect GetWorkArea() override { return workArea; }
  void GetCursorPos(int& x, int& y) override {
    x = cursorX;
    y = cursorY;
  }
  void SetClipboardText(const std::string& utf8) override { clipboard = utf8; }
  std::string GetClipboardText() override { return clipboard; }
  std::unique_ptr<HostTray> CreateTray(const std::vector<unsigned char>& icon, const std::string& tip,
                                       std::function<void(int)> onClick) override;
  std::string ChooseFile(HostWindow* owner, const std::string& title, const std::string& folder,
                         const std::vector<HostFileFilter>& filters) override;
  std::string ChooseFolder(HostWindow* owner, const std::string& title) override;
  bool OpenUri(const std::string& uri) override;
  void ShowNotification(const std::string& title, const std::string& body, std::function<void()> onClick) override {
    notifications.push_back({title, body, std::move(onClick)});
  }

  // The live windows, oldest first.
  const std::vector<TestHostWindow*>& Windows() const { return m_windows; }
  void Forget(TestHostWindow* window);

  HostRect workArea{0, 0, 1600, 900};
  int cursorX = 0;
  int cursorY = 0;
  std::string clipboard;
  bool hasTray = true;
  std::function<void(int)> trayClick;  // the tray's click callback, for tests to call
  std::string nextChosenPath;          // what the next chooser answers
  std::string lastChooserTitle;
  std::string lastChooserFolder;
  std::vector<HostFileFilter> lastFilters;
  std::vector<std::string> openedUris;
  bool canOpenUris = true;  // false: a desktop without a web browser
  struct Notification {
    std::string title;
    std::string body;
    std::function<void()> onClick;
  };
  std::vector<Notification> notifications;

 private:
  std::vector<TestHostWindow*> m_windows;
};

class TestHostWindow : public HostWindow {
 public:
  TestHostWindow(TestHost* host, HostWindowDelegate* delegate, TestHostWindow* owner, HostKind kind);
  ~TestHostWindow() override;

  void Show(bool show, bool activate) override;
  bool IsVisible() const override { return m_visible; }
  void SetScreenRect(const HostRect& rect) override;
  HostRect GetScreenRect() const override;
  HostRect GetOwnerRect() const override;
  void SetTitle(const std::string& utf8) override { title = utf8; }
  void SetMinSize(int width, int height) override {
    minWidth = width;
    minHeight = height;
  }
  void Invalidate(const HostRect& rect) override;
  void SetCursor(HostCursor c) override { cursor = c; }
  void SetToolTip(const std::string& utf8) override { toolTip = utf8; }
  void ShowToolTip(const HostToolTip& tip) override {
    toolTip = tip.text;
    shownTip = tip;
  }
  void BeginMoveDrag() override { ++moveDrags; }
  void BeginResizeDrag(HostEdge edge) override { resizeEdges.push_back(edge); }
  void Minimize() override { m_minimized = true; }
  void Maximize() override;
  void Restore() override;
  bool IsMinimized() const override { return m_minimized; }
  bool IsMaximized() const override { return m_maximized; }
  void Activate() override;
  void SetEnabled(bool e) override { enabled = e; }
  void SetTopMost(bool t) override { topMost = t; }
  void SetIcon(const std::vector<unsigned char>& data) override { iconBytes = data.size(); }
  void SetTextInput(bool on, const HostRect& caret) override {
    textInput = on;
    caretRect = caret;
  }
  int AddNativeChild(void* widget) override;
  void PlaceNativeChild(int id, const HostRect& rect, bool visible) override;
  void RemoveNativeChild(int id) override;
  void* NativeHandle() const override { return nullptr; }

  // Paints the whole window into a new ARGB image surface (caller owns it).
  cairo_surface_t* Snapshot();
  bool SavePng(const std::string& path);

  // Injected input in window coordinates.
  void MouseMove(int x, int y);
  void Click(int x, int y, int button = 1);
  void DoubleClick(int x, int y);
  void MouseDown(int x, int y, int button = 1);
  void MouseUp(int x, int y, int button = 1);
  void Wheel(int x, int y, int delta);
  void Key(unsigned key, unsigned modifiers = 0);
  void Type(const std::string& utf8);

  HostWindowDelegate* delegate() const { return m_delegate; }
  HostKind kind() const { return m_kind; }
  TestHostWindow* owner() const { return m_owner; }

  struct NativeChild {
    void* widget = nullptr;
    HostRect rect;
    bool visible = false;
  };
  std::map<int, NativeChild> nativeChildren;
  std::string title;
  int minWidth = 0;
  int minHeight = 0;
  HostCursor cursor = HostCursor::Arrow;
  std::string toolTip;
  HostToolTip shownTip;  // the last tooltip asked for, with its place and colours
  int moveDrags = 0;
  std::vector<HostEdge> resizeEdges;
  bool enabled = true;
  bool topMost = false;
  bool focused = false;
  bool textInput = false;
  HostRect caretRect;
  size_t iconBytes = 0;
  int invalidations = 0;

 private:
  TestHost* m_host;
  HostWindowDelegate* m_delegate;
  TestHostWindow* m_owner;
  HostKind m_kind;
  HostRect m_rect;  // screen rectangle for top-levels, owner coordinates for layers
  HostRect m_restoreRect;
  bool m_visible = false;
  bool m_minimized = false;
  bool m_maximized = false;
  int m_nextChild = 1;
  uint32_t m_time = 1000;
};
