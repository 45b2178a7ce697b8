// Conversions between the three kinds of text the program mixes: wide (std::wstring),
// narrow in the locale's character set ("ANSI") and UTF-8. Invalid input gives empty text.
#pragma once

#include <string>
#include <string_view>

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf8ToAnsi(std::string_view text);
