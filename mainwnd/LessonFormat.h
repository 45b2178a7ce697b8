// The texts of a lesson row and a document row: duration, learning progress and document
// size, from the service's decimal texts. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A decimal text read the forgiving way: leading blanks, an optional sign, the leading
// digits; 0 when there are none; clamped to the 64-bit range.
int64_t ReadSeconds(std::string_view text);

// "00:00" for 0 (or less); else [hh:]mm:ss with the hours only when there are any.
std::wstring FormatLessonDuration(int64_t seconds);
// "未学习", "1%".."99%" or "已学完" for `learned` seconds of `duration` seconds. A part of
// a percent still counts as 1%, so a started lesson never reads as not started.
std::wstring FormatLessonProgress(int64_t duration, int64_t learned);
// A document's "file_size" (KiB) as whole MB, rounded down except that any part of the
// first MB shows as 1MB.
std::wstring FormatDocSize(int64_t kib);
