// The crash handler uses only async-signal-safe calls: open, write, close, time, getpid,
// syscall, backtrace (loaded beforehand), backtrace_symbols_fd, sigaction, raise, pause.
#include "app/main/CrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kMaxFrames = 64;

char gDumpPath[4096];
std::atomic<bool> gCrashing{false};
// Its own stack, so a stack overflow can still be reported.
alignas(16) char gAltStack[64 * 1024];

const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGBUS:
      return "SIGBUS";
    case SIGILL:
      return "SIGILL";
    case SIGFPE:
      return "SIGFPE";
    case SIGABRT:
      return "SIGABRT";
    default:
      return "?";
  }
}

// Small writers for the handler: no stdio, no allocation.
void WriteText(int fd, const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t done = write(fd, text, left);
    if (done <= 0) {
      return;
    }
    text += done;
    left -= static_cast<std::size_t>(done);
  }
}

void WriteNumber(int fd, std::uintmax_t value, unsigned base) {
  char digits[32];
  char* p = digits + sizeof digits;
  *--p = '\0';
  do {
    *--p = "0123456789abcdef"[value % base];
    value /= base;
  } while (value != 0);
  if (base == 16) {
    WriteText(fd, "0x");
  }
  WriteText(fd, p);
}

void OnCrash(int sig, siginfo_t* info, void*) {
  // A second crashing thread waits for the first to end the process. (The crashing
  // thread itself cannot come back here: the crash signals are blocked while the handler
  // runs, so a fault inside it ends the process at once.)
  if (gCrashing.exchange(true)) {
    for (;;) {
      pause();
    }
  }
  int fd = open(gDumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) {
    WriteText(fd, "Tavo crash report\nsignal: ");
    WriteNumber(fd, static_cast<unsigned>(sig), 10);
    WriteText(fd, " (");
    WriteText(fd, SignalName(sig));
    WriteText(fd, ")\ncode: ");
    WriteNumber(fd, static_cast<unsigned>(info ? info->si_code : 0), 10);
    WriteText(fd, "\naddress: ");
    WriteNumber(fd, reinterpret_cast<std::uintptr_t>(info ? info->si_addr : nullptr), 16);
    WriteText(fd, "\npid: ");
    WriteNumber(fd, static_cast<unsigned>(getpid()), 10);
    WriteText(fd, "\nthread: ");
    WriteNumber(fd, static_cast<unsigned long>(syscall(SYS_gettid)), 10);
    WriteText(fd, "\ntime: ");
    WriteNumber(fd, static_cast<std::uintmax_t>(time(nullptr)), 10);
    WriteText(fd, "\nbacktrace:\n");
    void* frames[kMaxFrames];
    int count = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, count, fd);
    close(fd);
  }
  // End the process as the signal would have: default action, raised again; it is
  // delivered when this handler returns (a fault also recurs on the same instruction).
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(sig, &fallback, nullptr);
  raise(sig);
}

}  // namespace

bool InstallCrashHandler(const std::string& dumpPath) {
  if (dumpPath.empty() || dumpPath.size() >= sizeof gDumpPath) {
    return false;
  }
  std::memcpy(gDumpPath, dumpPath.c_str(), dumpPath.size() + 1);

  // The first backtrace call loads libgcc's unwinder, which allocates: do it now.
  void* warmUp[1];
  backtrace(warmUp, 1);

  stack_t altStack{};
  altStack.ss_sp = gAltStack;
  altStack.ss_size = sizeof gAltStack;
  bool ok = sigaltstack(&altStack, nullptr) == 0;

  struct sigaction action {};
  action.sa_sigaction = &OnCrash;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int sig : kSignals) {
    sigaddset(&action.sa_mask, sig);
  }
  for (int sig : kSignals) {
    ok = sigaction(sig, &action, nullptr) == 0 && ok;
  }
  return ok;
}
