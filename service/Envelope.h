// Reading the service's answers (internal to the service module): the in-place parse, the
// two envelopes, the value rules and the failure line every parser writes.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <string>
#include <string_view>

// Parses answer in place. An unparseable answer, or one whose root is not an object,
// writes "<parserName> ParseInsitu false" and gives false.
bool ParseAnswerRoot(std::string& answer, rapidjson::Document& document, std::wstring_view parserName);

struct Envelope {
  int32_t code = 0;
  std::string msg;  // locale text
};

// "code" (a 32-bit JSON integer, else missingCode) and the string "msg".
Envelope ReadStandardEnvelope(const rapidjson::Value& root, int32_t missingCode);
// As above, but the message is "msg"."msg" (a plain string "msg" counts as absent).
Envelope ReadMediaEnvelope(const rapidjson::Value& root, int32_t missingCode);

// Writes "<prefix><msg> code:<code>" as an error line.
void LogAnswerFailure(std::wstring_view prefix, const Envelope& envelope);

// The member's value, or null when the object has no such member.
const rapidjson::Value* FindValue(const rapidjson::Value& object, const char* key);
// The member when it exists and is an object, else null.
const rapidjson::Value* ObjectMember(const rapidjson::Value& object, const char* key);
// The member when it exists and is an array, else null.
const rapidjson::Value* ArrayMember(const rapidjson::Value& object, const char* key);

// Sets field to the member's text when the member is a string; otherwise leaves it as it is.
void TakeText(const rapidjson::Value& object, const char* key, std::string& field);
