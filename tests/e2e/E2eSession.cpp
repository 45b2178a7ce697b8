// The end-to-end session: processes, X tools and the day log.
#include "E2eSession.h"

#include <cairo.h>
#include <fcntl.h>
#include <glib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "support/ChildProcess.h"
#include "support/PrivateKeyring.h"
#include "support/Waiting.h"

extern char** environ;

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace

Rect LoginFormRect(const Rect& frame) {
  return {frame.x + (frame.width - 360) / 2 + 230, frame.y + (frame.height - 420) / 2, 360, 420};
}

E2eSession::E2eSession() = default;

E2eSession::~E2eSession() {
  for (pid_t pid : m_started) EndChildProcess(pid);
  m_demo.Stop();
  EndChildProcess(m_xvfb);
}

bool E2eSession::Start() {
  if (m_root.path().empty()) {
    m_error = "no temporary folder";
    return false;
  }
  for (const char* folder : {"state", "data", "config", "cache", "run", "home"}) {
    fs::create_directories(m_root.path() / folder);
  }
  fs::permissions(m_root.path() / "run", fs::perms::owner_all, fs::perm_options::replace);

  // A private 1920x1080 screen; Xvfb names its display on the pipe once it accepts clients.
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t parent = getpid();
  m_xvfb = fork();
  if (m_xvfb == 0) {
    close(fds[0]);
    TieChildToTestProcess(parent);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  const std::string number = ReadFirstLine(fds[0], 20s);
  if (number.empty()) {
    m_error = "Xvfb did not start";
    return false;
  }
  m_display = ":" + number;
  // The X tools this test runs inherit the private display.
  setenv("DISPLAY", m_display.c_str(), 1);
  unsetenv("WAYLAND_DISPLAY");
  // The program is started only once a client can really open the display.
  if (!WaitUntil([&] { return !Shell("xdotool getdisplaygeometry").empty(); }, 20s, 100ms)) {
    m_error = "the private display " + m_display + " takes no clients";
    return false;
  }

  if (!m_demo.Start(m_root.path() / "demo", {"--test-hooks"})) {
    m_error = "demo school did not start: " + m_demo.ErrorOutput();
    return false;
  }
  m_webPort = FreeLoopbackPort();
  if (m_webPort <= 0) return false;
  StartKeyring();
  return true;
}

void E2eSession::StartKeyring() {
  m_keyring.reset();
  m_noKeyring = testsupport::PrivateKeyring::Missing();
  if (!m_noKeyring.empty()) return;
  auto keyring = std::make_unique<testsupport::PrivateKeyring>();
  if (!keyring->Start(m_root.path() / "keyring", m_sessionBus)) {
    m_noKeyring = keyring->error();
    return;
  }
  m_keyring = std::move(keyring);
}

void E2eSession::UseSessionBus(const std::string& address) {
  m_sessionBus = address;
  StartKeyring();
}

// The build folder: $TAVO_TEST_BINARY_DIR (set for tests), else the parent of this
// executable's folder (build/tests, build/bench).
fs::path BuildFolder() {
  if (const char* binaryDir = getenv("TAVO_TEST_BINARY_DIR")) return binaryDir;
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path();
}

TavoRun E2eSession::Launch(const std::vector<std::string>& extraArgs) {
  std::string program = (BuildFolder() / "bin" / "tavo").string();

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    bool ours = entry.rfind("XDG_", 0) == 0 || entry.rfind("TAVO_", 0) == 0 || entry.rfind("HOME=", 0) == 0 ||
                entry.rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0;
    if (!ours) env.push_back(entry);
  }
  const fs::path& root = m_root.path();
  env.push_back("XDG_STATE_HOME=" + (root / "state").string());
  env.push_back("XDG_DATA_HOME=" + (root / "data").string());
  env.push_back("XDG_CONFIG_HOME=" + (root / "config").string());
  env.push_back("XDG_CACHE_HOME=" + (root / "cache").string());
  env.push_back("XDG_RUNTIME_DIR=" + (root / "run").string());
  env.push_back("HOME=" + (root / "home").string());
  // No accessibility bus or session bus of another test's making: the test's own bus, or
  // the keyring's, or none.
  if (m_sessionBus.empty()) {
    env.push_back("NO_AT_BRIDGE=1");
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" +
                  (m_keyring ? m_keyring->address() : "unix:path=" + (root / "no-bus").string()));
  } else {
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + m_sessionBus);
  }
  env.push_back("TAVO_TRACE_FIRST_DRAW=1");
  env.insert(env.end(), m_programEnv.begin(), m_programEnv.end());

  std::vector<std::string> args = {program, "--api-origin=" + m_demo.origin(),
                                   "--site-origin=" + m_demo.origin(),
                                   "--web-port=" + std::to_string(m_webPort)};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());

  TavoRun run;
  run.output = root / ("tavo-" + std::to_string(m_started.size()) + ".out");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  run.started = Clock::now();
  run.pid = fork();
  if (run.pid == 0) {
    int fd = open(run.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  m_started.push_back(run.pid);
  return run;
}

std::optional<int> E2eSession::WaitForExit(TavoRun& run, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  int status = 0;
  while (Clock::now() < deadline) {
    pid_t done = waitpid(run.pid, &status, WNOHANG);
    if (done == run.pid) {
      run.pid = -1;
      return status;
    }
    std::this_thread::sleep_for(20ms);
  }
  return std::nullopt;
}

std::string E2eSession::Output(const TavoRun& run) const { return ReadAll(run.output); }

std::string E2eSession::Shell(const std::string& command) {
  // `timeout` guards every X tool: none of them may hang a test.
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r"),
                                             pclose);
  if (!pipe) return {};
  std::string out;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out += buffer;
  return out;
}

