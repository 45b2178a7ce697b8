// The local web server's only route. A request whose Host is not "127.0.0.1:<port>" or
// "localhost:<port>" gets 421; a file whose real path leaves the folder is not found. "/"
// answers a fixed text, a path under "/local-media/" the video lent there (LocalMediaShares),
// every other path is a file of the content folder (htmllocal/ next to the program) with a
// content type by its extension; files whole or one byte range of them (206).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "web/native/Request.h"
#include "web/native/Response.h"
#include "web/native/UniqueFd.h"

class LocalMediaShares;

class WebRouter {
 public:
  // A body up to this size is read at once and answered with its head in one write; a larger
  // one is sent by the kernel straight from the file (sendfile) as the client takes it.
  static constexpr std::uint64_t kWholeFileLimit = 64 * 1024;

  // `contentFolder` without a trailing "/"; request paths are appended to it. `media`: the
  // lent videos it answers (the program's own by default; it must outlive the router).
  explicit WebRouter(std::string contentFolder, const LocalMediaShares* media = nullptr);

  void Handle(native::http::request& request, native::http::response& response) const;

 private:
  enum class FileOpen { kOpened, kMissing, kOutside };
  // Opens the file at `urlPath` (with its leading "/") inside the folder. The kernel resolves
  // it beneath the folder's descriptor in one call (openat2, RESOLVE_BENEATH), following links
  // inside and refusing any way out. What that cannot settle (an absolute link, a kernel
  // without openat2) is decided by comparing real paths before and after the open, so a link
  // swapped in between is caught too.
  FileOpen OpenFile(const std::string& urlPath, const std::string& filePath,
                    native::base::unique_fd& file) const;

  // Answers the opened file `file` (whole, or the asked range), as `contentType`.
  static void ServeFile(native::http::request& request, native::http::response& response,
                        native::base::unique_fd file, const char* contentType, const std::string& path);
  // Answers a path under "/local-media/": the lent video, or not found.
  void ServeLentMedia(native::http::request& request, native::http::response& response,
                      const std::string& path) const;

  std::string m_contentFolder;
  const LocalMediaShares* m_media;
  // The folder's descriptor, opened at the first request; only the loop thread uses it.
  mutable native::base::unique_fd m_folder;
};

// The content type answered for a file path: by the text after its last ".", exact case.
const char* ContentTypeForPath(const std::string& filePath);
// True when a URL path, as sent or percent-decoded, has a ".." segment or a NUL byte.
bool PathLeavesFolder(const std::string& urlPath);

struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};
enum class RangeAnswer {
  kWhole,          // no usable range (absent, malformed, several): the whole file, 200
  kPart,           // one range inside the file: 206 with `range` set
  kUnsatisfiable,  // a range wholly past the end: 416
};
// How a "Range" header value ("bytes=0-99", "bytes=100-", "bytes=-100") applies to a file of
// `size` bytes. An end past the file is cut to it; a suffix longer than the file takes it whole.
RangeAnswer ParseRange(std::string_view header, std::uint64_t size, ByteRange& range);
