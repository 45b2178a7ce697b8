// The one-instance channel over a Unix stream socket. One request line, one answer line:
//   client: "tavo-activate-main\n" or "tavo-open <target>\n"
//   server: "activated\n" or "no-main-window\n", then closes.
// Anything else is closed without an answer. The server never blocks its loop: sockets
// are non-blocking, lines are short and bounded, and idle clients are dropped.
#include "platform/InstanceChannel.h"

#include <errno.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace {

constexpr std::string_view kRequest = "tavo-activate-main";
constexpr std::string_view kOpenRequest = "tavo-open ";
constexpr std::string_view kActivated = "activated\n";
constexpr std::string_view kNoMainWindow = "no-main-window\n";
constexpr std::size_t kMaxLine = 64 + kMaxOpenTarget;
constexpr std::size_t kMaxClients = 16;
constexpr guint kClientIdleMs = 2000;

using Clock = std::chrono::steady_clock;

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A connected socket to `path`, or -1 (nobody listens, or the path is unusable).
int ConnectTo(const std::string& path, Clock::time_point deadline) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  for (;;) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    // A full backlog answers EAGAIN on a non-blocking Unix socket: try again shortly.
    if ((errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
      poll(nullptr, 0, 10);
      continue;
    }
    close(fd);
    return -1;
  }
}

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::string InstanceChannelPath() {
  std::string folder;
  const char* runtime = g_getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    folder = std::string(runtime) + "/tavo/";
  } else {
    folder = WideToAnsi(GetStateFolder());
  }
  if (folder.empty() || g_mkdir_with_parents(folder.c_str(), 0700) != 0) {
    LogError(L"instance channel: no folder " + AnsiToWide(folder));
    return {};
  }
  return folder + "instance.sock";
}

bool IsOpenTarget(const std::string& target) {
  return !target.empty() && target.size() <= kMaxOpenTarget &&
         std::all_of(target.begin(), target.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

namespace {

InstanceAnswer Ask(const std::string& path, const std::string& request, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  int fd = ConnectTo(path, deadline);
  if (fd < 0) return InstanceAnswer::NoInstance;

  std::size_t sent = 0;
  std::string answer;
  bool finished = false;
  while (!finished && RemainingMs(deadline) > 0) {
    pollfd p{fd, static_cast<short>(sent < request.size() ? POLLOUT : POLLIN), 0};
    if (poll(&p, 1, RemainingMs(deadline)) <= 0) continue;
    if (sent < request.size()) {
      ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (n > 0) sent += static_cast<std::size_t>(n);
      continue;
    }
    char buffer[64];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
    finished = answer.find('\n') != std::string::npos || answer.size() > kMaxLine;
  }
  close(fd);
  if (answer == kActivated) return InstanceAnswer::Activated;
  if (answer == kNoMainWindow) return InstanceAnswer::NotActivated;
  return InstanceAnswer::NoInstance;
}

}  // namespace

InstanceAnswer AskRunningInstance(const std::string& path, std::chrono::milliseconds timeout) {
  return Ask(path, std::string(kRequest) + "\n", timeout);
}

InstanceAnswer AskRunningInstanceToOpen(const std::string& path, const std::string& target,
                                        std::chrono::milliseconds timeout) {
  if (!IsOpenTarget(target)) return InstanceAnswer::NoInstance;
  return Ask(path, std::string(kOpenRequest) + target + "\n", timeout);
}

struct InstanceChannel::Impl {
  struct Client {
    int fd = -1;
    std::string line;
    GSource* io = nullptr;
    GSource* idle = nullptr;
  };

  GMainContext* context = nullptr;
  int listenFd = -1;
  GSource* listenSource = nullptr;
  ino_t socketInode = 0;
  dev_t socketDevice = 0;
  Activate activate;
  OpenTarget open;
  std::map<int, Client> clients;

  ~Impl() {
    while (!clients.empty()) Drop(clients.begin()->first);
    if (listenSource) {
      g_source_destroy(listenSource);
      g_source_unref(listenSource);
    }
    if (listenFd >= 0) close(listenFd);
    if (context) g_main_context_unref(context);
  }

  GSource* Attach(GSource* source, GSourceFunc callback) {
    g_source_set_callback(source, callback, this, nullptr);
    g_source_attach(source, context);
    return source;
  }

  void Drop(int fd) {
    auto it = clients.find(fd);
    if (it == clients.end()) return;
    for (GSource* source : {it->second.io, it->second.idle}) {
      g_source_destroy(source);
      g_source_unref(source);
    }
    close(fd);
    clients.erase(it);
  }

  static gboolean OnListenReady(gint fd, GIOCondition, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    for (;;) {
      int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (client < 0) break;
      ucred peer{};
      socklen_t size = sizeof peer;
      bool sameUser = getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
      if (!sameUser || self->clients.size() >= kMaxClients) {
        close(client);
        continue;
      }
      self->Accept(client);
    }
    return G_SOURCE_CONTINUE;
  }

  void Accept(int fd) {
    Client& client = clients[fd];
    client.fd = fd;
    client.io = Attach(g_unix_fd_source_new(fd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR)),
                       G_SOURCE_FUNC(&OnClientReady));
    client.idle = g_timeout_source_new(kClientIdleMs);
    g_source_set_callback(
        client.idle,
        [](gpointer data) -> gboolean {
          auto* pair = static_cast<std::pair<Impl*, int>*>(data);
          pair->first->Drop(pair->second);
          return G_SOURCE_REMOVE;
        },
        new std::pair<Impl*, int>(this, fd), [](gpointer data) { delete static_cast<std::pair<Impl*, int>*>(data); });
    g_source_attach(client.idle, context);
  }

  // The fd source's callback carries the Impl; the fd tells which client is ready.
  static gboolean OnClientReady(gint fd, GIOCondition, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    self->Read(fd);
    return G_SOURCE_CONTINUE;  // Drop destroys the source when the client is done
  }

  void Read(int fd) {
    auto it = clients.find(fd);
    if (it == clients.end()) return;
    char buffer[128];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      Drop(fd);
      return;
    }
    std::string& line = it->second.line;
    line.append(buffer, static_cast<std::size_t>(n));
    std::size_t end = line.find('\n');
    if (end == std::string::npos) {
      if (line.size() > kMaxLine) {
        LogError(L"instance channel: overlong request dropped");
        Drop(fd);
      }
      return;
    }
    const std::string request = line.substr(0, end);
    bool activated = false;
    if (request == kRequest) {
      activated = activate && activate();
    } else if (request.rfind(kOpenRequest, 0) == 0 && IsOpenTarget(request.substr(kOpenRequest.size()))) {
      activated = open ? open(request.substr(kOpenRequest.size())) : (activate && activate());
    } else {
      LogError(L"instance channel: unknown request dropped");
      Drop(fd);
      return;
    }
    std::string_view reply = activated ? kActivated : kNoMainWindow;
    // The reply is a few bytes into an empty socket buffer; a peer that went away is ignored.
    [[maybe_unused]] ssize_t ignored = send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    Drop(fd);
  }
};

