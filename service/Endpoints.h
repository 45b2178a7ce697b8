// One request operation per endpoint of the school's web service. Each builds its URL and
// form body (values URL-encoded from the locale's text as UTF-8), sends it through
// HttpTransport and returns the answer text; empty text when the exchange failed.
#pragma once

#include <string>

#include "service/HttpTransport.h"

struct AccountRecord;

std::string LoginUsrName(const std::string& account, const std::string& password);
std::string SendSmsCode(const std::string& mobile);
std::string LoginSmsCode(const std::string& mobile, const std::string& code);
std::string GetMyCourse();
std::string MyCourseList(const std::string& classId);

// An answer together with how it arrived: `completed` is false when no exchange completed
// (refused connection, time-out, ...) and `failure` then says why; `httpStatus` is the
// HTTP status of a completed one.
struct ServiceReply {
  bool completed = false;
  long httpStatus = 0;
  std::string body;
  TransportFailure failure = TransportFailure::None;
};
// Whether the school itself answered: an exchange completed with a 2xx status and a body
// that is the service's JSON envelope (an object with an integer "code"). No route, a
// refused connection, a time-out, an HTTP error and a captive portal's HTML page are not.
bool IsServiceAnswer(const ServiceReply& reply);
// The sign-in requests with the transport's outcome kept, so the login window can tell a
// service that took too long from one that refused.
ServiceReply LoginUsrNameReply(const std::string& account, const std::string& password);
ServiceReply LoginSmsCodeReply(const std::string& mobile, const std::string& code);
// MyCourseList with the transport's outcome kept, so callers can tell "no answer" from
// an answer that refuses the request.
ServiceReply MyCourseListReply(const std::string& classId);
std::string GetPersonInfo();
// The answer is returned whatever the upload reported (empty when nothing arrived).
std::string ModifyPersonHead(const std::string& picturePath);
// Sends nickname, realname, qq, address_id (as "addressId"), address and mobile.
std::string UpPersonInfo(const AccountRecord& person);
std::string GetPalyVideoCode(const std::string& videoId);
std::string GetVideoInfo(const std::string& videoId);
std::string UpLearnRecord(const std::string& learnedDuration, const std::string& lessonId);
// Takes the class id before the lesson id but sends the lesson id first.
std::string UpMyQuestions(const std::string& type, const std::string& content, const std::string& classId,
                          const std::string& lessonId);

// The start-up statistics report: computer name, system version and machine id. The
// answer is not looked at; a failed exchange leaves an "UpPcInfo false:" line.
void UpPcInfo();

// The same report with the facts given (UpPcInfo gathers them from the system).
void UpPcInfoWith(const std::string& computerName, const std::string& systemVersion,
                  const std::string& machineId);

// The system version text of the report: the system's name, a space, "64位" or "32位".
std::string PcSystemVersion(const std::string& osName, bool is64Bit);
