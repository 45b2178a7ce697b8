// Shared libcurl plumbing of the transport and the download engine: owning handle types,
// the options every exchange shares, and the one failure line of a failed exchange.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlMimeDeleter {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMime = std::unique_ptr<curl_mime, CurlMimeDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// How long a service answer (sign-in, catalogue, reports) may take as a whole: a server
// that trickles a byte now and then never trips the stall limit, and the sign-in must not
// wait for it forever. Downloads have no overall limit, only the stall limit.
constexpr long kServiceAnswerSeconds = 30;

// Time limits of one exchange: connecting, going without any progress once connected, and
// (service answers only) the whole exchange.
struct TransportLimits {
  long connectSeconds = 30;
  long stallSeconds = 60;
  long answerSeconds = kServiceAnswerSeconds;
};
TransportLimits GetTransportLimits();
// Tests shorten the limits; the program keeps the defaults.
void SetTransportLimits(const TransportLimits& limits);

// How long the first answer of a start may take when the program can also start without
// the school: a captive portal or a network that hardly moves counts as no network after
// this, instead of keeping the student behind a spinner for the full limits.
constexpr long kQuickAnswerSeconds = 4;

// While an object lives, the exchanges of its thread use at most kQuickAnswerSeconds (or
// the given limit) for connecting, stalling and the whole answer. Scopes nest.
class ScopedQuickAnswer {
 public:
  explicit ScopedQuickAnswer(long seconds = kQuickAnswerSeconds);
  ~ScopedQuickAnswer();
  ScopedQuickAnswer(const ScopedQuickAnswer&) = delete;
  ScopedQuickAnswer& operator=(const ScopedQuickAnswer&) = delete;

 private:
  long m_before;
};

// Sets what every exchange needs: no signals, http/https only, certificate and host name
// verification against the system's CAs plus the configured extra CA file, and the limits.
// Returns false (nothing logged) when libcurl refuses an option.
bool ApplyCommonOptions(CURL* handle);

// The URL with the value of every "token" query parameter replaced by "***", so a
// session token never reaches the log.
std::string MaskTokens(std::string_view url);

// Writes the failure line of one exchange: the URL (tokens masked), " curl ret:", the code.
void LogTransportFailure(std::string_view url, CURLcode code);
