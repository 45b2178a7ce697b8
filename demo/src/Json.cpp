#include "Json.h"

#include "AtomicFile.h"

namespace demo {

bool ReadJsonFile(const std::filesystem::path& path, rapidjson::Document& doc, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text, 64u << 20)) {
        error = "cannot read " + path.string();
        return false;
    }
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError()) {
        error = "not JSON at offset " + std::to_string(doc.GetErrorOffset()) + ": " + path.string();
        return false;
    }
    return true;
}

std::string StringMember(const rapidjson::Value& obj, const char* key) {
    if (!obj.IsObject()) return {};
    auto it = obj.FindMember(key);
    if (it == obj.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

std::vector<std::string> StringList(const rapidjson::Value& obj, const char* key) {
    std::vector<std::string> out;
    if (!obj.IsObject()) return out;
    auto it = obj.FindMember(key);
    if (it == obj.MemberEnd() || !it->value.IsArray()) return out;
    for (const auto& item : it->value.GetArray()) {
        if (item.IsString()) out.emplace_back(item.GetString(), item.GetStringLength());
    }
    return out;
}

void WriteString(JsonWriter& w, std::string_view key, std::string_view value) {
    w.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
    w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        unsigned cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const unsigned minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace demo