InstanceChannel::InstanceChannel(std::unique_ptr<Impl> impl, std::string path)
    : m_impl(std::move(impl)), m_path(std::move(path)) {}

InstanceChannel::~InstanceChannel() {
  // Remove the file only if it is still the one this channel bound (a later program may
  // have replaced a file it took for stale).
  struct stat info {};
  if (lstat(m_path.c_str(), &info) == 0 && info.st_ino == m_impl->socketInode &&
      info.st_dev == m_impl->socketDevice) {
    unlink(m_path.c_str());
  }
}

std::unique_ptr<InstanceChannel> InstanceChannel::Listen(const std::string& path, Activate activate,
                                                         OpenTarget open) {
  sockaddr_un address;
  if (!FillAddress(path, address)) {
    LogError(L"instance channel: unusable path " + AnsiToWide(path));
    return nullptr;
  }
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    // Only a refused connection proves the file stale; a full backlog (EAGAIN) means a
    // busy listener.
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool refused = probe >= 0 && connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
                   (errno == ECONNREFUSED || errno == ENOTSOCK);
    if (probe >= 0) close(probe);
    if (!refused && !S_ISDIR(info.st_mode) && S_ISSOCK(info.st_mode)) {
      LogError(L"instance channel: another program listens at " + AnsiToWide(path));
      return nullptr;
    }
    if (S_ISDIR(info.st_mode) || unlink(path.c_str()) != 0) {
      LogError(L"instance channel: cannot replace " + AnsiToWide(path));
      return nullptr;
    }
  }

  auto impl = std::make_unique<Impl>();
  impl->activate = std::move(activate);
  impl->open = std::move(open);
  impl->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (impl->listenFd < 0 ||
      bind(impl->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    LogError(L"instance channel: bind failed at " + AnsiToWide(path) + L" errno " + std::to_wstring(errno));
    return nullptr;
  }
  chmod(path.c_str(), 0600);
  if (listen(impl->listenFd, 8) != 0 || lstat(path.c_str(), &info) != 0) {
    unlink(path.c_str());
    return nullptr;
  }
  impl->socketInode = info.st_ino;
  impl->socketDevice = info.st_dev;
  impl->context = g_main_context_ref_thread_default();
  impl->listenSource = impl->Attach(g_unix_fd_source_new(impl->listenFd, G_IO_IN),
                                    G_SOURCE_FUNC(&Impl::OnListenReady));
  return std::unique_ptr<InstanceChannel>(new InstanceChannel(std::move(impl), path));
}
