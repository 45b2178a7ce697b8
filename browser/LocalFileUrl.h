// The address under which the browser opens a file on this computer.
#pragma once

#include <string>

// "file://" followed by the absolute path, escaped as an address; empty for a relative
// or empty path. The path is narrow (locale) text.
std::wstring LocalFileUrl(const std::string& path);
