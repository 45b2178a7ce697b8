// When a failed transfer is tried again and after how long. Transport failures (time-outs,
// cut or refused connections, short bodies) and server trouble (5xx, 429) are worth another
// attempt; anything else (404, a local file that cannot be written) is not.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

struct RetryPolicy {
  // The wait before each retry, in order; their number is the number of retries.
  std::vector<std::chrono::milliseconds> delays{std::chrono::seconds(1), std::chrono::seconds(2),
                                                std::chrono::seconds(4), std::chrono::seconds(8)};
  // Each wait is moved by up to this share of itself, either way, so that clients cut off
  // together do not come back together.
  double jitter = 0.25;
  // A server's Retry-After (429, 503) replaces the wait, but never beyond this.
  std::chrono::milliseconds retryAfterCap = std::chrono::seconds(60);
};

// The policy download jobs use; tests shorten it.
RetryPolicy GetRetryPolicy();
void SetRetryPolicy(const RetryPolicy& policy);

// Whether a DownloadToFile result (libcurl code, HTTP status of the last answer) may be retried.
bool IsRetryableFailure(int code, long httpStatus);

// The wait before retry number `retry` (0 for the first). `retryAfterSeconds` is the
// server's Retry-After (-1 when none); it counts for 429 and 503 only.
std::chrono::milliseconds RetryDelay(const RetryPolicy& policy, std::size_t retry, long httpStatus,
                                     std::int64_t retryAfterSeconds, std::mt19937& random);
