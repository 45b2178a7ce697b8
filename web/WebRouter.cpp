// The local web server's only route.
#include "web/WebRouter.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "app/Log.h"
#include "app/TextConv.h"
#include "web/LocalMediaShares.h"
#include "web/native/Admission.h"
#include "web/native/FileBody.h"
#include "web/native/UniqueFd.h"

namespace {

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
  LogError(L"WebRouter refused " + std::wstring(what) + L" leaving the content folder: " +
           AnsiToWide(urlPath));
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

// Reads up to `length` bytes from `offset` into `buffer`, fewer when the file ends first (it
// shrank, or it is a kernel file whose size says more than it holds). A failed read logs and
// keeps what was read.
std::uint64_t ReadAt(int fd, char* buffer, std::uint64_t offset, std::uint64_t length,
                     const std::string& filePath) {
  std::uint64_t got = 0;
  while (got < length) {
    ssize_t n = ::pread(fd, buffer + got, length - got, static_cast<off_t>(offset + got));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      LogError(L"WebRouter read failed: " + AnsiToWide(filePath) + L": " + AnsiToWide(std::strerror(errno)));
      break;
    }
    got += static_cast<std::uint64_t>(n);
  }
  return got;
}

// A decimal number of at most 18 digits (no overflow), the whole text.
bool ParseOffset(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

RangeAnswer ParseRange(std::string_view header, std::uint64_t size, ByteRange& range) {
  header = Trim(header);
  constexpr std::string_view kUnit = "bytes=";
  if (header.size() < kUnit.size()) return RangeAnswer::kWhole;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    const char c = header[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != kUnit[i]) return RangeAnswer::kWhole;
  }
  const std::string_view spec = Trim(header.substr(kUnit.size()));
  // Several ranges would need a multipart answer; the whole file answers them as well.
  if (spec.find(',') != std::string_view::npos) return RangeAnswer::kWhole;
  const std::size_t dash = spec.find('-');
  if (dash == std::string_view::npos) return RangeAnswer::kWhole;
  const std::string_view firstText = Trim(spec.substr(0, dash));
  const std::string_view lastText = Trim(spec.substr(dash + 1));
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  if (firstText.empty()) {
    // The last `last` bytes.
    if (!ParseOffset(lastText, last)) return RangeAnswer::kWhole;
    if (last == 0 || size == 0) return RangeAnswer::kUnsatisfiable;
    range.length = std::min(last, size);
    range.first = size - range.length;
    return RangeAnswer::kPart;
  }
  if (!ParseOffset(firstText, first)) return RangeAnswer::kWhole;
  if (lastText.empty()) {
    last = UINT64_MAX;
  } else if (!ParseOffset(lastText, last) || last < first) {
    return RangeAnswer::kWhole;
  }
  if (first >= size) return RangeAnswer::kUnsatisfiable;
  range.first = first;
  range.length = std::min(last, size - 1) - first + 1;
  return RangeAnswer::kPart;
}

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

WebRouter::WebRouter(std::string contentFolder, const LocalMediaShares* media)
    : m_contentFolder(std::move(contentFolder)), m_media(media ? media : &ServedLocalMedia()) {}

