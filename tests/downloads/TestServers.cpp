// The loopback servers of the download tests.
#include "TestServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>

#include "support/ChildProcess.h"
#include "support/Waiting.h"

namespace {

bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

NginxServer::NginxServer(std::filesystem::path root, std::filesystem::path work, std::string slowRate)
    : m_root(std::move(root)), m_work(std::move(work)), m_slowRate(std::move(slowRate)) {}

NginxServer::~NginxServer() { Stop(); }

bool NginxServer::Start() {
  namespace fs = std::filesystem;
  fs::create_directories(m_work / "tmp");
  for (const fs::path& p : {m_root, m_work}) {
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  }
  // Run by root, nginx is started as "nobody": it owns its work folder and may pass
  // through the temporary folders above the served files.
  const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  if (nobody) {
    const fs::path temp = fs::temp_directory_path();
    for (const fs::path& start : {m_root, m_work}) {
      if (start.lexically_relative(temp).empty() || *start.lexically_relative(temp).begin() == "..") continue;
      for (fs::path p = start.parent_path(); p != temp && p.has_relative_path(); p = p.parent_path()) {
        std::error_code ec;
        fs::permissions(p, fs::perms::others_exec, fs::perm_options::add, ec);
      }
    }
    for (const fs::path& p : {m_work, m_work / "tmp"}) {
      if (::chown(p.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return false;
    }
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    m_port = FreeLoopbackPort();
    const std::string w = m_work.string();
    std::ofstream conf(m_work / "nginx.conf");
    conf << "daemon off;\n"
         << "worker_processes 1;\n"
         << "pid " << w << "/nginx.pid;\n"
         << "error_log " << w << "/error.log;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n"
         << "  log_format timing '$msec $request_time $status \"$http_range\" $request_uri';\n"
         << "  access_log " << w << "/access.log timing;\n"
         << "  client_body_temp_path " << w << "/tmp/body;\n"
         << "  proxy_temp_path " << w << "/tmp/proxy;\n"
         << "  fastcgi_temp_path " << w << "/tmp/fastcgi;\n"
         << "  uwsgi_temp_path " << w << "/tmp/uwsgi;\n"
         << "  scgi_temp_path " << w << "/tmp/scgi;\n"
         << "  sendfile on;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << m_port << ";\n"
         << "    root " << m_root.string() << ";\n"
         << "    location /slow/ { alias " << m_root.string() << "/; limit_rate " << m_slowRate << "; }\n"
         << "  }\n"
         << "}\n";
    conf.close();
    const std::string confPath = (m_work / "nginx.conf").string();
    const std::string errPath = (m_work / "error.log").string();
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
      // Changing the user clears the parent-death signal: change it first.
      if (nobody &&
          (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) {
        ::_exit(126);
      }
      TieChildToTestProcess(parent);
      ::execlp("nginx", "nginx", "-p", w.c_str(), "-c", confPath.c_str(), "-e", errPath.c_str(),
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (m_pid < 0) return false;
    bool ended = false;  // e.g. the port was taken meanwhile
    WaitUntil([&] {
      ended = ::waitpid(m_pid, nullptr, WNOHANG) == m_pid;
      return ended || CanConnect(m_port);
    });
    if (ended) m_pid = -1;
    if (!ended && CanConnect(m_port)) return true;
    Stop();
  }
  return false;
}

void NginxServer::Stop() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_pid = -1;
}

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<NginxServer::Request> NginxServer::Requests() const {
  std::vector<Request> requests;
  std::ifstream in(m_work / "access.log");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Request r;
    double took = 0;
    fields >> r.end >> took >> r.status;
    std::string range;
    fields >> std::ws;
    std::getline(fields, range, ' ');
    r.range = range.size() >= 2 ? range.substr(1, range.size() - 2) : range;
    fields >> r.uri;
    r.start = r.end - took;
    requests.push_back(r);
  }
  return requests;
}

int NginxServer::MaxConcurrent(const std::string& prefix) const {
  std::vector<std::pair<double, int>> events;
  for (const Request& r : Requests()) {
    if (r.uri.rfind(prefix, 0) != 0) continue;
    events.emplace_back(r.start, +1);
    events.emplace_back(r.end, -1);
  }
  // At equal times an end comes before a start: back-to-back requests do not overlap.
  std::sort(events.begin(), events.end());
  int now = 0, most = 0;
  for (const auto& [time, delta] : events) {
    now += delta;
    most = std::max(most, now);
  }
  return most;
}

DemoSchool::DemoSchool(std::string program, std::filesystem::path data)
    : m_program(std::move(program)), m_data(std::move(data)) {}

DemoSchool::~DemoSchool() {
  if (m_stdin >= 0) ::close(m_stdin);
  if (m_pid > 0) {
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
  }
}

bool DemoSchool::Start() {
  int in[2];
  if (::pipe(in) != 0) return false;
  std::filesystem::create_directories(m_data);
  const std::string outPath = (m_data / "stdout.txt").string();
  m_pid = ::fork();
  if (m_pid == 0) {
    // Its output goes to a file: a pipe nobody reads could fill up or break.
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in[0], 0);
    ::dup2(out, 1);
    ::close(in[1]);
    ::execl(m_program.c_str(), m_program.c_str(), "--port", "0", "--data", m_data.c_str(), "--watch-stdin",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  m_stdin = in[1];
  if (m_pid < 0) return false;
  // It prints "listening on <origin>" once the port accepts connections.
  const std::string prefix = "listening on ";
  bool ended = false;
  WaitUntil([&] {
    std::ifstream file(outPath);
    std::string line;
    while (std::getline(file, line)) {
      if (line.rfind(prefix, 0) == 0 && !file.eof()) {
        m_origin = line.substr(prefix.size());
        return true;
      }
    }
    ended = ::waitpid(m_pid, nullptr, WNOHANG) == m_pid;
    return ended;
  });
  if (ended) m_pid = -1;
  return !m_origin.empty();
}

RawHttpServer::RawHttpServer(Responder respond) : m_respond(std::move(respond)) {
  m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  ::listen(m_listener, 8);
  ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
  m_port = ntohs(addr.sin_port);
  m_thread = std::thread([this] { Serve(); });
}

RawHttpServer::~RawHttpServer() {
  m_stop = true;
  m_thread.join();
  ::close(m_listener);
}

std::string RawHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> RawHttpServer::Heads() const {
  std::lock_guard lock(m_mutex);
  return m_heads;
}

void RawHttpServer::SendAll(int socket, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void RawHttpServer::Serve() {
  while (!m_stop) {
    pollfd p{m_listener, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int client = ::accept(m_listener, nullptr, nullptr);
    if (client >= 0) m_connections.emplace_back([this, client] { Answer(client); });
  }
  for (std::thread& connection : m_connections) connection.join();
}

void RawHttpServer::Answer(int client) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd c{client, POLLIN, 0};
    if (::poll(&c, 1, static_cast<int>(kWaitGuard.count())) <= 0) break;
    const ssize_t n = ::recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard lock(m_mutex);
    m_heads.push_back(head);
  }
  m_respond(head, client);
  ::close(client);
}

ScriptedFileServer::ScriptedFileServer(Copy copy)
    : m_copy(std::move(copy)),
      m_server([this](const std::string& head, int socket) { Respond(head, socket); }) {}

void ScriptedFileServer::SetCopy(Copy copy) {
  std::lock_guard lock(m_mutex);
  m_copy = std::move(copy);
}

void ScriptedFileServer::Queue(std::vector<Step> steps) {
  std::lock_guard lock(m_mutex);
  m_steps.insert(m_steps.end(), steps.begin(), steps.end());
}

namespace {

// The value of a request header ("Name: value"), empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::size_t at = head.find(key);
  if (at == std::string::npos) return {};
  const std::size_t from = at + key.size();
  return head.substr(from, head.find("\r\n", from) - from);
}

}  // namespace

void ScriptedFileServer::Respond(const std::string& head, int socket) {
  Copy copy;
  std::optional<Step> step;
  {
    std::lock_guard lock(m_mutex);
    copy = m_copy;
    if (!m_steps.empty()) {
      step = m_steps.front();
      m_steps.erase(m_steps.begin());
    }
  }
  const std::string size = std::to_string(copy.body.size());
  std::string validators;
  if (!copy.etag.empty()) validators += "ETag: " + copy.etag + "\r\n";
  if (!copy.lastModified.empty()) validators += "Last-Modified: " + copy.lastModified + "\r\n";

  if (step && step->fault == Fault::Busy) {
    RawHttpServer::SendAll(
        socket, "HTTP/1.1 503 Service Unavailable\r\n" +
                    (step->retryAfter >= 0 ? "Retry-After: " + std::to_string(step->retryAfter) + "\r\n"
                                           : std::string()) +
                    "Content-Length: 4\r\nConnection: close\r\n\r\nbusy");
    return;
  }
  if (step && step->fault == Fault::Bare416) {
    RawHttpServer::SendAll(
        socket, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }

  std::size_t from = 0;
  bool ranged = false;
  const std::string range = HeaderValue(head, "Range");
  const std::string ifRange = HeaderValue(head, "If-Range");
  const bool sameCopy = ifRange.empty() || ifRange == copy.etag || ifRange == copy.lastModified;
  if (range.rfind("bytes=", 0) == 0 && sameCopy) {
    from = std::stoul(range.substr(6));
    ranged = true;
    if (from >= copy.body.size()) {
      RawHttpServer::SendAll(socket, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + size +
                                         "\r\n" + validators +
                                         "Content-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
  }
  const std::string body = copy.body.substr(from);
  std::string answer = ranged
                           ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                                 "-" + std::to_string(copy.body.size() - 1) + "/" + size + "\r\n"
                           : std::string("HTTP/1.1 200 OK\r\n");
  answer += validators + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  if (!step) {
    RawHttpServer::SendAll(socket, answer + body);
    return;
  }
  if (step->fault == Fault::StallMidBody) {
    RawHttpServer::SendAll(socket, answer + body.substr(0, body.size() / 3));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!m_server.Stopping() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return;
  }
  RawHttpServer::SendAll(socket, answer + body.substr(0, body.size() / 2));
  if (step->fault == Fault::CutMidBody) {
    // A reset instead of an orderly close when the socket is closed.
    linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  }
}
