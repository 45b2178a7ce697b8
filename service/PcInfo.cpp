// The start-up statistics report with this machine's facts.
#include <sys/utsname.h>

#include <cstring>
#include <string>

#include "service/Endpoints.h"

// System facts of the app module.
std::string GetOsName();
std::string GetComputerNameText();
std::string GetMachineId();

namespace {

// The machine's own architecture, not the build's: "x86_64", "aarch64", "ppc64le", ...
bool IsNative64Bit() {
  utsname names{};
  if (uname(&names) != 0) return sizeof(void*) == 8;
  return std::strstr(names.machine, "64") != nullptr || std::strcmp(names.machine, "s390x") == 0;
}

}  // namespace

void UpPcInfo() {
  UpPcInfoWith(GetComputerNameText(), PcSystemVersion(GetOsName(), IsNative64Bit()),
               GetMachineId());
}
