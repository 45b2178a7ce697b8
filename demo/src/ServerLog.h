// One-line diagnostics of the demo school, written to standard error with a time stamp.
#pragma once

#include <string_view>

namespace demo {

void LogLine(std::string_view text);
void SetVerbose(bool verbose);
bool Verbose();

}  // namespace demo
