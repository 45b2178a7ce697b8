// Form POST, GET and file upload over libcurl.
#include "service/HttpTransport.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/CurlSupport.h"

namespace {

// Prints headers and data of a verbose exchange, bounded by the given size, with any
// token value masked.
int TraceHook(CURL*, curl_infotype type, char* data, size_t size, void*) {
  const char* tag = nullptr;
  switch (type) {
    case CURLINFO_HEADER_IN:
      tag = "[HEADER_IN]";
      break;
    case CURLINFO_HEADER_OUT:
      tag = "[HEADER_OUT]";
      break;
    case CURLINFO_DATA_IN:
      tag = "[DATA_IN]";
      break;
    case CURLINFO_DATA_OUT:
      tag = "[DATA_OUT]";
      break;
    default:
      return 0;
  }
  std::string text(data, size);
  // A form body carries the token as its first key; give it a "?" so MaskTokens sees it.
  text = MaskTokens("?" + text).substr(1);
  std::fprintf(stderr, "%s%s\n", tag, text.c_str());
  return 0;
}

}  // namespace

HttpTransport& HttpTransport::Instance() {
  static HttpTransport instance;
  return instance;
}

HttpTransport::HttpTransport() { curl_global_init(CURL_GLOBAL_ALL); }

// libcurl stays set up until the process ends: a worker may still be inside a transfer while
// exit runs, and cleaning up under it (or setting up from it while the TLS library tears
// itself down) crashes the process.
HttpTransport::~HttpTransport() = default;

namespace {
// libcurl's global set-up is made before main, on the one thread there is then, never lazily
// from whichever worker happens to send the first request.
[[maybe_unused]] const HttpTransport& g_setUpBeforeMain = HttpTransport::Instance();
}  // namespace

size_t HttpTransport::AppendToString(char* data, size_t size, size_t count, void* userdata) {
  auto* answer = static_cast<std::string*>(userdata);
  if (data == nullptr || answer == nullptr) return static_cast<size_t>(-1);
  if (size * count > kMaxAnswerBytes - std::min(answer->size(), kMaxAnswerBytes)) return 0;
  answer->append(data, size * count);
  return count;
}

bool HttpTransport::Exchange(const std::string& url, const std::string* postBody, std::string& answer,
                             long* httpStatus, TransportFailure* failure) {
  if (httpStatus != nullptr) *httpStatus = 0;
  if (failure != nullptr) *failure = TransportFailure::None;
  CurlEasy handle(curl_easy_init());
  if (!handle) return false;
  CURL* h = handle.get();
  bool ok = ApplyCommonOptions(h);
  if (m_verbose) {
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, TraceHook);
  }
  ok = ok && curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT, GetTransportLimits().answerSeconds) == CURLE_OK;
  if (postBody != nullptr) {
    ok = ok && curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size())) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, postBody->c_str()) == CURLE_OK;
  }
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransport::AppendToString);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
  const size_t kept = answer.size();
  const CURLcode code = ok ? curl_easy_perform(h) : CURLE_FAILED_INIT;
  if (code != CURLE_OK) {
    TransportFailure why = TransportFailure::NoAnswer;
    if (code == CURLE_WRITE_ERROR) {
      why = TransportFailure::TooLarge;
      LogError(AnsiToWide(MaskTokens(url)) + L" answer larger than " + std::to_wstring(kMaxAnswerBytes) +
               L" bytes, refused");
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
      why = TransportFailure::TimedOut;
    }
    // What came of a refused answer is never handed on as if it were one.
    answer.resize(kept);
    if (failure != nullptr) *failure = why;
    LogTransportFailure(url, code);
    return false;
  }
  if (httpStatus != nullptr) curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, httpStatus);
  return true;
}

bool HttpTransport::Post(const std::string& url, const std::string& body, std::string& answer,
                         long* httpStatus, TransportFailure* failure) {
  return Exchange(url, &body, answer, httpStatus, failure);
}

bool HttpTransport::Get(const std::string& url, std::string& answer, long* httpStatus,
                        TransportFailure* failure) {
  return Exchange(url, nullptr, answer, httpStatus, failure);
}

bool HttpTransport::UploadFile(const std::string& url, const std::string& filePath, std::string& answer) {
  CurlEasy handle(curl_easy_init());
  if (!handle) {
    LogTransportFailure(url, CURLE_FAILED_INIT);
    return false;
  }
  CURL* h = handle.get();
  CurlMime form(curl_mime_init(h));
  curl_mimepart* part = form ? curl_mime_addpart(form.get()) : nullptr;
  CURLcode code = part == nullptr ? CURLE_OUT_OF_MEMORY : CURLE_OK;
  if (code == CURLE_OK) code = curl_mime_name(part, "file");
  // libcurl reads the file while sending and names the part after the file's base name.
  if (code == CURLE_OK) code = curl_mime_filedata(part, filePath.c_str());
  if (code == CURLE_OK) code = curl_mime_type(part, "multipart/form-data");
  if (code == CURLE_OK && !ApplyCommonOptions(h)) code = CURLE_FAILED_INIT;
  if (code == CURLE_OK) code = curl_easy_setopt(h, CURLOPT_MIMEPOST, form.get());
  if (code == CURLE_OK) code = curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  if (code == CURLE_OK) {
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransport::AppendToString);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
    code = curl_easy_perform(h);
  }
  if (code != CURLE_OK) {
    LogTransportFailure(url, code);
    return false;
  }
  return true;
}
