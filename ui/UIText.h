// UTF-8 <-> wide text for the toolkit (wide text is UTF-32 on this platform).
#pragma once

#include <string>
#include <string_view>

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
