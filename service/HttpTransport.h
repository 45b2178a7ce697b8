// The one process-wide HTTP client of the program, a thin layer over libcurl's easy
// interface. It hands back raw answer bytes and, on request, the HTTP status; judging
// the status is the caller's business. Every call uses its own easy handle, so calls may run on any thread at
// once.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

class HttpTransport {
 public:
  // The single transport; libcurl is set up before main and never torn down, so transfers
  // still running on workers at exit cannot crash it.
  static HttpTransport& Instance();

  // Form POST of a finished application/x-www-form-urlencoded body. True when libcurl
  // completed the exchange, whatever the HTTP status; the body is appended to answer and
  // the status goes to *httpStatus when given (0 when no exchange completed).
  bool Post(const std::string& url, const std::string& body, std::string& answer, long* httpStatus = nullptr);
  // The same for a GET.
  bool Get(const std::string& url, std::string& answer, long* httpStatus = nullptr);
  // POSTs one multipart part "file" holding the local file at filePath.
  bool UploadFile(const std::string& url, const std::string& filePath, std::string& answer);

  // Debugging switch: POST and GET print a libcurl trace to standard error.
  void SetVerbose(bool verbose) { m_verbose = verbose; }
  bool Verbose() const { return m_verbose; }

  // libcurl write hook: appends the chunk to the std::string behind userdata.
  static size_t AppendToString(char* data, size_t size, size_t count, void* userdata);

  HttpTransport(const HttpTransport&) = delete;
  HttpTransport& operator=(const HttpTransport&) = delete;

 private:
  HttpTransport();
  ~HttpTransport();

  bool Exchange(const std::string& url, const std::string* postBody, std::string& answer, long* httpStatus);

  std::atomic<bool> m_verbose = false;
};
