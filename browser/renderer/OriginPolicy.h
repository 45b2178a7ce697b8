// Which pages may use the script bridge: the origin of a page address, and the test of an
// address against the list of trusted origins. Shared by the UI process and the extension.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "scheme://host[:port]" of an http(s) address (lower case, the scheme's default port left
// out), "file://" for any local file, and "" for everything else (about:, data:, blob:,
// javascript:, text that is no address), which no list can trust.
std::string OriginOf(std::string_view url);

// What a log line says of an address: its origin, or only its scheme ("data:", "about:")
// for the rest, so neither a query's secrets nor a whole data: document reach the log.
std::string OriginForLog(std::string_view url);

// The decoded absolute path of a local file address; empty for any other address, a folder
// ("/" at the end) or a path with "." or ".." segments.
std::string LocalFilePathOf(std::string_view url);

// True when the address's origin is one of `trusted` (each given as an address or origin).
// A local file is trusted only when `trusted` names that very file by its address; the bare
// "file://" trusts no file.
bool IsTrustedUrl(const std::vector<std::string>& trusted, std::string_view url);
