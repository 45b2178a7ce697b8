// Base64 in the standard alphabet (the SMS mobile field) and the URL-safe alphabet without
// padding (tokens, which travel in form values and URLs unescaped).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace demo {

std::string Base64Encode(std::string_view bytes);
std::string Base64UrlEncode(std::string_view bytes);
// Strict decoders: any character outside the alphabet (or bad padding) gives nothing.
std::optional<std::string> Base64Decode(std::string_view text);
std::optional<std::string> Base64UrlDecode(std::string_view text);

}  // namespace demo
