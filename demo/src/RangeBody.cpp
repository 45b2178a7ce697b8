#include "RangeBody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <charconv>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace demo {

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kMinSlowChunk = 4 * 1024;

bool ParseNumber(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

RangeKind ParseRange(std::string_view header, std::uint64_t size, ByteRange& range) {
    header = Trim(header);
    if (header.substr(0, 6) != "bytes=") return RangeKind::Whole;  // unknown units are ignored
    std::string_view spec = Trim(header.substr(6));
    if (spec.find(',') != std::string_view::npos) return RangeKind::Whole;
    const size_t dash = spec.find('-');
    if (dash == std::string_view::npos) return RangeKind::Whole;
    const std::string_view a = Trim(spec.substr(0, dash)), b = Trim(spec.substr(dash + 1));
    std::uint64_t first = 0, last = 0;
    if (a.empty()) {  // suffix range: the last N bytes
        if (!ParseNumber(b, last)) return RangeKind::Whole;
        if (last == 0 || size == 0) return RangeKind::Unsatisfiable;
        range.length = last < size ? last : size;
        range.first = size - range.length;
        return RangeKind::Partial;
    }
    if (!ParseNumber(a, first)) return RangeKind::Whole;
    if (b.empty()) {
        last = size == 0 ? 0 : size - 1;
    } else if (!ParseNumber(b, last) || last < first) {
        return RangeKind::Whole;  // a syntactically invalid range is ignored
    }
    if (first >= size) return RangeKind::Unsatisfiable;
    if (last >= size) last = size - 1;
    range.first = first;
    range.length = last - first + 1;
    return RangeKind::Partial;
}

void ServeRanged(const httplib::Request& req, httplib::Response& res, std::uint64_t size,
                 const std::string& contentType, ChunkReader reader, std::uint64_t bytesPerSecond) {
    // The library would apply the ranges a second time, without checking them against the
    // size; the request object is ours to change (the library's handler view is const only).
    const_cast<httplib::Request&>(req).ranges.clear();
    res.set_header("Accept-Ranges", "bytes");
    ByteRange range{0, size};
    RangeKind kind = RangeKind::Whole;
    if (req.has_header("Range")) kind = ParseRange(req.get_header_value("Range"), size, range);
    if (kind == RangeKind::Unsatisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (kind == RangeKind::Whole) range = ByteRange{0, size};
    res.status = kind == RangeKind::Partial ? 206 : 200;
    if (kind == RangeKind::Partial) {
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                            std::to_string(range.first + range.length - 1) + "/" +
                                            std::to_string(size));
    }
    if (range.length == 0) {
        res.set_content("", contentType);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    res.set_content_provider(
        static_cast<size_t>(range.length), contentType,
        [reader = std::move(reader), range, bytesPerSecond, start](size_t offset, size_t length,
                                                                   httplib::DataSink& sink) {
            // A slowed answer goes in pieces of about an eighth of a second, so that what a
            // client has received follows the rate closely (and a cut takes effect at once).
            const size_t piece = bytesPerSecond > 0
                                     ? std::clamp<size_t>(static_cast<size_t>(bytesPerSecond / 8), kMinSlowChunk, kChunk)
                                     : kChunk;
            std::vector<char> buffer(std::min(length, piece));
            if (!reader(range.first + offset, buffer.data(), buffer.size())) return false;
            if (bytesPerSecond > 0) {
                const auto due = start + std::chrono::microseconds((offset + buffer.size()) * 1000000ull / bytesPerSecond);
                std::this_thread::sleep_until(due);
            }
            return sink.write(buffer.data(), buffer.size());
        });
}

bool ServeFile(const httplib::Request& req, httplib::Response& res, const std::filesystem::path& path,
               const std::string& contentType, std::uint64_t bytesPerSecond, CutCheck cutAt) {
    auto file = std::make_shared<FileHandle>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (file->get() < 0 || ::fstat(file->get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    ServeRanged(req, res, static_cast<std::uint64_t>(st.st_size), contentType,
                [file, cutAt = std::move(cutAt)](std::uint64_t offset, char* buffer, size_t length) {
                    if (cutAt && cutAt(offset)) return false;
                    size_t done = 0;
                    while (done < length) {
                        const ssize_t n = ::pread(file->get(), buffer + done, length - done,
                                                  static_cast<off_t>(offset + done));
                        if (n < 0 && errno == EINTR) continue;
                        if (n <= 0) return false;  // the file shrank or failed under us
                        done += static_cast<size_t>(n);
                    }
                    return true;
                },
                bytesPerSecond);
    return true;
}

std::string ContentTypeFor(const std::filesystem::path& path) {
    const std::string ext = path.extension().string();
    if (ext == ".mp4") return "video/mp4";
    if (ext == ".webm") return "video/webm";
    if (ext == ".pdf") return "application/pdf";
    if (ext == ".png") return "image/png";
    if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
    if (ext == ".gif") return "image/gif";
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".js") return "text/javascript; charset=utf-8";
    if (ext == ".json") return "application/json; charset=utf-8";
    return "application/octet-stream";
}

}  // namespace demo
