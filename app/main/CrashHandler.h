// Writes crash.dmp (signal, fault address, backtrace) when the process crashes, then lets
// the signal end the process as it would have without the handler.
#pragma once

#include <string>

// Installs the handler for SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT. `dumpPath` is the
// full path of the report, computed beforehand because nothing may be computed in the
// handler; the file is overwritten by each crash. False when the path is too long or a
// handler could not be installed.
bool InstallCrashHandler(const std::string& dumpPath);
