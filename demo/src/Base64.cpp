#include "Base64.h"

#include <array>

namespace demo {

namespace {

constexpr std::string_view kStandard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUrl = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::array<int, 256> ReverseTable(std::string_view alphabet) {
    std::array<int, 256> table{};
    table.fill(-1);
    for (size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    return table;
}

std::optional<std::string> Decode(std::string_view text, std::string_view alphabet, bool padded) {
    static const auto standard = ReverseTable(kStandard);
    static const auto url = ReverseTable(kUrl);
    const auto& table = alphabet == kStandard ? standard : url;
    if (padded) {
        if (text.size() % 4 != 0) return std::nullopt;
        size_t pad = 0;
        while (pad < 2 && !text.empty() && text.back() == '=') {
            text.remove_suffix(1);
            ++pad;
        }
    }
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const int v = table[static_cast<unsigned char>(c)];
        if (v < 0) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    // Leftover bits must be zero, so each byte string has exactly one encoding.
    if (bits > 0 && (buffer & ((1u << bits) - 1)) != 0) return std::nullopt;
    return out;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out = Base64UrlEncode(bytes);
    for (char& c : out) c = c == '-' ? '+' : c == '_' ? '/' : c;
    while (out.size() % 4 != 0) out.push_back('=');
    return out;
}

std::string Base64UrlEncode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : bytes) {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out.push_back(kUrl[(buffer >> bits) & 0x3F]);
        }
    }
    if (bits > 0) out.push_back(kUrl[(buffer << (6 - bits)) & 0x3F]);
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text) { return Decode(text, kStandard, true); }
std::optional<std::string> Base64UrlDecode(std::string_view text) { return Decode(text, kUrl, false); }

}  // namespace demo
