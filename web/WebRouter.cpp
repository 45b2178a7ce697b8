// The local web server's only route.
#include "web/WebRouter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "app/Log.h"
#include "app/TextConv.h"
#include "web/native/Admission.h"

namespace {

// Owns one file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : m_fd(fd) {}
  ~UniqueFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, -1); }

 private:
  int m_fd;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool HasDotDotSegment(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

// The body names the path as requested: where the program is installed is nobody's business.
void AnswerNotFound(native::http::response& response, const std::string& urlPath) {
  response.set_status(404);
  response.set_header("Content-Type", "text/plain");
  response.end("Not found. URL=" + urlPath);
}

// Logs `what` ("a path", "a link") as leaving the folder and answers it as not found.
void RefusePath(native::http::response& response, const std::string& urlPath, const wchar_t* what) {
  LogError(L"WebRouter refused " + std::wstring(what) + L" leaving the content folder: " + AnsiToWide(urlPath));
  AnswerNotFound(response, urlPath);
}

// True when `real` names something inside the folder whose real path is `root`.
bool IsInside(const std::string& real, const std::string& root) {
  return real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
         (root == "/" || real[root.size()] == '/');
}

// True when `filePath` and the file opened from it as `fd` both lie inside `folder`, every link
// followed: a link in the folder pointing elsewhere (to /etc/passwd, say) is not served. The
// path is checked before the open, so nothing outside is even opened, and the descriptor after
// it, so a link swapped in between is caught too.
bool ResolvesInsideFolder(const std::string& filePath, int fd, const std::string& folder) {
  std::error_code error;
  const std::string root = std::filesystem::canonical(folder, error).string();
  if (error) return false;
  if (fd < 0) return IsInside(std::filesystem::weakly_canonical(filePath, error).string(), root) && !error;
  const std::string real =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
  return !error && IsInside(real, root);
}

// Answers 421 to a request whose Host is not this server on the loopback address: a page of
// another site reaching the port through a rebound name is refused. One log line each.
bool AdmitHost(const native::http::request& request, native::http::response& response) {
  const std::string host = request.get_header("Host");
  if (native::http::host_admitted(host, request.local_port())) return true;
  LogError(L"WebRouter refused a request for another host: \"" + AnsiToWide(host.substr(0, 256)) + L"\"");
  response.fail(421);
  return false;
}

}  // namespace

const char* ContentTypeForPath(const std::string& filePath) {
  std::size_t slash = filePath.rfind('/');
  std::size_t dot = filePath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "text/plain";
  std::string_view ext = std::string_view(filePath).substr(dot + 1);
  if (ext == "html") return "text/html";
  if (ext == "js") return "application/javascript";
  if (ext == "css") return "text/css";
  if (ext == "png") return "image/png";
  if (ext == "jpg") return "image/jpeg";
  if (ext == "pdf") return "application/pdf";
  if (ext == "json") return "application/json";
  if (ext == "woff" || ext == "woff2") return "application/x-font-woff";
  if (ext == "svg") return "image/svg+xml";
  return "text/plain";
}

bool PathLeavesFolder(const std::string& urlPath) {
  if (urlPath.find('\0') != std::string::npos) return true;
  std::string decoded = PercentDecode(urlPath);
  return HasDotDotSegment(urlPath) || HasDotDotSegment(decoded) || decoded.find('\0') != std::string::npos;
}

WebRouter::WebRouter(std::string contentFolder, std::size_t pieceSize)
    : m_contentFolder(std::move(contentFolder)), m_pieceSize(pieceSize) {}

void WebRouter::Handle(native::http::request& request, native::http::response& response) const {
  if (!AdmitHost(request, response)) return;
  const std::string path = request.url().path();
  if (path == "/") {
    response.set_status(200);
    response.set_header("Content-Type", "text/plain");
    response.end("This is the index!");
    return;
  }

  // The path is appended as sent: no percent-decoding, so a file is found by its literal name.
  const std::string filePath = m_contentFolder + path;
  if (PathLeavesFolder(path)) {
    RefusePath(response, path, L"a path");
    return;
  }

  response.set_status(200);
  response.set_header("Content-Type", ContentTypeForPath(filePath));

  if (!ResolvesInsideFolder(filePath, -1, m_contentFolder)) {
    RefusePath(response, path, L"a link");
    return;
  }
  // Non-blocking open: a FIFO planted in the folder must not stall the server thread.
  UniqueFd file(::open(filePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    AnswerNotFound(response, path);
    return;
  }
  if (!ResolvesInsideFolder(filePath, file.get(), m_contentFolder)) {
    RefusePath(response, path, L"a link");
    return;
  }

  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > kWholeFileLimit) {
    // Sent in pieces as the client takes them; should the file shrink meanwhile, the
    // connection closes short of the announced length.
    response.set_header("Content-Length", std::to_string(size));
    response.end(std::make_unique<FileBody>(file.release(), size, m_pieceSize));
    return;
  }

  // A small file is read here in one bounded read. It may hold fewer bytes than its size says
  // (it shrank, or it is a kernel file): the answer carries what was read, with the matching length.
  char buffer[kWholeFileLimit];
  std::uint64_t got = 0;
  while (got < size) {
    ssize_t n = ::read(file.get(), buffer + got, size - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      LogError(L"WebRouter read failed: " + AnsiToWide(filePath) + L": " + AnsiToWide(std::strerror(errno)));
      break;
    }
    got += static_cast<std::uint64_t>(n);
  }
  response.set_header("Content-Length", std::to_string(got));
  response.end(buffer, got);
}
