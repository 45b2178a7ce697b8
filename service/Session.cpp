// The session token, guarded by its own lock.
#include "service/Session.h"

#include <mutex>

namespace {
std::mutex gTokenMutex;
std::string gToken;
}  // namespace

std::string GetSessionToken() {
  std::lock_guard lock(gTokenMutex);
  return gToken;
}

void SetSessionToken(const std::string& token) {
  std::lock_guard lock(gTokenMutex);
  gToken = token;
}

void ClearSessionToken() { SetSessionToken({}); }