WebRouter::FileOpen WebRouter::OpenFile(const std::string& urlPath, const std::string& filePath,
                                        native::base::unique_fd& file) const {
  // Non-blocking opens: a FIFO planted in the folder must not stall the server thread.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  if (m_folder.get() < 0)
    m_folder = native::base::unique_fd(::open(m_contentFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (m_folder.get() >= 0) {
    open_how how{};
    how.flags = kFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, m_folder.get(), urlPath.c_str() + 1, &how, sizeof how);
    if (fd >= 0) {
      file = native::base::unique_fd(static_cast<int>(fd));
      return FileOpen::kOpened;
    }
    if (errno == ENOENT || errno == ENOTDIR) return FileOpen::kMissing;
    // Anything else (a link leaving the folder or an absolute one, no openat2) is decided below.
  }
  if (!ResolvesInsideFolder(filePath, -1, m_contentFolder)) return FileOpen::kOutside;
  file = native::base::unique_fd(::open(filePath.c_str(), kFlags));
  if (file.get() < 0) return FileOpen::kMissing;
  if (!ResolvesInsideFolder(filePath, file.get(), m_contentFolder)) return FileOpen::kOutside;
  return FileOpen::kOpened;
}

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

  if (path.starts_with(LocalMediaShares::kPrefix)) {
    ServeLentMedia(request, response, path);
    return;
  }

  native::base::unique_fd file;
  switch (OpenFile(path, filePath, file)) {
    case FileOpen::kOpened:
      break;
    case FileOpen::kOutside:
      RefusePath(response, path, L"a link");
      return;
    case FileOpen::kMissing:
      AnswerNotFound(response, path);
      return;
  }
  ServeFile(request, response, std::move(file), ContentTypeForPath(filePath), path);
}

void WebRouter::ServeLentMedia(native::http::request& request, native::http::response& response,
                               const std::string& path) const {
  const std::optional<std::string> lent = m_media->Find(path);
  if (!lent) {
    AnswerNotFound(response, path);
    return;
  }
  // Non-blocking, like the folder's files: a FIFO put in the video's place must not stall the
  // server thread.
  native::base::unique_fd file(::open(lent->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    LogError(L"WebRouter cannot open a lent video: " + AnsiToWide(*lent) + L": " +
             AnsiToWide(std::strerror(errno)));
    AnswerNotFound(response, path);
    return;
  }
  ServeFile(request, response, std::move(file), MediaTypeForPath(*lent), *lent);
}

void WebRouter::ServeFile(native::http::request& request, native::http::response& response,
                          native::base::unique_fd file, const char* contentType, const std::string& path) {
  const std::string& filePath = path;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    AnswerNotFound(response, request.url().path());
    return;
  }
  response.set_status(200);
  response.set_header("Content-Type", contentType);

  const auto size = static_cast<std::uint64_t>(info.st_size);
  ByteRange range{0, size};
  // A range asked "if the file is still the same" cannot be checked (the server gives no
  // validators), so such a request gets the whole file.
  const std::string rangeHeader = request.get_header("Range");
  RangeAnswer answer = RangeAnswer::kWhole;
  if (!rangeHeader.empty() && request.get_header("If-Range").empty())
    answer = ParseRange(rangeHeader, size, range);
  auto unsatisfiable = [&] {
    response.set_status(416);
    response.set_header("Content-Type", "text/plain");
    response.set_header("Content-Range", "bytes */" + std::to_string(size));
    response.end(std::string("Requested Range Not Satisfiable"));
  };
  if (answer == RangeAnswer::kUnsatisfiable) {
    unsatisfiable();
    return;
  }
  response.set_header("Accept-Ranges", "bytes");
  if (answer == RangeAnswer::kPart) response.set_status(206);
  auto contentRange = [&](std::uint64_t length) {
    if (answer == RangeAnswer::kPart) {
      response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                               std::to_string(range.first + length - 1) + "/" +
                                               std::to_string(size));
    }
  };

  if (range.length > kWholeFileLimit) {
    // Sent as the client takes it; should the file shrink meanwhile, the connection closes
    // short of the announced length.
    response.set_header("Content-Length", std::to_string(range.length));
    contentRange(range.length);
    response.end(native::http::file_body{std::move(file), range.first, range.length});
    return;
  }

  // A small body is read here in one bounded read and goes out with the head in one write. The
  // answer carries what was read, with the matching length.
  char buffer[kWholeFileLimit];
  const std::uint64_t got = ReadAt(file.get(), buffer, range.first, range.length, filePath);
  if (answer == RangeAnswer::kPart && got == 0) {
    // The file holds less than its size said, none of it inside the range.
    unsatisfiable();
    return;
  }
  response.set_header("Content-Length", std::to_string(got));
  contentRange(got);
  response.end(buffer, got);
}
