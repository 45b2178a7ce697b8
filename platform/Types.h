// The Win32-style value types the message core and the windows share.
#pragma once

#include <cstdint>

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// An opaque id of a live window; 0 is no window. Ids are never reused in a process.
using HWND = std::uint64_t;
constexpr HWND kNoWindow = 0;
