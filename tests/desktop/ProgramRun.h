// The real `tavo` started from outside on the test's private display, with private XDG
// folders and a chosen environment; waited for by its windows (xdotool), ended politely.
// Also finds processes that still run on the private display after the program ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace desktop_test {

// A private temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

class ProgramRun {
 public:
  // XDG folders and HOME go under `root`; `env` adds or replaces variables (an empty
  // value removes one).
  ProgramRun(const std::filesystem::path& root, std::map<std::string, std::string> env);
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  bool Start(const std::vector<std::string>& argv);
  // The first visible window of the X class name within `limit`; empty otherwise.
  std::string WaitForWindow(const std::string& className, std::chrono::milliseconds limit);
  // SIGTERM, then the exit status within `limit` (-1 when it did not end).
  int Stop(std::chrono::milliseconds limit);
  std::string Output() const;
  pid_t pid() const { return m_pid; }

 private:
  std::filesystem::path m_root;
  std::map<std::string, std::string> m_env;
  pid_t m_pid = -1;
};

// Processes other than this one whose environment names the X display `display`.
std::vector<std::string> ProcessesOnDisplay(const std::string& display);

// Runs a shell command (guarded by `timeout`), its standard output; `status` its exit code.
std::string Shell(const std::string& command, int* status = nullptr);

std::filesystem::path BuildFolder();

}  // namespace desktop_test
