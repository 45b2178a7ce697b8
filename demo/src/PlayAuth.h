// The play authorisation handed to the player page: standard Base64 of a small JSON object,
//   {"VideoService": "<origin>/video/resolve", "Vid": "...", "Expires": <unix seconds>,
//    "Token": "<signed token>"}
// The client program passes it on untouched; the page decodes it (atob + JSON.parse) to find
// the video service, and the service trusts only the signed token inside, which names the
// video and the expiry.
#pragma once

#include "Tokens.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace demo {

std::string MakePlayAuth(const TokenSigner& signer, const std::string& origin, const std::string& vid,
                         std::int64_t expiresAt);
// On Valid and Expired, `vid` receives the video the authorisation was made for.
TokenVerdict CheckPlayAuth(const TokenSigner& signer, std::string_view playAuth, std::int64_t now, std::string& vid);

}  // namespace demo
