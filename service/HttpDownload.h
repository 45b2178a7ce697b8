// Resumable download of one address into one local file, over libcurl. The transfer
// appends after the bytes already on disk, but only while the server's copy is the one
// those bytes came from (If-Range with the validator remembered when the file was
// started), and asks a delegate, on every progress report of the library, whether to go on.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <string>

// What identifies the server's copy a local file was started from: its validator (the
// value for If-Range; empty when the server gave none) and its full size in bytes (0 when
// unknown).
struct ResumeInfo {
  std::string validator;
  std::int64_t fullSize = 0;
};

// Consulted by the transfer; it runs on the transfer's thread.
class DownloadProgressDelegate {
 public:
  // expected and received count the current transfer only (not the bytes already on
  // disk); expected is 0 while the size is unknown. Returning false stops the transfer,
  // which then ends with CURLE_ABORTED_BY_CALLBACK.
  virtual bool OnProgress(std::int64_t expected, std::int64_t received) = 0;
  // The server ignored the requested byte range: asked before the file is emptied and the
  // transfer starts again from its first byte. Returning false stops instead (result 42).
  virtual bool OnRestartFromZero() { return true; }
  // A transfer from the first byte learned what identifies the server's copy; called once
  // its headers are in, before the body.
  virtual void OnResumeInfo(const ResumeInfo& /*info*/) {}
  // A transfer (the first, a retry or a restart from zero) is about to start after the
  // `offset` bytes already in the file; its OnProgress counts follow them.
  virtual void OnTransferStart(std::int64_t /*offset*/) {}

 protected:
  ~DownloadProgressDelegate() = default;
};

// The connection and stall limits are the transport's (SetTransportLimits): a transfer
// that receives no bytes for the stall time fails with CURLE_OPERATION_TIMEDOUT.
struct DownloadFileOptions {
  // A local file that cannot be opened is tried this many times, this far apart, before
  // the download fails with CURLE_WRITE_ERROR.
  int openAttempts = 25;
  std::chrono::milliseconds openRetryDelay{200};
};

// The options DownloadToFile uses when given none; tests shorten the retries.
DownloadFileOptions GetDownloadFileOptions();
void SetDownloadFileOptions(const DownloadFileOptions& options);

// Downloads `url` (narrow text) into `localFile`, resuming after the file's current size.
// Returns the libcurl result code: 0 success; 42 when the delegate stopped the transfer;
// 22 for an HTTP error status (nothing of the error page reaches the file); 23 when the
// file cannot be opened or written; 63 when the server sends more than the full size it
// (or the caller) announced: the file never grows past that size and keeps what came.
// Every failure leaves one log line.
int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate);
int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate,
                   const DownloadFileOptions& options);

// What one DownloadToFile call ended with, beyond its result code.
struct DownloadOutcome {
  long httpStatus = 0;                  // of the last answer, 0 when none came
  std::int64_t retryAfterSeconds = -1;  // the last answer's Retry-After, -1 when none
  ResumeInfo resume;                    // what now identifies the local file's source
  int writeError = 0;                   // errno of a write to the file that failed (ENOSPC), else 0
};

// As above, for a file whose source `known` identifies. A resume sends If-Range with its
// validator: when the server's copy changed (200), when it is shorter than the local file,
// or when "range not satisfiable" comes with a full size other than the local size, the
// file is emptied and fetched from the first byte again (each restart leaves a log line).
// Success requires the local size to equal the full size: the one the server stated, else
// known.fullSize, else `expectedSize` (0: unchecked); a shorter file ends with
// CURLE_PARTIAL_FILE (18).
int DownloadToFile(const std::string& url, const std::string& localFile, DownloadProgressDelegate* delegate,
                   const DownloadFileOptions& options, const ResumeInfo& known, std::int64_t expectedSize,
                   DownloadOutcome* outcome);

// libcurl's progress callback for DownloadToFile; `delegate` is the DownloadProgressDelegate.
int DownloadProgressHook(void* delegate, curl_off_t expected, curl_off_t received, curl_off_t uploadExpected,
                         curl_off_t uploadSent);
