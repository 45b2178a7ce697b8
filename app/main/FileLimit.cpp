// The open-file limit of the process.
#include "app/main/FileLimit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/Log.h"
#include "app/TextConv.h"

unsigned long RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur >= limit.rlim_max) return limit.rlim_cur;
  rlimit raised = limit;
  raised.rlim_cur = limit.rlim_max;
  if (::setrlimit(RLIMIT_NOFILE, &raised) != 0) {
    LogError(L"cannot raise the open-file limit: " + AnsiToWide(std::strerror(errno)));
    return limit.rlim_cur;
  }
  return raised.rlim_cur;
}
