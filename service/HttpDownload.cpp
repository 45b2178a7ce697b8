// The download transfer: file opening with bounded retries, the easy handle's options, the
// resume checks (If-Range, restarts from zero when the server's copy is not the local
// file's), and the completion checks.
#include "service/HttpDownload.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/CurlSupport.h"
#include "service/DownloadResponse.h"
#include "service/HttpTransport.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Large reads and writes keep the transfer's cost per byte low.
constexpr long kReceiveBufferSize = 512 * 1024;
constexpr std::size_t kFileBufferSize = 1024 * 1024;

std::mutex g_optionsMutex;
DownloadFileOptions g_options;

// The size of the open file: what the appended bytes will follow.
std::int64_t OpenFileSize(std::FILE* file) {
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0) return 0;
  return static_cast<std::int64_t>(info.st_size);
}

// Why a file operation failed, for the log ("No space left on device").
std::wstring Reason(int error) { return AnsiToWide(std::strerror(error)); }

FilePtr OpenForAppend(const std::string& path, const DownloadFileOptions& options, int* error) {
  const int attempts = options.openAttempts < 1 ? 1 : options.openAttempts;
  for (int attempt = 1;; ++attempt) {
    // Append only: bytes already on disk are never overwritten.
    if (std::FILE* file = std::fopen(path.c_str(), "ab")) return FilePtr(file);
    *error = errno;
    if (attempt >= attempts) return nullptr;
    std::this_thread::sleep_for(options.openRetryDelay);
  }
}

// The body's writer: the library's own fwrite, keeping why a write fell short (a full
// disk, a quota) so that the failure's log line can say it. A body that goes on past the
// announced full size is cut there: a server sending without end must not fill the disk.
struct FileSink {
  std::FILE* file = nullptr;
  int error = 0;
  std::int64_t fullSize = -1;  // what the file may hold in all, -1: unknown
  std::int64_t room = -1;      // bytes this body may still add, -1: no limit
  bool overflow = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<FileSink*>(user);
  std::size_t bytes = size * count;
  if (sink->room >= 0 && static_cast<std::int64_t>(bytes) > sink->room) {
    bytes = static_cast<std::size_t>(sink->room);
    sink->overflow = true;
  }
  const std::size_t written = std::fwrite(data, 1, bytes, sink->file);
  if (written != bytes && sink->error == 0) sink->error = errno;
  if (sink->room >= 0) sink->room -= static_cast<std::int64_t>(written);
  // Less than handed over ends the transfer (CURLE_WRITE_ERROR).
  return sink->overflow ? 0 : written;
}

long ResponseCode(CURL* handle) {
  long code = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

// The header callback's state: the answer's facts, whom to tell what a transfer from
// the first byte learned about the server's copy, and the body's limit to set.
struct HeaderSink {
  DownloadResponse response;
  std::int64_t offset = 0;
  DownloadProgressDelegate* delegate = nullptr;
  FileSink* body = nullptr;
  std::int64_t announced = 0;  // the full size known before this answer, 0: none
};

// Once an answer's headers are in: how much of its body the file may take. A content
// answer may fill the file up to the full size it states, else the one known before.
void LimitBody(HeaderSink& sink) {
  const long status = sink.response.status;
  if (status != 200 && status != 206) return;
  const std::int64_t stated = sink.response.FullSize();
  const std::int64_t fullSize = stated >= 0 ? stated : sink.announced;
  if (fullSize <= 0) return;
  const std::int64_t start = status == 206 ? sink.offset : 0;
  sink.body->fullSize = fullSize;
  sink.body->room = std::max<std::int64_t>(fullSize - start, 0);
}

std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<HeaderSink*>(user);
  const std::string_view line(data, size * count);
  if (line == "\r\n" || line == "\n") {
    LimitBody(*sink);
    // End of one answer's headers: a fresh file's source is known before its body arrives.
    if (sink->offset == 0 && sink->response.status == 200 && sink->delegate) {
      sink->delegate->OnResumeInfo(
          {sink->response.Validator(), std::max<std::int64_t>(sink->response.FullSize(), 0)});
    }
  } else {
    sink->response.Add(line, std::time(nullptr));
  }
  return size * count;
}

