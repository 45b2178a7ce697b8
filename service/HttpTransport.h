// The one process-wide HTTP client of the program, a thin layer over libcurl's easy
// interface. It hands back raw answer bytes and, on request, the HTTP status; judging
// the status is the caller's business. Every call uses its own easy handle, so calls may run on any thread at
// once.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

// The largest service answer kept: the service's answers are small JSON texts, and a
// server sending without end must not fill the memory.
constexpr std::size_t kMaxAnswerBytes = 32 * 1024 * 1024;

// Why an exchange gave no answer, for callers that tell the user more than "failed".
enum class TransportFailure { None, NoAnswer, TimedOut, TooLarge };

class HttpTransport {
 public:
  // The single transport; libcurl is set up before main and never torn down, so transfers
  // still running on workers at exit cannot crash it.
  static HttpTransport& Instance();

  // Form POST of a finished application/x-www-form-urlencoded body. True when libcurl
  // completed the exchange, whatever the HTTP status; the body is appended to answer and
  // the status goes to *httpStatus when given (0 when no exchange completed). The whole
  // exchange may take kServiceAnswerSeconds (see TransportLimits) and the answer may hold
  // kMaxAnswerBytes; past either it fails, and *failure (when given) says why.
  bool Post(const std::string& url, const std::string& body, std::string& answer, long* httpStatus = nullptr,
            TransportFailure* failure = nullptr);
  // The same for a GET.
  bool Get(const std::string& url, std::string& answer, long* httpStatus = nullptr,
           TransportFailure* failure = nullptr);
  // POSTs one multipart part "file" holding the local file at filePath.
  bool UploadFile(const std::string& url, const std::string& filePath, std::string& answer);

  // Debugging switch: POST and GET print a libcurl trace to standard error.
  void SetVerbose(bool verbose) { m_verbose = verbose; }
  bool Verbose() const { return m_verbose; }

  // libcurl write hook: appends the chunk to the std::string behind userdata; refuses it
  // (returning 0, which ends the exchange) when the text would grow past kMaxAnswerBytes.
  static size_t AppendToString(char* data, size_t size, size_t count, void* userdata);

  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

 private:
  HttpTransport();
  ~HttpTransport();

  bool Exchange(const std::string& url, const std::string* postBody, std::string& answer, long* httpStatus,
                TransportFailure* failure);

  std::atomic<bool> m_verbose = false;
};
