// Request operations of the school's web service.
#include "service/Endpoints.h"

#include <string_view>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/FieldCipher.h"
#include "service/HttpTransport.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

// A form body or query string: each value is the locale's text sent as URL-encoded
// UTF-8, so "&", "=" and Chinese text reach the service exactly as typed.
class Form {
 public:
  Form& Add(std::string_view key, std::string_view value) {
    return AddEncoded(key, UrlEncode(AnsiToUtf8(value)));
  }
  // For a value that is already URL-encoded.
  Form& AddEncoded(std::string_view key, std::string_view encoded) {
    if (!m_text.empty()) m_text += '&';
    m_text.append(key).append("=").append(encoded);
    return *this;
  }
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
};

std::string PostForm(std::string_view path, const Form& form) {
  HttpTransport& transport = HttpTransport::Instance();
  std::string answer;
  if (!transport.Post(GetApiOrigin().append(path), form.Text(), answer)) return {};
  return answer;
}

std::string GetQuery(std::string_view path, const Form& query) {
  HttpTransport& transport = HttpTransport::Instance();
  std::string answer;
  if (!transport.Get(GetApiOrigin().append(path).append(query.Text()), answer)) return {};
  return answer;
}

ServiceReply PostFormReply(std::string_view path, const Form& form) {
  ServiceReply reply;
  reply.completed = HttpTransport::Instance().Post(GetApiOrigin().append(path), form.Text(), reply.body,
                                                   &reply.httpStatus, &reply.failure);
  return reply;
}

// A report whose answer counts a missing "code" as accepted: an answer that arrives with an
// HTTP error status (a proxy's 503 page, a server's 500 with "{}") was not accepted, so it is
// handed on as no answer and the report is kept for sending again.
std::string PostReport(std::string_view path, const Form& form) {
  ServiceReply reply = PostFormReply(path, form);
  if (!reply.completed) return {};
  if (reply.httpStatus < 200 || reply.httpStatus > 299) {
    LogError(AnsiToWide(std::string(path)) + L" http status:" + std::to_wstring(reply.httpStatus));
    return {};
  }
  return std::move(reply.body);
}

Form TokenForm() { return std::move(Form().Add("token", GetSessionToken())); }

}  // namespace

namespace {
Form LoginForm(const std::string& account, const std::string& password) {
  return std::move(Form().Add("username", account).Add("password", password));
}
Form SmsLoginForm(const std::string& mobile, const std::string& code) {
  return std::move(Form().Add("mobile", mobile).Add("code", code));
}
}  // namespace

std::string LoginUsrName(const std::string& account, const std::string& password) {
  return PostForm("/api/login", LoginForm(account, password));
}

ServiceReply LoginUsrNameReply(const std::string& account, const std::string& password) {
  return PostFormReply("/api/login", LoginForm(account, password));
}

std::string SendSmsCode(const std::string& mobile) {
  return PostForm("/api/sms/sendCaptcha2",
                  Form().AddEncoded("mobile", EncodeMobileForSms(mobile)).Add("type", "login"));
}

std::string LoginSmsCode(const std::string& mobile, const std::string& code) {
  return PostForm("/api/login/smslogin", SmsLoginForm(mobile, code));
}

ServiceReply LoginSmsCodeReply(const std::string& mobile, const std::string& code) {
  return PostFormReply("/api/login/smslogin", SmsLoginForm(mobile, code));
}

std::string GetMyCourse() { return PostForm("/api/user/myCourse", TokenForm()); }

namespace {
Form MyClassForm(const std::string& classId) {
  return std::move(TokenForm().Add("classId", classId).Add("isOld", "0"));
}
}  // namespace

std::string MyCourseList(const std::string& classId) {
  return PostForm("/api/user/myClass", MyClassForm(classId));
}

ServiceReply MyCourseListReply(const std::string& classId) {
  return PostFormReply("/api/user/myClass", MyClassForm(classId));
}

std::string GetPersonInfo() { return PostForm("/api/user/myInfo", TokenForm()); }

std::string ModifyPersonHead(const std::string& picturePath) {
  HttpTransport& transport = HttpTransport::Instance();
  const std::string url = GetApiOrigin() + "/api/user/changeAvatar?" + TokenForm().Text();
  std::string answer;
  transport.UploadFile(url, picturePath, answer);
  return answer;
}

std::string UpPersonInfo(const AccountRecord& person) {
  return PostForm("/api/user/updateInfo", TokenForm()
                                              .Add("nickname", person.nickname)
                                              .Add("realname", person.realname)
                                              .Add("qq", person.qq)
                                              .Add("addressId", person.address_id)
                                              .Add("address", person.address)
                                              .Add("mobile", person.mobile));
}

std::string GetPalyVideoCode(const std::string& videoId) {
  return GetQuery("/api/Apibook/playAuth?", Form().Add("vid", videoId));
}

std::string GetVideoInfo(const std::string& videoId) {
  return GetQuery("/api/Apibook/playUri?", Form().Add("vid", videoId));
}

std::string UpLearnRecord(const std::string& learnedDuration, const std::string& lessonId) {
  return PostReport("/api/user/learnProgress",
                  TokenForm().Add("learnedDuration", learnedDuration).Add("lessonId", lessonId));
}

std::string UpMyQuestions(const std::string& type, const std::string& content, const std::string& classId,
                          const std::string& lessonId) {
  return PostReport("/api/Feedback/saveVoideData", TokenForm()
                                                     .Add("type", type)
                                                     .Add("content", content)
                                                     .Add("lessonId", lessonId)
                                                     .Add("classId", classId));
}

void UpPcInfoWith(const std::string& computerName, const std::string& systemVersion,
                  const std::string& machineId) {
  HttpTransport& transport = HttpTransport::Instance();
  const Form form = std::move(
      Form().Add("computer_name", computerName).Add("sys_ver", systemVersion).Add("machine_id", machineId));
  std::string answer;
  if (!transport.Post(GetApiOrigin() + "/api/login/pcstatistics?", form.Text(), answer)) {
    LogError(L"UpPcInfo false:" + Utf8ToWide(answer));
  }
}

std::string PcSystemVersion(const std::string& osName, bool is64Bit) {
  return osName + (is64Bit ? " 64位" : " 32位");
}
