// `tavo --demo`'s launcher: the service's first line, a real start and stop of the demo
// school, and services that never come up.
#include "app/main/DemoSchool.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(DemoOriginFromLineTest, AcceptsOnlyALoopbackListeningLine) {
  struct Case {
    const char* line;
    const char* origin;
  };
  const Case cases[] = {
      {"listening on http://127.0.0.1:8600", "http://127.0.0.1:8600"},
      {"listening on https://127.0.0.1:443\r", "https://127.0.0.1:443"},
      {"listening on http://127.0.0.1:0", ""},
      {"listening on http://127.0.0.1:65536", ""},
      {"listening on http://127.0.0.1:", ""},
      {"listening on http://127.0.0.1:80/x", ""},
      {"listening on http://evil.example:80", ""},
      {"listening on ftp://127.0.0.1:21", ""},
      {"usage: tavo-demo-service [options]", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(DemoOriginFromLine(c.line), c.origin);
  }
}

bool Alive(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

class DemoSchoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-demo-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  std::string Script(const char* name, const char* body) {
    fs::path path = m_root / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0700);
    return path.string();
  }
  fs::path m_root;
};

TEST_F(DemoSchoolTest, StartsTheRealServiceAndStopsItByClosingItsInput) {
  const char* binaryDir = getenv("TAVO_TEST_BINARY_DIR");
  ASSERT_NE(binaryDir, nullptr);
  std::string program = (fs::path(binaryDir) / "bin" / "tavo-demo-service").string();
  ASSERT_TRUE(fs::exists(program)) << program;

  DemoSchool demo;
  ASSERT_TRUE(demo.Start(program, (m_root / "demo").string(), 30s));
  EXPECT_EQ(demo.origin().rfind("http://127.0.0.1:", 0), 0u) << demo.origin();
  EXPECT_TRUE(fs::exists(m_root / "demo")) << "state folder given with --data";
  pid_t pid = demo.pid();
  ASSERT_TRUE(Alive(pid));

  auto start = std::chrono::steady_clock::now();
  demo.Stop(10s);
  // It left because its input closed, well before the grace time would have sent SIGTERM.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(kill(pid, 0), -1) << "service still running";
  EXPECT_EQ(demo.origin(), "");
}

TEST_F(DemoSchoolTest, ServicesThatDoNotComeUpAreStoppedAndReportFailure) {
  struct Case {
    const char* name;
    const char* body;
  };
  const Case cases[] = {
      {"silent", "exec sleep 60"},
      {"ignores its input and SIGTERM", "trap '' TERM; echo 'listening on nowhere'; exec sleep 60"},
      {"exits at once", "exit 3"},
      {"endless first line", "yes x | tr -d '\\n'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DemoSchool demo;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(demo.Start(Script(c.name, c.body), (m_root / "demo").string(), 1s));
    EXPECT_EQ(demo.origin(), "");
    EXPECT_EQ(demo.pid(), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  }
  DemoSchool missing;
  EXPECT_FALSE(missing.Start((m_root / "no-such-program").string(), (m_root / "demo").string(), 1s));
}

}  // namespace
