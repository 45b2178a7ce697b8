// The process-wide host: the test host until the program installs the display host.
#include "platform/host/Host.h"
#include "platform/host/TestHost.h"

namespace {
std::unique_ptr<Host>& Current() {
  static std::unique_ptr<Host> host;
  return host;
}
}  // namespace

Host& GetHost() {
  auto& host = Current();
  if (!host) host = std::make_unique<TestHost>();
  return *host;
}

void SetHost(std::unique_ptr<Host> host) { Current() = std::move(host); }
