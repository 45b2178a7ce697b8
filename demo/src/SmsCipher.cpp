#include "SmsCipher.h"

#include "Base64.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace demo {

namespace {

struct CtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::optional<std::string> Run(bool encrypt, std::string_view input, std::string_view key16) {
    if (key16.size() != 16) return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return std::nullopt;
    const auto* key = reinterpret_cast<const unsigned char*>(key16.data());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) != 1)
        return std::nullopt;
    std::string out(input.size() + 32, '\0');
    int n1 = 0, n2 = 0;
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), dst, &n1, reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) != 1)
        return std::nullopt;
    if (EVP_CipherFinal_ex(ctx.get(), dst + n1, &n2) != 1) return std::nullopt;
    out.resize(static_cast<size_t>(n1 + n2));
    return out;
}

}  // namespace

std::optional<std::string> AesEcbDecrypt(std::string_view cipherText, std::string_view key16) {
    if (cipherText.empty() || cipherText.size() % 16 != 0 || cipherText.size() > 4096) return std::nullopt;
    return Run(false, cipherText, key16);
}

std::optional<std::string> AesEcbEncrypt(std::string_view plainText, std::string_view key16) {
    return Run(true, plainText, key16);
}

std::optional<std::string> DecodeSmsMobile(std::string_view field) {
    // A client that forgot to URL-encode the field loses its "+" signs to the form decoder.
    std::string text(field);
    std::replace(text.begin(), text.end(), ' ', '+');
    const auto cipher = Base64Decode(text);
    if (!cipher) return std::nullopt;
    auto mobile = AesEcbDecrypt(*cipher, kSmsKey);
    if (!mobile || mobile->size() != 11 ||
        !std::all_of(mobile->begin(), mobile->end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return mobile;
}

}  // namespace demo
