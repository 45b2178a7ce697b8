// The real executable: helper roles leave at once without a trace, the browser role runs
// its start-up and shutdown into the day log (here without a display, or with a browser
// engine that cannot start), a crash leaves crash.dmp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The log is UTF-16LE; its lines here are ASCII, so every second byte is the text.
std::string Utf16LeAscii(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out += bytes[i + 1] == 0 ? bytes[i] : '?';
  }
  return out;
}

struct RunResult {
  int status = 0;
  std::string out;
};

class ProcessRoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* binaryDir = getenv("TAVO_TEST_BINARY_DIR");
    ASSERT_NE(binaryDir, nullptr) << "run through ctest (TAVO_TEST_BINARY_DIR)";
    m_tavo = fs::path(binaryDir) / "bin" / "tavo";
    ASSERT_TRUE(fs::exists(m_tavo)) << m_tavo;
    char pattern[] = "/tmp/tavo-role-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    fs::create_directories(m_root / "home");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  // Runs the executable with every folder it could touch inside the test's own root and
  // no display unless `extraEnv` gives one; a guard kills it if it does not end.
  RunResult Run(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      // No display either: the browser role then stops before any window.
      if (entry.rfind("XDG_", 0) == 0 || entry.rfind("TAVO_", 0) == 0 || entry.rfind("HOME=", 0) == 0 ||
          entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0) {
        continue;
      }
      env.push_back(entry);
    }
    for (const char* name :
         {"XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
      env.push_back(std::string(name) + "=" + (m_root / name).string());
    }
    env.push_back("HOME=" + (m_root / "home").string());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

    std::vector<char*> argv{const_cast<char*>(m_tavo.c_str())};
    for (const std::string& a : args) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(env.size());
    for (std::string& e : env) {
      envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    fs::path outFile = m_root.parent_path() / (m_root.filename().string() + ".out");
    pid_t child = fork();
    if (child == 0) {
      int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    RunResult result;
    auto deadline = std::chrono::steady_clock::now() + 30s;
    while (waitpid(child, &result.status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &result.status, 0);
        ADD_FAILURE() << "tavo did not end";
        break;
      }
      std::this_thread::sleep_for(5ms);
    }
    result.out = ReadAll(outFile);
    fs::remove(outFile);
    return result;
  }

  std::vector<fs::path> FilesUnderRoot() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(m_root)) {
      if (entry.path() != m_root / "home") {
        found.push_back(entry.path());
      }
    }
    return found;
  }

  fs::path BrowserLog() const {
    fs::path folder = m_root / "XDG_STATE_HOME" / "tavo" / "log";
    if (!fs::exists(folder)) {
      return {};
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().filename().string().rfind("browserlog", 0) == 0) {
        return entry.path();
      }
    }
    return {};
  }

  fs::path m_tavo;
  fs::path m_root;
};

TEST_F(ProcessRoleTest, HelperRolesExitAtOnceAndLeaveNoTrace) {
  for (const char* type : {"--type=gpu", "--type=renderer", "--type=utility", "--type="}) {
    SCOPED_TRACE(type);
    // Even a crash request is never reached: the role decision comes first.
    RunResult r = Run({type, "--crash-for-test"});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(FilesUnderRoot().empty()) << "created " << FilesUnderRoot().front();
  }
}

TEST_F(ProcessRoleTest, BrowserRoleWithoutDisplayFailsBetweenStartAndEndOfItsDayLog) {
  RunResult r = Run({"--web-port=0", "--api-origin=not-an-origin"});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
  EXPECT_EQ(WEXITSTATUS(r.status), 1);
  EXPECT_NE(r.out.find("cannot open the display"), std::string::npos) << r.out;

  fs::path log = BrowserLog();
  ASSERT_FALSE(log.empty()) << "no browser log";
  std::string bytes = ReadAll(log);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE"));
  std::string text = Utf16LeAscii(bytes.substr(2));
  size_t start = text.find("[normal][");
  size_t startLine = text.find("]:*************_tWinMain start*************\r\n");
  size_t problem = text.find("[error][");
  size_t endLine = text.find("]:*************_tWinMain end*************\r\n");
  EXPECT_NE(start, std::string::npos) << text;
  ASSERT_NE(startLine, std::string::npos) << text;
  ASSERT_NE(endLine, std::string::npos) << text;
  EXPECT_LT(startLine, problem);
  EXPECT_LT(problem, endLine);
  EXPECT_NE(text.find("--api-origin", problem), std::string::npos) << text;
  EXPECT_NE(text.find("no display", problem), std::string::npos) << text;
  // Lines before the log opened are dropped, not written late.
  EXPECT_EQ(text.find("FindWindow"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(m_root / "XDG_STATE_HOME" / "tavo" / "crash.dmp"));
}

TEST_F(ProcessRoleTest, BrowserEngineThatCannotStartEndsWithFailureCodeAndLogLine) {
  const char* display = getenv("DISPLAY");
  if (display == nullptr || *display == '\0') GTEST_SKIP() << "needs a display (run under xvfb-run)";
  // An extension folder without the web-process extension: the engine refuses to start.
  const fs::path noExtension = m_root / "webext";
  fs::create_directories(noExtension);
  RunResult r =
      Run({"--web-port=0"}, {"DISPLAY=" + std::string(display), "TAVO_WEBEXT_DIR=" + noExtension.string()});
  ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
  EXPECT_EQ(WEXITSTATUS(r.status), 1);
  EXPECT_NE(r.out.find("browser engine did not start"), std::string::npos) << r.out;
  fs::path log = BrowserLog();
  ASSERT_FALSE(log.empty()) << "no browser log";
  std::string text = Utf16LeAscii(ReadAll(log).substr(2));
  size_t missing = text.find("web-process extension missing");
  EXPECT_NE(missing, std::string::npos) << text;
  EXPECT_NE(text.find("CefInitialize false", missing), std::string::npos) << text;
}

TEST_F(ProcessRoleTest, CrashInTheBrowserProcessLeavesCrashDmp) {
  RunResult r = Run({"--web-port=0", "--crash-for-test"});
  ASSERT_TRUE(WIFSIGNALED(r.status)) << r.status;
  EXPECT_EQ(WTERMSIG(r.status), SIGSEGV);
  std::string report = ReadAll(m_root / "XDG_STATE_HOME" / "tavo" / "crash.dmp");
  EXPECT_NE(report.find("signal: 11 (SIGSEGV)\n"), std::string::npos) << report;
  EXPECT_NE(report.find("address: 0x10\n"), std::string::npos) << report;
  EXPECT_NE(report.find("backtrace:\n"), std::string::npos) << report;
  // The crash came after the log's first line and before its last.
  std::string text = Utf16LeAscii(ReadAll(BrowserLog()).substr(2));
  EXPECT_NE(text.find("_tWinMain start"), std::string::npos);
  EXPECT_EQ(text.find("_tWinMain end"), std::string::npos);
}

}  // namespace
