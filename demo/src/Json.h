// RapidJSON helpers shared by the catalogue, the account store and the routes.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace demo {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// Parses a whole file; false (with a reason) when it is missing, too large or not JSON.
bool ReadJsonFile(const std::filesystem::path& path, rapidjson::Document& doc, std::string& error);

// The string member `key` of `obj`, or empty text when absent or of another type.
std::string StringMember(const rapidjson::Value& obj, const char* key);
// The string items of the array member `key`; other items are skipped.
std::vector<std::string> StringList(const rapidjson::Value& obj, const char* key);

void WriteString(JsonWriter& w, std::string_view key, std::string_view value);

// True when `text` is well-formed UTF-8 (JSON output and stored profiles must be).
bool IsValidUtf8(std::string_view text);

}  // namespace demo
