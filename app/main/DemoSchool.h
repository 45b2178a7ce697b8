// `tavo --demo`: the embedded demo school as a child process on a free loopback port,
// stopped when the program ends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// The origin named by the service's first line "listening on http(s)://127.0.0.1:PORT";
// empty when the line is anything else.
std::string DemoOriginFromLine(const std::string& line);

// What `tavo --demo` prints for the person at the keyboard: accounts and SMS code.
std::string DemoWelcomeText(const std::string& origin);

class DemoSchool {
 public:
  DemoSchool() = default;
  ~DemoSchool() { Stop(); }
  DemoSchool(const DemoSchool&) = delete;
  DemoSchool& operator=(const DemoSchool&) = delete;

  // Starts `program --port 0 --data <dataFolder> --watch-stdin` and waits at most
  // `timeout` for its first line. False (and the child stopped) when it did not come up.
  bool Start(const std::string& program, const std::string& dataFolder,
             std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Closes its standard input (it stops by itself), waits at most `grace`, then ends it
  // with SIGTERM and, if need be, SIGKILL. Never waits longer than twice `grace`.
  void Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

  const std::string& origin() const { return m_origin; }
  pid_t pid() const { return m_pid; }

 private:
  bool WaitForExit(std::chrono::milliseconds limit);

  pid_t m_pid = -1;
  int m_input = -1;   // its standard input; closing it stops the service
  int m_output = -1;  // its standard output, kept open so it never writes into a closed pipe
  std::string m_origin;
};
