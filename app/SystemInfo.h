// Facts about the machine for the start-up usage report and the about window.
#pragma once

#include <string>
#include <string_view>

// True when the system reports a usable network.
bool IsNetworkConnected();
// The os-release ID and VERSION_ID run together (e.g. "debian12"); empty when unknown.
std::string GetOsName();
// The same from the text of an os-release file.
std::string OsNameFromRelease(std::string_view osRelease);
// The host name.
std::string GetComputerNameText();
// The machine identifier: processor and root file-system ids, grouped and transformed.
std::string GetMachineId();
// The grouping (a "-" after every fifth character) and transformation of a raw identifier.
std::string MachineIdFromRaw(const std::string& raw);
// The program's version text; "None VerSion Supprot" when none was built in.
std::wstring GetFileVersionText();
// The same from a given built-in version text.
std::wstring FileVersionTextFrom(std::string_view version);
