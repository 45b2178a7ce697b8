// The start-up statistics report with this machine's facts.
#include <sys/utsname.h>

#include <cstring>
#include <string>

#include "app/SystemInfo.h"
#include "service/Endpoints.h"

namespace {

// The machine's own architecture, not the build's: "x86_64", "aarch64", "ppc64le", ...
bool IsNative64Bit() {
  utsname names{};
  if (uname(&names) != 0) return sizeof(void*) == 8;
  return std::strstr(names.machine, "64") != nullptr || std::strcmp(names.machine, "s390x") == 0;
}

}  // namespace

void UpPcInfo() {
  UpPcInfoWith(GetComputerNameText(), PcSystemVersion(GetOsName(), IsNative64Bit()), GetMachineId());
}
