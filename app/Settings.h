// The program's settings store, standing in for the registry key "Software\tavo":
// string values in $XDG_CONFIG_HOME/tavo/registry.ini. Results: 0 success, 1 failure.
#pragma once

#include <string>

// Reads a value of at most 127 characters; a longer or missing value gives 1.
int ReadRegString(const std::wstring& name, std::wstring& value);
int WriteRegString(const std::wstring& name, const std::wstring& value);
