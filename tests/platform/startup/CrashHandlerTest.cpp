// The crash handler in forked children: each crash signal writes the report and still
// ends the process with that signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/main/CrashHandler.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void SegmentationFault() {
  static volatile std::uintptr_t badAddress = 0x10;
  *reinterpret_cast<volatile int*>(badAddress) = 1;  // NOLINT(performance-no-int-to-ptr): on purpose
  _exit(0);
}
[[noreturn]] void Abort() { abort(); }
// Deep enough to overflow any stack; the handler must still run (on its own stack).
int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return depth > 0 ? Recurse(depth - 1) + frame[0] : 0;
}
[[noreturn]] void StackOverflow() {
  static volatile int depth = 1 << 30;
  std::printf("%d\n", Recurse(depth));
  _exit(0);
}
[[noreturn]] void IllegalInstruction() { __builtin_trap(); }
[[noreturn]] void RaiseFpe() {
  raise(SIGFPE);
  _exit(0);
}
[[noreturn]] void RaiseBus() {
  raise(SIGBUS);
  _exit(0);
}

class CrashHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-crash-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    m_dump = m_root / "crash.dmp";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  // Runs `crash` in a child with the handler installed; returns the wait status.
  int CrashInChild(void (*crash)()) {
    pid_t child = fork();
    if (child == 0) {
      if (!InstallCrashHandler(m_dump.string())) {
        _exit(3);
      }
      crash();
      _exit(4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  }

  fs::path m_root;
  fs::path m_dump;
};

TEST_F(CrashHandlerTest, EachCrashSignalWritesTheReportAndEndsTheProcessWithIt) {
  struct Case {
    const char* line;
    int sig;
    void (*crash)();
  } cases[] = {
      {"signal: 11 (SIGSEGV)", SIGSEGV, SegmentationFault},
      {"signal: 11 (SIGSEGV)", SIGSEGV, StackOverflow},
      {"signal: 6 (SIGABRT)", SIGABRT, Abort},
      {"signal: 4 (SIGILL)", SIGILL, IllegalInstruction},
      {"signal: 8 (SIGFPE)", SIGFPE, RaiseFpe},
      {"signal: 7 (SIGBUS)", SIGBUS, RaiseBus},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    // A report from an earlier crash is replaced, not appended to.
    std::ofstream(m_dump) << "an older report that is much longer than anything the handler writes\n"
                          << std::string(8192, 'x');
    int status = CrashInChild(c.crash);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
    EXPECT_EQ(WTERMSIG(status), c.sig);
    std::string report = ReadAll(m_dump);
    EXPECT_EQ(report.rfind("Tavo crash report\n", 0), 0u) << report;
    EXPECT_NE(report.find(std::string(c.line) + "\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\naddress: 0x"), std::string::npos);
    EXPECT_EQ(report.find("older report"), std::string::npos);
    // At least the handler's own frame and one below it.
    size_t frames = report.size() - report.find("backtrace:\n");
    EXPECT_GT(frames, 40u) << report;
  }
}

TEST_F(CrashHandlerTest, FaultAddressIsReported) {
  int status = CrashInChild(SegmentationFault);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_NE(ReadAll(m_dump).find("\naddress: 0x10\n"), std::string::npos);
}

TEST_F(CrashHandlerTest, UnusablePathIsRefused) {
  EXPECT_FALSE(InstallCrashHandler(""));
  EXPECT_FALSE(InstallCrashHandler("/" + std::string(5000, 'a')));
}

TEST_F(CrashHandlerTest, UnwritableFolderStillEndsTheProcessWithTheSignal) {
  m_dump = m_root / "missing-folder" / "crash.dmp";
  int status = CrashInChild(Abort);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGABRT);
  EXPECT_FALSE(fs::exists(m_dump));
}

}  // namespace
