// The local web server's only route. A request whose Host is not "127.0.0.1:<port>" or
// "localhost:<port>" gets 421; a file whose real path leaves the folder is not found. "/" answers a fixed text, every other path is a file of
// the content folder (htmllocal/ next to the program) with a content type by its extension.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "web/FileBody.h"
#include "web/native/Request.h"
#include "web/native/Response.h"

class WebRouter {
 public:
  // A file up to this size is read at once and answered in one write; a larger one is read
  // and sent in pieces of `pieceSize` bytes off the loop thread.
  static constexpr std::uint64_t kWholeFileLimit = 64 * 1024;

  // `contentFolder` without a trailing "/"; request paths are appended to it.
  explicit WebRouter(std::string contentFolder, std::size_t pieceSize = FileBody::kPieceSize);

  void Handle(native::http::request& request, native::http::response& response) const;

 private:
  std::string m_contentFolder;
  std::size_t m_pieceSize;
};

// The content type answered for a file path: by the text after its last ".", exact case.
const char* ContentTypeForPath(const std::string& filePath);
// True when a URL path, as sent or percent-decoded, has a ".." segment or a NUL byte.
bool PathLeavesFolder(const std::string& urlPath);