std::vector<std::string> E2eSession::FindWindows(const std::string& className) {
  std::istringstream lines(Shell("xdotool search --onlyvisible --classname '^" + className + "$'"));
  std::vector<std::string> found;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) found.push_back(line);
  }
  return found;
}

std::string E2eSession::WaitForWindow(const std::string& className, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    std::vector<std::string> found = FindWindows(className);
    if (!found.empty()) return found.front();
    std::this_thread::sleep_for(100ms);
  }
  return {};
}

bool E2eSession::WaitForNoWindow(const std::string& className, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (FindWindows(className).empty()) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

std::optional<Rect> E2eSession::Geometry(const std::string& window) {
  std::istringstream lines(Shell("xdotool getwindowgeometry --shell " + window));
  Rect rect;
  int seen = 0;
  for (std::string line; std::getline(lines, line);) {
    auto value = [&](const char* key, int& slot) {
      std::string prefix = std::string(key) + "=";
      if (line.rfind(prefix, 0) == 0) {
        slot = std::atoi(line.c_str() + prefix.size());
        ++seen;
      }
    };
    value("X", rect.x);
    value("Y", rect.y);
    value("WIDTH", rect.width);
    value("HEIGHT", rect.height);
  }
  if (seen != 4) return std::nullopt;
  return rect;
}

std::string E2eSession::FocusedWindow() {
  std::string id = Shell("xdotool getwindowfocus");
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id;
}

std::vector<std::string> E2eSession::StackingTopFirst() {
  // xwininfo lists the children top first, in hexadecimal: "     0x600005 "name": (...)".
  std::istringstream visibleLines(Shell("xdotool search --onlyvisible --maxdepth 1 --name ''"));
  std::vector<std::string> visible;
  for (std::string line; std::getline(visibleLines, line);) visible.push_back(line);
  std::istringstream lines(Shell("xwininfo -root -children"));
  std::vector<std::string> order;
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("0x");
    if (at == std::string::npos || line.find_first_not_of(' ') != at) continue;
    std::string id = std::to_string(std::stoul(line.substr(at), nullptr, 16));
    if (std::find(visible.begin(), visible.end(), id) != visible.end()) order.push_back(id);
  }
  return order;
}

// The X server hands the program its input in order, so a click or text that follows
// another reaches it after that one; the pointer move is synchronous so the press lands
// where the pointer is.
void E2eSession::Click(int x, int y) {
  // `--sync` waits for the pointer to move, which it never does when it is there already.
  const std::string here = "x:" + std::to_string(x) + " y:" + std::to_string(y) + " ";
  const bool there = Shell("xdotool getmouselocation").rfind(here, 0) == 0;
  Shell("xdotool mousemove " + std::string(there ? "" : "--sync ") + std::to_string(x) + " " +
        std::to_string(y) + " click 1");
}

