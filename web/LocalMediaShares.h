// Downloaded videos served to the player page by the local web server. The page's web
// process runs in a sandbox that cannot see the student's folders; rather than opening that
// sandbox, the program lends one file at a time under an address nobody can guess
// ("/local-media/<128-bit random token>.<ext>"), read with ranges like any file of the server,
// and takes it back when the player moves on or closes. Any thread.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class LocalMediaShares {
 public:
  static constexpr std::string_view kPrefix = "/local-media/";

  // The address path under which `path` (narrow, locale text) is served from now on.
  std::string Share(const std::string& path);
  // The address answers 404 from now on.
  void Unshare(const std::string& address);
  // The file lent under `address` (the request's path, without query), if any.
  std::optional<std::string> Find(std::string_view address) const;

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, std::string, std::less<>> m_files;
};

// The shares the program's own server answers (the listen thread's web router).
LocalMediaShares& ServedLocalMedia();

// The content type of a lent video by its extension (any case); "application/octet-stream"
// for one the table does not know (the engine then sniffs the bytes).
const char* MediaTypeForPath(const std::string& path);
