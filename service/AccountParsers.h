// Answer parsers of the sign-in, profile, media and progress endpoints. Each sends its
// request, reads the answer's envelope, logs a failure in a fixed wording and returns a
// plain value; nothing is thrown. The ...Answer forms read an answer already at hand.
#pragma once

#include <cstdint>
#include <string>

struct AccountRecord;

// Success texts the login form compares the returned message with.
inline constexpr const char* kLoginSuccessMsg = "登录成功";
inline constexpr const char* kSmsSentMsg = "发送成功";

// The service's message (empty when the answer cannot be read). Code 200 with a string
// "data"."token" sets the session token.
std::string ParseLoginUsrName(const std::string& account, const std::string& password);
std::string ParseSendSmsCode(const std::string& mobile);
std::string ParseLoginSmsCode(const std::string& mobile, const std::string& code);
// Fills the record in place on code 200; leaves it untouched on any failure.
void ParseGetPersonInfo(AccountRecord& person);
bool ParseModifyPersonHead(const std::string& picturePath);
// True when the service took the change.
bool PraseUpPersonInfo(const AccountRecord& person);
// The play authorisation; empty on any failure.
std::string ParseGetPalyVideoCode(const std::string& videoId);
// The download address; empty on any failure. size is set only from an integer "Size".
std::string ParseGetVideoInfo(const std::string& videoId, int64_t& size);
bool ParseUpLearnRecord(const std::string& learnedDuration, const std::string& lessonId);
bool ParseUpMyQuestions(const std::string& type, const std::string& content, const std::string& classId,
                        const std::string& lessonId);

std::string ParseLoginUsrNameAnswer(std::string answer);
std::string ParseSendSmsCodeAnswer(std::string answer);
std::string ParseLoginSmsCodeAnswer(std::string answer);
// The account record of a successful sign-in answer (the "data" of either login endpoint):
// its text fields are filled in place. True only for a code-200 answer whose "data" is an
// object with a string "username"; anything else writes one error line and gives false,
// leaving the record as it was.
bool ParseLoginRecordAnswer(std::string answer, AccountRecord& record);
void ParseGetPersonInfoAnswer(std::string answer, AccountRecord& person);
bool ParseModifyPersonHeadAnswer(std::string answer);
bool PraseUpPersonInfoAnswer(std::string answer);
std::string ParseGetPalyVideoCodeAnswer(std::string answer);
std::string ParseGetVideoInfoAnswer(std::string answer, int64_t& size);
bool ParseUpLearnRecordAnswer(std::string answer);
bool ParseUpMyQuestionsAnswer(std::string answer);
