// Header parsing of a download's answer.
#include "service/DownloadResponse.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A whole non-negative decimal number, -1 for anything else.
std::int64_t Number(std::string_view text) {
  std::int64_t value = -1;
  const char* end = text.data() + text.size();
  auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || value < 0) return -1;
  return value;
}

}  // namespace

void DownloadResponse::Add(std::string_view line, std::time_t now) {
  line = Trim(line);
  if (line.rfind("HTTP/", 0) == 0) {
    *this = DownloadResponse();
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos) {
      const std::string_view code = line.substr(space + 1, 3);
      const std::int64_t value = Number(code);
      status = value < 0 ? 0 : static_cast<long>(value);
    }
    return;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view name = Trim(line.substr(0, colon));
  const std::string_view value = Trim(line.substr(colon + 1));
  if (SameName(name, "ETag")) {
    etag = value;
  } else if (SameName(name, "Last-Modified")) {
    lastModified = value;
  } else if (SameName(name, "Content-Length")) {
    contentLength = Number(value);
  } else if (SameName(name, "Content-Range")) {
    // "bytes 1000-1999/5000", "bytes */5000" or "bytes 0-9/*".
    if (value.rfind("bytes ", 0) != 0) return;
    const std::string_view ranges = Trim(value.substr(6));
    const std::size_t slash = ranges.find('/');
    if (slash == std::string_view::npos) return;
    const std::string_view range = ranges.substr(0, slash);
    rangeTotal = Number(ranges.substr(slash + 1));
    const std::size_t dash = range.find('-');
    rangeStart = dash == std::string_view::npos ? -1 : Number(range.substr(0, dash));
  } else if (SameName(name, "Retry-After")) {
    // Either seconds or an HTTP date.
    retryAfterSeconds = Number(value);
    if (retryAfterSeconds < 0 && !value.empty()) {
      const std::time_t at = curl_getdate(std::string(value).c_str(), nullptr);
      if (at >= 0) retryAfterSeconds = at > now ? static_cast<std::int64_t>(at - now) : 0;
    }
  }
}

bool IsUsableValidator(std::string_view value) {
  if (value.empty() || value.size() > 256) return false;
  return std::all_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte != 0x7F;
  });
}

std::string DownloadResponse::Validator() const {
  if (IsUsableValidator(etag) && etag.rfind("W/", 0) != 0) return etag;
  if (IsUsableValidator(lastModified)) return lastModified;
  return {};
}

std::int64_t DownloadResponse::FullSize() const {
  if (status == 206 || status == 416) return rangeTotal;
  if (status == 200) return contentLength;
  return -1;
}
