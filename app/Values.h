// Reading and formatting of numbers for the windows.
#pragma once

#include <cstdint>
#include <string>

// True when the whole text, white space aside, reads as one floating-point number.
bool IsNumber(const std::string& text);

// Seconds as "mm:ss", or "h:mm:ss" from one hour on (hours at least two digits).
std::wstring FormatDuration(std::int64_t seconds);

enum class SizeUnit { Terabytes = 0, Gigabytes = 1, Megabytes = 2, Kilobytes = 3 };
struct SizeInUnitsResult {
  std::int64_t quotient;
  SizeUnit unit;
  bool operator==(const SizeInUnitsResult&) const = default;
};
// The largest unit the byte count reaches, truncated; below 1024 bytes (negative included)
// one kilobyte.
SizeInUnitsResult SizeInUnits(std::int64_t bytes);
