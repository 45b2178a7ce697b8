// Parsers of the answers with the standard and the media envelope.
#include "service/AccountParsers.h"

#include <utility>

#include "app/Log.h"
#include "service/Endpoints.h"
#include "service/Envelope.h"
#include "service/Records.h"
#include "service/Session.h"

namespace {

// A login answer: on code 200 a string "data"."token" becomes the session token.
std::string ReadLoginAnswer(std::string& answer, std::wstring_view name, std::wstring_view failurePrefix) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, name)) return {};
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) {
    LogAnswerFailure(failurePrefix, envelope);
    return envelope.msg;
  }
  if (const rapidjson::Value* data = ObjectMember(document, "data")) {
    std::string token;
    const rapidjson::Value* member = FindValue(*data, "token");
    if (member != nullptr && member->IsString()) {
      TakeText(*data, "token", token);
      SetSessionToken(token);
    }
  }
  return envelope.msg;
}

// An answer whose only result is its code.
bool ReadCodeAnswer(std::string& answer, std::wstring_view name, std::wstring_view failurePrefix,
                    int32_t missingCode) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, name)) return false;
  const Envelope envelope = ReadStandardEnvelope(document, missingCode);
  if (envelope.code != 200) {
    LogAnswerFailure(failurePrefix, envelope);
    return false;
  }
  return true;
}

}  // namespace

std::string ParseLoginUsrNameAnswer(std::string answer) {
  return ReadLoginAnswer(answer, L"ParseLoginUsrName", L"ParseLoginUsrName false msg:");
}

std::string ParseLoginSmsCodeAnswer(std::string answer) {
  return ReadLoginAnswer(answer, L"ParseLoginSmsCode", L"ParseLoginSmsCode false msg:");
}

bool ParseLoginRecordAnswer(std::string answer, AccountRecord& record) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseLoginRecord")) return false;
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseLoginRecord false msg:", envelope);
    return false;
  }
  const rapidjson::Value* data = ObjectMember(document, "data");
  const rapidjson::Value* username = data ? FindValue(*data, "username") : nullptr;
  if (username == nullptr || !username->IsString()) {
    LogError(L"ParseLoginRecord: the answer names no account");
    return false;
  }
  static constexpr std::pair<const char*, std::string AccountRecord::*> kFields[] = {
      {"id", &AccountRecord::id},
      {"username", &AccountRecord::username},
      {"nickname", &AccountRecord::nickname},
      {"realname", &AccountRecord::realname},
      {"mobile", &AccountRecord::mobile},
      {"balance", &AccountRecord::balance},
      {"token", &AccountRecord::token},
      {"login_time", &AccountRecord::login_time},
      {"avatar", &AccountRecord::avatar}};
  for (const auto& [key, field] : kFields) TakeText(*data, key, record.*field);
  return true;
}

std::string ParseSendSmsCodeAnswer(std::string answer) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseSendSmsCode")) return {};
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) LogAnswerFailure(L"ParseSendSmsCode false msg:", envelope);
  return envelope.msg;
}

void ParseGetPersonInfoAnswer(std::string answer, AccountRecord& person) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseGetPersonInfo")) return;
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseGetPersonInfo false msg:", envelope);
    return;
  }
  const rapidjson::Value* data = ObjectMember(document, "data");
  if (data == nullptr) return;
  TakeText(*data, "id", person.id);
  TakeText(*data, "username", person.username);
  TakeText(*data, "nickname", person.nickname);
  TakeText(*data, "realname", person.realname);
  TakeText(*data, "mobile", person.mobile);
  TakeText(*data, "balance", person.balance);
  TakeText(*data, "token", person.token);
  TakeText(*data, "login_time", person.login_time);
  TakeText(*data, "avatar", person.avatar);
  TakeText(*data, "qq", person.qq);
  TakeText(*data, "email", person.email);
  TakeText(*data, "address_id", person.address_id);
  TakeText(*data, "address", person.address);
}

bool ParseModifyPersonHeadAnswer(std::string answer) {
  return ReadCodeAnswer(answer, L"ParseModifyPersonHead", L"ModifyPersonHead false msg:", 0);
}

bool PraseUpPersonInfoAnswer(std::string answer) {
  return ReadCodeAnswer(answer, L"PraseUpPersonInfo", L"PraseUpPersonInfo false msg:", 0);
}

std::string ParseGetPalyVideoCodeAnswer(std::string answer) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseGetPalyVideoCode")) return {};
  const Envelope envelope = ReadMediaEnvelope(document, 200);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseGetPalyVideoCode false msg:", envelope);
    return {};
  }
  std::string playAuth;
  TakeText(document, "playauth", playAuth);
  return playAuth;
}

std::string ParseGetVideoInfoAnswer(std::string answer, int64_t& size) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseGetVideoInfo")) return {};
  const Envelope envelope = ReadMediaEnvelope(document, 200);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseGetVideoInfo false msg:", envelope);
    return {};
  }
  std::string fileUrl;
  TakeText(document, "FileURL", fileUrl);
  const rapidjson::Value* sizeValue = FindValue(document, "Size");
  if (sizeValue != nullptr && sizeValue->IsInt64()) {
    size = sizeValue->GetInt64();
  }
  return fileUrl;
}

bool ParseUpLearnRecordAnswer(std::string answer) {
  return ReadCodeAnswer(answer, L"ParseUpLearnRecord", L"ParseUpLearnRecord false msg:", 200);
}

bool ParseUpMyQuestionsAnswer(std::string answer) {
  return ReadCodeAnswer(answer, L"ParseUpMyQuestions", L"ParseUpMyQuestions false msg:", 200);
}

std::string ParseLoginUsrName(const std::string& account, const std::string& password) {
  return ParseLoginUsrNameAnswer(LoginUsrName(account, password));
}

std::string ParseSendSmsCode(const std::string& mobile) {
  return ParseSendSmsCodeAnswer(SendSmsCode(mobile));
}

std::string ParseLoginSmsCode(const std::string& mobile, const std::string& code) {
  return ParseLoginSmsCodeAnswer(LoginSmsCode(mobile, code));
}

void ParseGetPersonInfo(AccountRecord& person) { ParseGetPersonInfoAnswer(GetPersonInfo(), person); }

bool ParseModifyPersonHead(const std::string& picturePath) {
  return ParseModifyPersonHeadAnswer(ModifyPersonHead(picturePath));
}

bool PraseUpPersonInfo(const AccountRecord& person) { return PraseUpPersonInfoAnswer(UpPersonInfo(person)); }

std::string ParseGetPalyVideoCode(const std::string& videoId) {
  return ParseGetPalyVideoCodeAnswer(GetPalyVideoCode(videoId));
}

std::string ParseGetVideoInfo(const std::string& videoId, int64_t& size) {
  return ParseGetVideoInfoAnswer(GetVideoInfo(videoId), size);
}

bool ParseUpLearnRecord(const std::string& learnedDuration, const std::string& lessonId) {
  return ParseUpLearnRecordAnswer(UpLearnRecord(learnedDuration, lessonId));
}

bool ParseUpMyQuestions(const std::string& type, const std::string& content, const std::string& classId,
                        const std::string& lessonId) {
  return ParseUpMyQuestionsAnswer(UpMyQuestions(type, content, classId, lessonId));
}
