// Reading the encrypted mobile field of the SMS-code request: Base64 of the AES-128-ECB
// (PKCS#7) cipher text of the number, made with the fixed SMS key, then URL-encoded (the
// form decoding has already undone the URL encoding when this runs).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace demo {

inline constexpr std::string_view kSmsKey = "7c03d9e2a5f1b846";

std::optional<std::string> AesEcbDecrypt(std::string_view cipherText, std::string_view key16);
std::optional<std::string> AesEcbEncrypt(std::string_view plainText, std::string_view key16);

// The mobile number hidden in the field, or nothing when it does not decode to 11 digits.
std::optional<std::string> DecodeSmsMobile(std::string_view field);

}  // namespace demo
