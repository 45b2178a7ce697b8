#include "Tokens.h"

#include "AtomicFile.h"
#include "Base64.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <charconv>
#include <chrono>

namespace demo {

namespace {
constexpr size_t kMacBytes = 16;
constexpr size_t kMaxTokenLength = 512;
}  // namespace

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string TokenSigner::Mac(std::string_view payload) const {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), m_secret.data(), static_cast<int>(m_secret.size()),
         reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), mac, &length);
    return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(mac), kMacBytes));
}

std::string TokenSigner::Issue(std::string_view kind, std::string_view subject, std::int64_t expiresAt) const {
    unsigned char nonce[6];
    RAND_bytes(nonce, sizeof nonce);
    std::string body(kind);
    body += '|';
    body += subject;
    body += '|';
    body += std::to_string(expiresAt);
    body += '|';
    body += Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(nonce), sizeof nonce));
    const std::string payload = Base64UrlEncode(body);
    return payload + "." + Mac(payload);
}

TokenVerdict TokenSigner::Check(std::string_view kind, std::string_view token, std::int64_t now,
                                std::string& subject) const {
    if (token.empty() || token.size() > kMaxTokenLength) return TokenVerdict::Invalid;
    const size_t dot = token.find('.');
    if (dot == std::string_view::npos) return TokenVerdict::Invalid;
    const std::string_view payload = token.substr(0, dot);
    const std::string expected = Mac(payload);
    const std::string_view given = token.substr(dot + 1);
    if (given.size() != expected.size() || CRYPTO_memcmp(given.data(), expected.data(), given.size()) != 0)
        return TokenVerdict::Invalid;
    const auto body = Base64UrlDecode(payload);
    if (!body) return TokenVerdict::Invalid;
    // kind|subject|expiry|nonce
    const size_t a = body->find('|');
    const size_t b = a == std::string::npos ? a : body->find('|', a + 1);
    const size_t c = b == std::string::npos ? b : body->find('|', b + 1);
    if (c == std::string::npos || std::string_view(*body).substr(0, a) != kind) return TokenVerdict::Invalid;
    std::int64_t expiresAt = 0;
    const char* first = body->data() + b + 1;
    const char* last = body->data() + c;
    auto [ptr, ec] = std::from_chars(first, last, expiresAt);
    if (ec != std::errc() || ptr != last) return TokenVerdict::Invalid;
    subject = body->substr(a + 1, b - a - 1);
    return now >= expiresAt ? TokenVerdict::Expired : TokenVerdict::Valid;
}

std::string LoadOrCreateSecret(const std::filesystem::path& dataDir) {
    const auto path = dataDir / "secret.key";
    std::string secret;
    if (ReadWholeFile(path, secret, 4096) && secret.size() >= 32) return secret;
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    secret = Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
    if (!WriteFileAtomic(path, secret)) return {};
    return secret;
}

}  // namespace demo
