// The retry schedule of download jobs.
#include "downloads/RetryPolicy.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace {

std::mutex g_policyMutex;
RetryPolicy g_policy;

}  // namespace

RetryPolicy GetRetryPolicy() {
  std::lock_guard lock(g_policyMutex);
  return g_policy;
}

void SetRetryPolicy(const RetryPolicy& policy) {
  std::lock_guard lock(g_policyMutex);
  g_policy = policy;
}

bool IsRetryableFailure(int code, long httpStatus) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_PARTIAL_FILE:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return true;
    case CURLE_HTTP_RETURNED_ERROR:
      return httpStatus >= 500 || httpStatus == 429;
    default:
      return false;
  }
}

std::chrono::milliseconds RetryDelay(const RetryPolicy& policy, std::size_t retry, long httpStatus,
                                     std::int64_t retryAfterSeconds, std::mt19937& random) {
  using std::chrono::milliseconds;
  if ((httpStatus == 429 || httpStatus == 503) && retryAfterSeconds >= 0) {
    const std::int64_t capSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(policy.retryAfterCap).count();
    if (retryAfterSeconds >= capSeconds) return policy.retryAfterCap;
    return std::chrono::seconds(retryAfterSeconds);
  }
  if (policy.delays.empty()) return milliseconds(0);
  const milliseconds base = policy.delays[std::min(retry, policy.delays.size() - 1)];
  const double jitter = std::clamp(policy.jitter, 0.0, 1.0);
  std::uniform_real_distribution<double> spread(1.0 - jitter, 1.0 + jitter);
  return milliseconds(static_cast<std::int64_t>(static_cast<double>(base.count()) * spread(random)));
}