int Transfer(const std::string& url, std::FILE* file, std::int64_t offset, const std::string& ifRange,
             std::int64_t announced, DownloadProgressDelegate* delegate, DownloadResponse* response,
             int* writeError) {
  CurlEasy handle(curl_easy_init());
  if (!handle) return CURLE_FAILED_INIT;
  CURL* h = handle.get();
  // No signals, web protocols only (also after a redirect), verified certificates, the
  // connection limit and the stall limit (no bytes for that long fails the transfer).
  if (!ApplyCommonOptions(h)) return CURLE_FAILED_INIT;
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  // An error page must never be appended to the file as if it were content.
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  FileSink body{file};
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(h, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(offset));
  // With If-Range a changed copy answers 200, which the library refuses for a resumed
  // transfer (CURLE_RANGE_ERROR) before any of its body reaches the file.
  CurlSlist headers;
  if (offset > 0 && IsUsableValidator(ifRange)) {
    headers.reset(curl_slist_append(nullptr, ("If-Range: " + ifRange).c_str()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  }
  HeaderSink sink{{}, offset, delegate, &body, announced};
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CollectHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &sink);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &DownloadProgressHook);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, delegate);
  int result = curl_easy_perform(h);
  if (body.overflow) {
    LogError(AnsiToWide(MaskTokens(url)) + L" sends more than its " + std::to_wstring(body.fullSize) +
             L" bytes, stopped");
    result = CURLE_FILESIZE_EXCEEDED;
  } else if (result == CURLE_WRITE_ERROR && body.error != 0) {
    LogError(AnsiToWide(MaskTokens(url)) + L" cannot be written to disk: " + Reason(body.error));
    *writeError = body.error;
  }
  sink.response.status = ResponseCode(h);
  *response = sink.response;
  return result;
}

// Empties the file so that the next transfer starts from its first byte.
int Truncate(std::FILE* file) {
  if (std::fflush(file) != 0 || ::ftruncate(::fileno(file), 0) != 0) return CURLE_WRITE_ERROR;
  return CURLE_OK;
}

std::wstring Bytes(std::int64_t count) { return std::to_wstring(count); }

}  // namespace

DownloadFileOptions GetDownloadFileOptions() {
  std::lock_guard lock(g_optionsMutex);
  return g_options;
}

void SetDownloadFileOptions(const DownloadFileOptions& options) {
  std::lock_guard lock(g_optionsMutex);
  g_options = options;
}

int DownloadProgressHook(void* delegate, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t) {
  if (!delegate) return 0;
  return static_cast<DownloadProgressDelegate*>(delegate)->OnProgress(expected, received) ? 0 : 1;
}

int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate) {
  return DownloadToFile(url, localFile, delegate, GetDownloadFileOptions());
}

int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate,
                   const DownloadFileOptions& options) {
  return DownloadToFile(url, localFile, delegate, options, {}, 0, nullptr);
}

