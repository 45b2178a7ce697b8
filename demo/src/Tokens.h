// Signed, self-contained tokens: session tokens issued at sign-in and play authorisations
// for the video service. A token names its kind, its subject (account id or video id) and
// its expiry, and carries an HMAC-SHA256 over them made with the service's secret, so tokens
// survive a restart of the service and cannot be forged or moved to another kind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace demo {

enum class TokenVerdict { Valid, Expired, Invalid };

class TokenSigner {
public:
    explicit TokenSigner(std::string secret) : m_secret(std::move(secret)) {}

    std::string Issue(std::string_view kind, std::string_view subject, std::int64_t expiresAt) const;
    // On Valid and Expired, `subject` receives the token's subject.
    TokenVerdict Check(std::string_view kind, std::string_view token, std::int64_t now,
                       std::string& subject) const;

private:
    std::string Mac(std::string_view payload) const;
    std::string m_secret;
};

// The service's secret, kept in "secret.key" (mode 0600) in the state folder; created with
// fresh random bytes when missing. Empty text when it can be neither read nor created.
std::string LoadOrCreateSecret(const std::filesystem::path& dataDir);

std::int64_t NowSeconds();

}  // namespace demo
