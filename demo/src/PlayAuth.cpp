#include "PlayAuth.h"

#include "Base64.h"
#include "Json.h"

namespace demo {

namespace {
constexpr size_t kMaxPlayAuthLength = 2048;
}

std::string MakePlayAuth(const TokenSigner& signer, const std::string& origin, const std::string& vid,
                         std::int64_t expiresAt) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    WriteString(w, "VideoService", origin + "/video/resolve");
    WriteString(w, "Vid", vid);
    w.Key("Expires");
    w.Int64(expiresAt);
    WriteString(w, "Token", signer.Issue("play", vid, expiresAt));
    w.EndObject();
    return Base64Encode(std::string_view(buffer.GetString(), buffer.GetSize()));
}

TokenVerdict CheckPlayAuth(const TokenSigner& signer, std::string_view playAuth, std::int64_t now, std::string& vid) {
    if (playAuth.size() > kMaxPlayAuthLength) return TokenVerdict::Invalid;
    std::string text(playAuth);
    // A page that put the value into a query string without encoding it loses "+" to spaces.
    for (char& c : text) c = c == ' ' ? '+' : c;
    const auto json = Base64Decode(text);
    if (!json) return TokenVerdict::Invalid;
    rapidjson::Document doc;
    doc.Parse(json->c_str(), json->size());
    if (doc.HasParseError() || !doc.IsObject()) return TokenVerdict::Invalid;
    return signer.Check("play", StringMember(doc, "Token"), now, vid);
}

}  // namespace demo