int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate,
                   const DownloadFileOptions& options, const ResumeInfo& known, std::int64_t expectedSize,
                   DownloadOutcome* outcome) {
  HttpTransport::Instance();  // libcurl's global set-up
  DownloadOutcome ignored;
  if (!outcome) outcome = &ignored;
  *outcome = DownloadOutcome{};
  outcome->resume = known;
  int openError = 0;
  FilePtr file = OpenForAppend(localFile, options, &openError);
  if (!file) {
    LogError(L"Open file " + AnsiToWide(localFile) + L" false: " + Reason(openError));
    LogTransportFailure(url, CURLE_WRITE_ERROR);
    return CURLE_WRITE_ERROR;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);
  const std::wstring address = AnsiToWide(MaskTokens(url));
  ResumeInfo source = known;
  std::int64_t offset = OpenFileSize(file.get());
  DownloadResponse response;
  int result = CURLE_OK;
  // A server whose copy keeps changing (or that keeps refusing) does not loop forever.
  constexpr int kMostRestarts = 2;
  for (int restarts = 0;; ++restarts) {
    const std::string ifRange = offset > 0 ? source.validator : std::string();
    if (delegate) delegate->OnTransferStart(offset);
    result = Transfer(url, file.get(), offset, ifRange, source.fullSize > 0 ? source.fullSize : expectedSize,
                      delegate, &response, &outcome->writeError);
    std::wstring why;
    if (result == CURLE_RANGE_ERROR && offset > 0) {
      // The server sent the whole file instead of the missing part (or a range other than
      // the one asked for). Appending it would corrupt the file.
      if (!ifRange.empty() && response.status == 200) {
        LogError(address + L" validator mismatch: had " + AnsiToWide(ifRange) + L", the server has " +
                 AnsiToWide(response.Validator()));
        why = L" changed on the server";
      } else {
        why = L" ignores byte ranges";
      }
    } else if ((result == CURLE_OK || result == CURLE_HTTP_RETURNED_ERROR) && offset > 0 &&
               response.status == 416) {
      // "Range not satisfiable" to a resumed request (the library lets it pass as a success):
      // the file holds every byte when its size is the full size; a different size means the
      // server's copy is not the local one's.
      const std::int64_t fullSize = response.FullSize() >= 0 ? response.FullSize()
                                    : source.fullSize > 0    ? source.fullSize
                                                             : expectedSize;
      if (fullSize <= 0 || fullSize == offset) {
        result = CURLE_OK;
        if (fullSize > 0) source.fullSize = fullSize;
      } else {
        why = L" has " + Bytes(fullSize) + L" bytes, the local file " + Bytes(offset);
      }
    }
    if (why.empty()) break;
    if (restarts >= kMostRestarts) {
      result = CURLE_RANGE_ERROR;
      break;
    }
    LogError(address + why + L", downloading from the start");
    source = ResumeInfo{};
    offset = 0;
    if (delegate && !delegate->OnRestartFromZero()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    result = Truncate(file.get());
    if (result != CURLE_OK) break;
  }
  if (offset == 0 && response.status == 200) {
    source = ResumeInfo{response.Validator(), std::max<std::int64_t>(response.FullSize(), 0)};
  } else if (response.status == 206 && !source.validator.empty() && response.FullSize() > 0) {
    source.fullSize = response.FullSize();  // the server confirmed the copy and stated its size
  }
  // Buffered bytes that cannot reach the disk turn a success into a write error.
  if (std::fflush(file.get()) != 0) {
    const int error = errno;
    LogError(address + L" cannot be written to disk: " + Reason(error));
    if (result == CURLE_OK) result = CURLE_WRITE_ERROR;
    if (outcome->writeError == 0) outcome->writeError = error;
  }
  if (result == CURLE_OK) {
    // Only the whole file is a success: a body cut short without the library noticing (no
    // length sent, or a range ending before the end) leaves a file that is not done.
    std::int64_t fullSize = response.FullSize();
    if (fullSize < 0) fullSize = source.fullSize > 0 ? source.fullSize : expectedSize;
    if (response.status == 416) fullSize = source.fullSize;
    const std::int64_t size = OpenFileSize(file.get());
    if (fullSize > 0 && size != fullSize) {
      LogError(address + L" ended at " + Bytes(size) + L" of " + Bytes(fullSize) + L" bytes");
      result = CURLE_PARTIAL_FILE;
    }
  }
  if (std::fclose(file.release()) != 0) {
    const int error = errno;
    LogError(address + L" cannot be written to disk: " + Reason(error));
    if (result == CURLE_OK) result = CURLE_WRITE_ERROR;
    if (outcome->writeError == 0) outcome->writeError = error;
  }
  // A transfer the delegate stopped (a pause, a delete, the program ending) went as asked.
  if (result == CURLE_ABORTED_BY_CALLBACK) {
    LogNormal(address + L" stopped on request");
  } else if (result != CURLE_OK) {
    LogTransportFailure(url, static_cast<CURLcode>(result));
  }
  outcome->httpStatus = response.status;
  outcome->retryAfterSeconds = response.retryAfterSeconds;
  outcome->resume = source;
  return result;
}
