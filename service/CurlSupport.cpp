// Options and failure reporting shared by every libcurl exchange.
#include "service/CurlSupport.h"

#include <algorithm>
#include <mutex>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/ServiceConfig.h"

namespace {

// The folder of hashed system certificates; added next to an extra CA file because
// CURLOPT_CAINFO alone would replace the system bundle instead of extending it.
constexpr const char* kSystemCaPath = "/etc/ssl/certs";

std::mutex gLimitsMutex;
TransportLimits gLimits;
// The quick-answer limit of this thread; 0 when none is in force.
thread_local long tQuickSeconds = 0;

}  // namespace

TransportLimits GetTransportLimits() {
  TransportLimits limits;
  {
    std::lock_guard lock(gLimitsMutex);
    limits = gLimits;
  }
  if (tQuickSeconds > 0) {
    limits.connectSeconds = std::min(limits.connectSeconds, tQuickSeconds);
    limits.stallSeconds = std::min(limits.stallSeconds, tQuickSeconds);
    limits.answerSeconds = std::min(limits.answerSeconds, tQuickSeconds);
  }
  return limits;
}

ScopedQuickAnswer::ScopedQuickAnswer(long seconds) : m_before(tQuickSeconds) {
  tQuickSeconds = m_before > 0 ? std::min(m_before, seconds) : seconds;
}

ScopedQuickAnswer::~ScopedQuickAnswer() { tQuickSeconds = m_before; }

void SetTransportLimits(const TransportLimits& limits) {
  std::lock_guard lock(gLimitsMutex);
  gLimits = limits;
}

bool ApplyCommonOptions(CURL* handle) {
  const TransportLimits limits = GetTransportLimits();
  bool ok = true;
  auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
  set(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L));
  set(curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https"));
  set(curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
  set(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L));
  set(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L));
  const std::string caFile = GetExtraCaFile();
  if (!caFile.empty()) {
    set(curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str()));
    set(curl_easy_setopt(handle, CURLOPT_CAPATH, kSystemCaPath));
  }
  set(curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds));
  // Less than one byte per second for the stall time ends the exchange with code 28.
  set(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L));
  set(curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds));
  return ok;
}

std::string MaskTokens(std::string_view url) {
  static constexpr std::string_view kKey = "token=";
  std::string out(url);
  const size_t query = out.find('?');
  if (query == std::string::npos) return out;
  size_t pos = query + 1;
  // A value ends at the next parameter, the fragment, or the white space that follows a
  // URL inside a request line.
  while (pos < out.size()) {
    size_t end = out.find_first_of("&# \r\n", pos);
    if (end == std::string::npos) end = out.size();
    if (out.compare(pos, kKey.size(), kKey) == 0) {
      const size_t valueStart = pos + kKey.size();
      out.replace(valueStart, end - valueStart, "***");
      end = valueStart + 3;
    }
    if (end >= out.size() || out[end] != '&') break;
    pos = end + 1;
  }
  return out;
}

void LogTransportFailure(std::string_view url, CURLcode code) {
  LogError(AnsiToWide(MaskTokens(url)) + L" curl ret:" + std::to_wstring(static_cast<int>(code)));
}