void E2eSession::MoveTo(int x, int y) {
  const std::string here = "x:" + std::to_string(x) + " y:" + std::to_string(y) + " ";
  if (Shell("xdotool getmouselocation").rfind(here, 0) == 0) return;
  Shell("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y));
}

void E2eSession::WheelDown(int x, int y, int notches) {
  MoveTo(x, y);
  Shell("xdotool click --repeat " + std::to_string(notches) + " --delay 80 5");
}

void E2eSession::ClickAndLeave(int x, int y) {
  Click(x, y);
  // The pointer leaves so that no tooltip covers what the test looks at next.
  Shell("xdotool mousemove 1919 1079");
}

void E2eSession::MoveResize(const std::string& window, const Rect& rect) {
  Shell("xdotool windowmove " + window + " " + std::to_string(rect.x) + " " + std::to_string(rect.y) +
        " windowsize " + window + " " + std::to_string(rect.width) + " " + std::to_string(rect.height));
}

void E2eSession::Unmap(const std::string& window) { Shell("xdotool windowunmap " + window); }

void E2eSession::Type(const std::string& text) {
  Shell("xdotool type --delay 40 '" + text + "'");
}

void E2eSession::Focus(const std::string& window) { Shell("xdotool windowfocus --sync " + window); }

void E2eSession::Key(const std::string& keys) { Shell("xdotool key --delay 60 " + keys); }

fs::path E2eSession::Screenshot(const std::string& name) {
  fs::path folder = BuildFolder() / "screenshots";
  fs::create_directories(folder);
  fs::path path = folder / name;
  Shell("import -display " + m_display + " -window root " + path.string());
  return path;
}

bool E2eSession::WaitForColour(const Rect& rect, Rgb colour, int atLeast, std::chrono::milliseconds limit) {
  return WaitUntil([&] { return CountPixelsNear(Screenshot("e2e-wait.png"), rect, colour, 40) >= atLeast; }, limit,
                   100ms);
}

bool Rgb::Near(const Rgb& other, int tolerance) const {
  return std::abs(r - other.r) <= tolerance && std::abs(g - other.g) <= tolerance &&
         std::abs(b - other.b) <= tolerance;
}

namespace {

// A decoded screenshot. Checks read many rectangles of one screenshot: the last one
// decoded is kept, known by its path, size and time of writing.
struct DecodedShot {
  fs::path path;
  std::uintmax_t size = 0;
  fs::file_time_type written;
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

const DecodedShot& Decode(const fs::path& png) {
  static DecodedShot shot;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(png, ec);
  const fs::file_time_type written = fs::last_write_time(png, ec);
  if (!ec && shot.path == png && shot.size == size && shot.written == written) return shot;
  shot = DecodedShot{png, ec ? 0 : size, written, 0, 0, {}};
  if (ec) return shot;
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> image(
      cairo_image_surface_create_from_png(png.c_str()), cairo_surface_destroy);
  if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return shot;
  cairo_surface_flush(image.get());
  shot.width = cairo_image_surface_get_width(image.get());
  shot.height = cairo_image_surface_get_height(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  const unsigned char* data = cairo_image_surface_get_data(image.get());
  shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
  for (int y = 0; y < shot.height; ++y)
    std::copy_n(reinterpret_cast<const uint32_t*>(data + y * stride), shot.width,
                shot.pixels.begin() + static_cast<std::ptrdiff_t>(y) * shot.width);
  return shot;
}

}  // namespace

std::vector<Rgb> E2eSession::ReadPixels(const fs::path& png, const Rect& rect) {
  const DecodedShot& shot = Decode(png);
  std::vector<Rgb> pixels;
  for (int y = std::max(0, rect.y); y < std::min(shot.height, rect.y + rect.height); ++y) {
    for (int x = std::max(0, rect.x); x < std::min(shot.width, rect.x + rect.width); ++x) {
      uint32_t pixel = shot.pixels[static_cast<size_t>(y) * shot.width + x];
      pixels.push_back({static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                        static_cast<int>(pixel & 0xFF)});
    }
  }
  return pixels;
}

int E2eSession::CountPixelsNear(const fs::path& png, const Rect& rect, Rgb colour, int tolerance) {
  if (!fs::exists(png)) return -1;
  std::vector<Rgb> pixels = ReadPixels(png, rect);
  return static_cast<int>(
      std::count_if(pixels.begin(), pixels.end(), [&](const Rgb& p) { return p.Near(colour, tolerance); }));
}

uint64_t E2eSession::AreaChecksum(const fs::path& png, const Rect& rect) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return 0;
  }
  cairo_surface_flush(image);
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  const int stride = cairo_image_surface_get_stride(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  // FNV-1a over the rows of the area.
  uint64_t sum = 1469598103934665603ull;
  for (int y = std::max(0, rect.y); y < std::min(height, rect.y + rect.height); ++y) {
    for (int x = std::max(0, rect.x); x < std::min(width, rect.x + rect.width); ++x) {
      sum = (sum ^ *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4)) * 1099511628211ull;
    }
  }
  cairo_surface_destroy(image);
  return sum;
}

std::string E2eSession::BrowserLog() {
  fs::path folder = m_root.path() / "state" / "tavo" / "log";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().rfind("browserlog", 0) != 0) continue;
    std::string bytes = ReadAll(entry.path());
    if (bytes.size() % 2 != 0) bytes.pop_back();  // a line being written
    gsize written = 0;
    gchar* text = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "UTF-16LE", nullptr,
                            &written, nullptr);
    std::string out = text ? std::string(text, written) : std::string();
    g_free(text);
    return out;
  }
  return {};
}

bool E2eSession::WaitForLog(const std::string& text, std::chrono::milliseconds limit, size_t from) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    std::string log = BrowserLog();
    if (log.size() > from && log.find(text, from) != std::string::npos) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

void E2eSession::StopSchool() { m_demo.Stop(); }

bool E2eSession::RestartSchool() {
  const int port = m_demo.port();
  // The later "--port" wins over the helper's "--port 0".
  if (!m_demo.Start(m_root.path() / "demo", {"--test-hooks", "--port", std::to_string(port)})) {
    m_error = "demo school did not start again: " + m_demo.ErrorOutput();
    return false;
  }
  return m_demo.port() == port;
}

std::string E2eSession::DemoRequests() { return Shell("curl -s " + m_demo.origin() + "/__test/requests"); }

std::string E2eSession::DemoPost(const std::string& path, const std::string& json) {
  // The body goes through a file: no shell quoting of JSON.
  const fs::path body = m_root.path() / "demo-post.json";
  std::ofstream(body, std::ios::binary | std::ios::trunc) << json;
  return Shell("curl -s -H 'Content-Type: application/json' --data-binary @" + body.string() + " " +
               m_demo.origin() + path);
}

}  // namespace e2e
