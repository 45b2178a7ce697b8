// Streamed answers with byte ranges: a body of known size produced piece by piece (from a
// file on disk or a generator), never held whole in memory. One "Range: bytes=" range is
// honoured (206 with Content-Range); an unsatisfiable one gets 416; several ranges are
// answered with the whole body (200), which HTTP allows.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace demo {

// Fills `buffer` with `length` bytes of the body starting at `offset`; false on a read error.
using ChunkReader = std::function<bool(std::uint64_t offset, char* buffer, size_t length)>;

struct ByteRange {
    std::uint64_t first = 0, length = 0;
};
enum class RangeKind { Whole, Partial, Unsatisfiable };

// Interprets a Range header value against a body of `size` bytes.
RangeKind ParseRange(std::string_view header, std::uint64_t size, ByteRange& range);

// `bytesPerSecond` > 0 slows the stream down (used to test pausing and resuming downloads).
void ServeRanged(const httplib::Request& req, httplib::Response& res, std::uint64_t size,
                 const std::string& contentType, ChunkReader reader, std::uint64_t bytesPerSecond = 0);

// Whether an answer is to be cut off (its connection closed) before the piece that starts
// at byte `offset` of the file: a network drop, for tests.
using CutCheck = std::function<bool(std::uint64_t offset)>;

// Serves a regular file with ranges, optionally slowed to `bytesPerSecond` and cut off where
// `cutAt` says; false (and nothing set) when it cannot be opened.
bool ServeFile(const httplib::Request& req, httplib::Response& res, const std::filesystem::path& path,
               const std::string& contentType, std::uint64_t bytesPerSecond = 0, CutCheck cutAt = {});

std::string ContentTypeFor(const std::filesystem::path& path);

}  // namespace demo
