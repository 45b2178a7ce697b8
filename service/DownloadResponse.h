// What a download learns from the headers of the server's answer: the status, the file's
// validator (ETag or Last-Modified), its lengths and the server's Retry-After. The header
// lines of every answer on the way (redirects, interim answers) pass through Add; a status
// line starts over, so the values are those of the last answer.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

struct DownloadResponse {
  long status = 0;
  std::string etag;
  std::string lastModified;
  std::int64_t contentLength = -1;  // -1: not sent
  std::int64_t rangeStart = -1;     // first byte of a Content-Range, -1: none or "*"
  std::int64_t rangeTotal = -1;     // full size after the "/" of a Content-Range, -1: none or "*"
  std::int64_t retryAfterSeconds = -1;

  // One header line as libcurl hands it over (with its line end). `now` turns a
  // Retry-After date into seconds.
  void Add(std::string_view line, std::time_t now);

  // The value to send in If-Range on a later resume: a strong ETag, else Last-Modified
  // (a weak ETag cannot be used for ranges), else empty. Values that are not usable as a
  // header value count as not sent.
  std::string Validator() const;
  // The full size of the server's file as this answer states it, -1 when it does not.
  std::int64_t FullSize() const;
};

// A validator that can go into a request header as it is: printable, at most 256 bytes.
// The server's values are untrusted; a line break in one would add headers of its own.
bool IsUsableValidator(std::string_view value);
