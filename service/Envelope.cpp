// The envelope and value rules shared by every answer parser.
#include "service/Envelope.h"

#include "service/Endpoints.h"

#include <algorithm>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

std::string_view View(const rapidjson::Value& text) { return {text.GetString(), text.GetStringLength()}; }

int32_t ReadCode(const rapidjson::Value& root, int32_t missingCode) {
  const rapidjson::Value* code = FindValue(root, "code");
  if (code == nullptr || !code->IsInt()) return missingCode;
  return code->GetInt();
}

}  // namespace

bool ParseAnswerRoot(std::string& answer, rapidjson::Document& document, std::wstring_view parserName) {
  // Iterative: a hostile answer nested a million levels deep must not exhaust the stack.
  document.ParseInsitu<rapidjson::kParseIterativeFlag>(answer.data());
  if (document.HasParseError() || !document.IsObject()) {
    LogError(std::wstring(parserName) + L" ParseInsitu false");
    return false;
  }
  return true;
}

Envelope ReadStandardEnvelope(const rapidjson::Value& root, int32_t missingCode) {
  Envelope envelope;
  envelope.code = ReadCode(root, missingCode);
  TakeText(root, "msg", envelope.msg);
  return envelope;
}

Envelope ReadMediaEnvelope(const rapidjson::Value& root, int32_t missingCode) {
  Envelope envelope;
  envelope.code = ReadCode(root, missingCode);
  if (const rapidjson::Value* msg = ObjectMember(root, "msg")) TakeText(*msg, "msg", envelope.msg);
  return envelope;
}

void LogAnswerFailure(std::wstring_view prefix, const Envelope& envelope) {
  LogError(std::wstring(prefix) + AnsiToWide(envelope.msg) + L" code:" + std::to_wstring(envelope.code));
}

const rapidjson::Value* FindValue(const rapidjson::Value& object, const char* key) {
  // Same-typed iterators on both sides: a comparison C++20 reads the same both ways round.
  const rapidjson::Value::ConstMemberIterator end = object.MemberEnd();
  const rapidjson::Value::ConstMemberIterator member = object.FindMember(key);
  return member == end ? nullptr : &member->value;
}

const rapidjson::Value* ObjectMember(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* value = FindValue(object, key);
  return value != nullptr && value->IsObject() ? value : nullptr;
}

const rapidjson::Value* ArrayMember(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* value = FindValue(object, key);
  return value != nullptr && value->IsArray() ? value : nullptr;
}

void TakeText(const rapidjson::Value& object, const char* key, std::string& field) {
  const rapidjson::Value* value = FindValue(object, key);
  if (value == nullptr || !value->IsString()) return;
  const std::string_view text = View(*value);
  // Most values (ids, sizes, times, addresses) are ASCII, which reads the same in every
  // locale character set: copied without the conversion's decoding round.
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  field = ascii ? std::string(text) : Utf8ToAnsi(text);
}

bool IsServiceAnswer(const ServiceReply& reply) {
  if (!reply.completed || reply.httpStatus < 200 || reply.httpStatus > 299) return false;
  rapidjson::Document document;
  document.Parse(reply.body.c_str(), reply.body.size());
  if (document.HasParseError() || !document.IsObject()) return false;
  const rapidjson::Value* code = FindValue(document, "code");
  return code != nullptr && code->IsInt();
}
