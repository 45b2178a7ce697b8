// The local web server's only route: "/" answers a fixed text, every other path is a file of
// the content folder (htmllocal/ next to the program) with a content type by its extension.
#pragma once

#include <cstdint>
#include <string>

#include "web/native/Request.h"
#include "web/native/Response.h"

class WebRouter {
 public:
  // Files are read whole into memory; a larger one answers 500.
  static constexpr std::uint64_t kMaxFileSize = std::uint64_t{1} << 30;

  // `contentFolder` without a trailing "/"; request paths are appended to it.
  explicit WebRouter(std::string contentFolder, std::uint64_t maxFileSize = kMaxFileSize);

  void Handle(native::http::request& request, native::http::response& response) const;

 private:
  std::string m_contentFolder;
  std::uint64_t m_maxFileSize;
};

// The content type answered for a file path: by the text after its last ".", exact case.
const char* ContentTypeForPath(const std::string& filePath);
// True when a URL path, as sent or percent-decoded, has a ".." segment or a NUL byte.
bool PathLeavesFolder(const std::string& urlPath);
