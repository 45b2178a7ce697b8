// The field cipher: AES-128-ECB with PKCS#7 padding, Base64 and URL encoding, and the
// chain that turns a mobile number into the value the SMS-code request sends.
#pragma once

#include <string>
#include <string_view>

class CAES {
 public:
  // Raw cipher bytes of plaintext under a 16-byte text key (used as is), a multiple of
  // 16 bytes long. A library failure or a key of another length is a programming error.
  static std::string Encrypt(std::string_view plaintext, std::string_view key);
};

// RFC 4648 Base64 with "=" padding and no line breaks.
std::string Base64Encode(std::string_view bytes);

// Letters, digits and "-_.~" kept, space as "+", every other byte as "%XX" (upper case).
std::string UrlEncode(std::string_view text);

// The SMS key applied to the mobile number, Base64 (logged as a normal line), URL-encoded:
// ready to follow "mobile=" in a form body.
std::string EncodeMobileForSms(const std::string& mobile);

// Key of the SMS-code request's mobile field.
inline constexpr std::string_view kSmsKey = "7c03d9e2a5f1b846";
