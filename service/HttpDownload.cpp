// The download transfer: file opening with bounded retries, the easy handle's options, a
// restart from zero when a server ignores the byte range, and the completion checks.
#include "service/HttpDownload.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/CurlSupport.h"
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

FilePtr OpenForAppend(const std::string& path, const DownloadFileOptions& options) {
  const int attempts = options.openAttempts < 1 ? 1 : options.openAttempts;
  for (int attempt = 1;; ++attempt) {
    // Append only: bytes already on disk are never overwritten.
    if (std::FILE* file = std::fopen(path.c_str(), "ab")) return FilePtr(file);
    if (attempt >= attempts) return nullptr;
    std::this_thread::sleep_for(options.openRetryDelay);
  }
}

long ResponseCode(CURL* handle) {
  long code = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

int Transfer(const std::string& url, std::FILE* file, std::int64_t offset,
             DownloadProgressDelegate* delegate) {
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
  curl_easy_setopt(h, CURLOPT_WRITEDATA, file);  // the library's default writer: fwrite
  curl_easy_setopt(h, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(offset));
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &DownloadProgressHook);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, delegate);
  int result = curl_easy_perform(h);
  // "Range not satisfiable" to a resumed request: the file already holds every byte.
  if (result == CURLE_HTTP_RETURNED_ERROR && offset > 0 && ResponseCode(h) == 416) {
    result = CURLE_OK;
  }
  return result;
}

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
  HttpTransport::Instance();  // libcurl's global set-up
  FilePtr file = OpenForAppend(localFile, options);
  if (!file) {
    LogError(L"Open file " + AnsiToWide(localFile) + L" false");
    LogTransportFailure(url, CURLE_WRITE_ERROR);
    return CURLE_WRITE_ERROR;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);
  const std::int64_t offset = OpenFileSize(file.get());

  int result = Transfer(url, file.get(), offset, delegate);
  if (result == CURLE_RANGE_ERROR && offset > 0) {
    // The server sent the whole file instead of the missing part (or a range other than
    // the one asked for). Appending it would corrupt the file, so start again from zero.
    LogError(AnsiToWide(MaskTokens(url)) + L" ignores byte ranges, downloading from the start");
    if (delegate && !delegate->OnRestartFromZero()) {
      result = CURLE_ABORTED_BY_CALLBACK;
    } else if (std::fflush(file.get()) != 0 || ::ftruncate(::fileno(file.get()), 0) != 0) {
      result = CURLE_WRITE_ERROR;
    } else {
      result = Transfer(url, file.get(), 0, delegate);
    }
  }
  // Buffered bytes that cannot reach the disk turn a success into a write error.
  if (std::fclose(file.release()) != 0 && result == CURLE_OK) result = CURLE_WRITE_ERROR;
  if (result != CURLE_OK) {
    LogTransportFailure(url, static_cast<CURLcode>(result));
  }
  return result;
}
