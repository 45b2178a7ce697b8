// Row texts of the course lists.
#include "mainwnd/LessonFormat.h"

#include <cstdio>
#include <limits>

int64_t ReadSeconds(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

namespace {

std::wstring TwoDigits(int64_t n) {
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"%02lld", static_cast<long long>(n));
  return buffer;
}

}  // namespace

std::wstring FormatLessonDuration(int64_t seconds) {
  if (seconds <= 0) return L"00:00";
  const int64_t hours = seconds / 3600;
  const int64_t rest = seconds - hours * 3600;
  const int64_t minutes = rest / 60;
  const int64_t secs = rest % 60;
  std::wstring text;
  if (hours != 0) text += TwoDigits(hours) + L":";
  text += minutes != 0 ? TwoDigits(minutes) + L":" : L"00:";
  text += secs != 0 ? TwoDigits(secs) : L"00";
  return text;
}

std::wstring FormatLessonProgress(int64_t duration, int64_t learned) {
  // A negative duration or learned time is as meaningless as none (truncating division
  // would otherwise turn a small negative learned time into "1%").
  if (duration <= 0 || learned < 0) return L"未学习";
  // 128-bit so that learned x 100 cannot overflow whatever the service sends.
  const __int128 scaled = static_cast<__int128>(learned) * 100;
  const __int128 percent = scaled / duration;
  if (percent >= 100) return L"已学完";
  if (percent < 0) return L"未学习";
  if (percent == 0) return scaled % duration != 0 ? L"1%" : L"未学习";
  return std::to_wstring(static_cast<int>(percent)) + L"%";
}

std::wstring FormatDocSize(int64_t kib) {
  if (kib < 0) kib = 0;
  int64_t mb = kib / 1024;
  if (mb == 0 && kib % 1024 != 0) mb = 1;
  return std::to_wstring(mb) + L"MB";
}
