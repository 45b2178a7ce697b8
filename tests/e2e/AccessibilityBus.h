// A private session bus for one end-to-end test, on which the accessibility bus starts on
// demand (the session bus activates at-spi-bus-launcher when the program or a client asks
// for it): the program started with it is on the accessibility bus, and the AT-SPI probe
// run by the test reads and drives it from outside. The bus ends with the object.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/AtspiDump.h"

namespace e2e {

class AccessibilityBus {
 public:
  AccessibilityBus() = default;
  ~AccessibilityBus();
  AccessibilityBus(const AccessibilityBus&) = delete;
  AccessibilityBus& operator=(const AccessibilityBus&) = delete;

  // Why the tools are missing, or empty when a session bus, the launcher and the probe
  // are all there.
  static std::string Missing();
  // Starts the session bus with its socket in `folder`; this process's probe runs use it.
  // False with the reason in `error()`.
  bool Start(const std::filesystem::path& folder);
  const std::string& error() const { return m_error; }
  // The session bus address to hand to the program.
  const std::string& address() const { return m_address; }

  // Runs the probe against process `pid`; its exit code (-1 when it hung and was ended),
  // its standard output in `out`.
  int Probe(pid_t pid, const std::vector<std::string>& args, std::string& out);
  // The program's tree as the probe lists it (empty when it is not on the bus).
  std::vector<AtspiRow> Dump(pid_t pid);

 private:
  pid_t m_daemon = -1;
  std::string m_address;
  std::filesystem::path m_folder;
  std::string m_error;
};

}  // namespace e2e
