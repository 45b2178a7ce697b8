// The display-less host: state kept in memory, painting on request, injected input.
#include "platform/host/TestHost.h"

#include <algorithm>
#include <utility>

namespace {

class TestTray : public HostTray {
 public:
  explicit TestTray(TestHost* host) : m_host(host) {}
  ~TestTray() override { m_host->trayClick = nullptr; }
  void SetTooltip(const std::string&) override {}

 private:
  TestHost* m_host;
};

}  // namespace

std::unique_ptr<HostWindow> TestHost::CreateHostWindow(HostWindowDelegate* delegate, HostWindow* owner,
                                                       HostKind kind) {
  auto window = std::make_unique<TestHostWindow>(this, delegate, static_cast<TestHostWindow*>(owner), kind);
  m_windows.push_back(window.get());
  return window;
}

void TestHost::Forget(TestHostWindow* window) {
  m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
}

std::unique_ptr<HostTray> TestHost::CreateTray(const std::vector<unsigned char>&, const std::string&,
                                               std::function<void(int)> onClick) {
  if (!hasTray) return nullptr;
  trayClick = std::move(onClick);
  return std::make_unique<TestTray>(this);
}

std::string TestHost::ChooseFile(HostWindow*, const std::string& title, const std::string& folder,
                                 const std::vector<HostFileFilter>& filters) {
  lastChooserTitle = title;
  lastChooserFolder = folder;
  lastFilters = filters;
  return std::exchange(nextChosenPath, {});
}

std::string TestHost::ChooseFolder(HostWindow*, const std::string& title) {
  lastChooserTitle = title;
  return std::exchange(nextChosenPath, {});
}

bool TestHost::OpenUri(const std::string& uri) {
  openedUris.push_back(uri);
  return canOpenUris;
}

TestHostWindow::TestHostWindow(TestHost* host, HostWindowDelegate* delegate, TestHostWindow* owner,
                               HostKind kind)
    : m_host(host), m_delegate(delegate), m_owner(owner), m_kind(kind) {}

TestHostWindow::~TestHostWindow() { m_host->Forget(this); }

void TestHostWindow::Show(bool show, bool activate) {
  m_visible = show;
  if (show) m_minimized = false;
  if (show && activate) Activate();
  if (!show && focused) {
    focused = false;
    m_delegate->OnHostFocus(false);
  }
}

void TestHostWindow::SetScreenRect(const HostRect& rect) {
  bool resized = rect.width != m_rect.width || rect.height != m_rect.height;
  m_rect = rect;
  if (m_kind == HostKind::Layer && m_owner) {
    HostRect o = m_owner->GetScreenRect();
    m_rect.x -= o.x;
    m_rect.y -= o.y;
  }
  if (resized) m_delegate->OnHostSize(rect.width, rect.height);
}

HostRect TestHostWindow::GetScreenRect() const {
  HostRect r = m_rect;
  if (m_kind == HostKind::Layer && m_owner) {
    HostRect o = m_owner->GetScreenRect();
    r.x += o.x;
    r.y += o.y;
  }
  return r;
}

HostRect TestHostWindow::GetOwnerRect() const { return m_rect; }

void TestHostWindow::Invalidate(const HostRect&) { ++invalidations; }

void TestHostWindow::Maximize() {
  if (m_maximized) return;
  m_restoreRect = GetScreenRect();
  m_maximized = true;
  SetScreenRect(m_host->workArea);
  m_delegate->OnHostStateChanged();
}

void TestHostWindow::Restore() {
  m_minimized = false;
  if (m_maximized) {
    m_maximized = false;
    SetScreenRect(m_restoreRect);
  }
  m_delegate->OnHostStateChanged();
}

void TestHostWindow::Activate() {
  for (TestHostWindow* w : m_host->Windows()) {
    if (w != this && w->focused) {
      w->focused = false;
      w->m_delegate->OnHostFocus(false);
    }
  }
  if (!focused) {
    focused = true;
    m_delegate->OnHostFocus(true);
  }
}

int TestHostWindow::AddNativeChild(void* widget) {
  int id = m_nextChild++;
  nativeChildren[id].widget = widget;
  return id;
}

void TestHostWindow::PlaceNativeChild(int id, const HostRect& rect, bool visible) {
  auto it = nativeChildren.find(id);
  if (it == nativeChildren.end()) return;
  it->second.rect = rect;
  it->second.visible = visible;
}

void TestHostWindow::RemoveNativeChild(int id) { nativeChildren.erase(id); }

cairo_surface_t* TestHostWindow::Snapshot() {
  int w = std::max(1, m_rect.width);
  int h = std::max(1, m_rect.height);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  m_delegate->OnHostPaint(cr, HostRect{0, 0, w, h});
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  return surface;
}

bool TestHostWindow::SavePng(const std::string& path) {
  cairo_surface_t* surface = Snapshot();
  bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

void TestHostWindow::MouseMove(int x, int y) {
  HostRect r = GetScreenRect();
  m_host->cursorX = r.x + x;
  m_host->cursorY = r.y + y;
  m_delegate->OnHostMouse({HostMouseType::Move, 0, x, y, 0, 0, m_time += 10});
}

void TestHostWindow::MouseDown(int x, int y, int button) {
  MouseMove(x, y);
  m_delegate->OnHostMouse({HostMouseType::Down, button, x, y, 0, 0, m_time += 10});
}

void TestHostWindow::MouseUp(int x, int y, int button) {
  m_delegate->OnHostMouse({HostMouseType::Up, button, x, y, 0, 0, m_time += 10});
}

void TestHostWindow::Click(int x, int y, int button) {
  MouseDown(x, y, button);
  MouseUp(x, y, button);
  m_time += 1000;  // keep separate clicks from pairing into double clicks
}

void TestHostWindow::DoubleClick(int x, int y) {
  MouseDown(x, y);
  MouseUp(x, y);
  m_delegate->OnHostMouse({HostMouseType::DoubleClick, 1, x, y, 0, 0, m_time += 10});
  MouseUp(x, y);
  m_time += 1000;
}

void TestHostWindow::Wheel(int x, int y, int delta) {
  MouseMove(x, y);
  m_delegate->OnHostMouse({HostMouseType::Wheel, 0, x, y, 0, delta, m_time += 10});
}

void TestHostWindow::Key(unsigned key, unsigned modifiers) {
  if (!m_delegate->OnHostHotKey({true, key, modifiers})) m_delegate->OnHostKey({true, key, modifiers});
  m_delegate->OnHostKey({false, key, modifiers});
}

void TestHostWindow::Type(const std::string& utf8) {
  // One text event per character, as a keyboard would deliver them.
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xF0)
      n = 4;
    else if (c >= 0xE0)
      n = 3;
    else if (c >= 0xC0)
      n = 2;
    m_delegate->OnHostText(utf8.substr(i, n));
    i += n;
  }
}
