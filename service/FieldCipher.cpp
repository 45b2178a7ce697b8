// AES over OpenSSL's EVP interface and the two text encoders.
#include "service/FieldCipher.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

struct CipherContextDeleter {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

[[noreturn]] void CipherFailure(const char* what) {
  std::fprintf(stderr, "CAES::Encrypt: %s\n", what);
  std::abort();
}

}  // namespace

std::string CAES::Encrypt(std::string_view plaintext, std::string_view key) {
  if (key.size() != 16) CipherFailure("key.size() == 16");
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter> context(EVP_CIPHER_CTX_new());
  if (!context) CipherFailure("ret == 1");
  int ret = EVP_EncryptInit_ex(context.get(), EVP_aes_128_ecb(), nullptr,
                               reinterpret_cast<const unsigned char*>(key.data()), nullptr);
  if (ret != 1) CipherFailure("ret == 1");
  std::string out(plaintext.size() + 64, '\0');
  int updateLength = 0;
  ret = EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &updateLength,
                          reinterpret_cast<const unsigned char*>(plaintext.data()),
                          static_cast<int>(plaintext.size()));
  if (ret != 1) CipherFailure("ret == 1");
  int finalLength = 0;
  ret = EVP_EncryptFinal_ex(context.get(), reinterpret_cast<unsigned char*>(out.data()) + updateLength,
                            &finalLength);
  if (ret != 1) CipherFailure("ret == 1");
  out.resize(static_cast<size_t>(updateLength + finalLength));
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
                       byte == '~';
    if (plain) {
      out += c;
    } else if (byte == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

std::string EncodeMobileForSms(const std::string& mobile) {
  const std::string base64 = Base64Encode(CAES::Encrypt(mobile, kSmsKey));
  LogNormal(AnsiToWide(base64));
  return UrlEncode(base64);
}
