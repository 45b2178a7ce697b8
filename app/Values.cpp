// Number reading and formatting.
#include "app/Values.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

bool IsNumber(const std::string& text) {
  std::istringstream in(text);
  double value;
  if (!(in >> value)) return false;
  char rest;
  return !(in >> rest);
}

std::wstring FormatDuration(std::int64_t seconds) {
  if (seconds == 0) return L"00:00";
  std::int64_t hours = seconds / 3600;
  std::int64_t rest = seconds - hours * 3600;
  std::int64_t minutes = rest / 60;
  std::int64_t secs = rest % 60;
  char text[96];
  int n = 0;
  if (hours != 0) n += std::snprintf(text + n, sizeof(text) - n, "%02" PRId64 ":", hours);
  n += std::snprintf(text + n, sizeof(text) - n, "%02" PRId64 ":%02" PRId64, minutes, secs);
  return std::wstring(text, text + n);
}

SizeInUnitsResult SizeInUnits(std::int64_t n) {
  constexpr std::int64_t kKilo = 1024;
  constexpr std::int64_t kMega = kKilo << 10;
  constexpr std::int64_t kGiga = kMega << 10;
  constexpr std::int64_t kTera = kGiga << 10;
  if (n >= kTera) return {n / kTera, SizeUnit::Terabytes};
  if (n >= kGiga) return {n / kGiga, SizeUnit::Gigabytes};
  if (n >= kMega) return {n / kMega, SizeUnit::Megabytes};
  if (n >= kKilo) return {n / kKilo, SizeUnit::Kilobytes};
  return {1, SizeUnit::Kilobytes};
}
