// The school's service endpoints: sign-in by password and by SMS code, the catalogue and
// class details, the profile, avatar upload, learning progress, questions about videos, the
// start-up statistics, and the two media endpoints (play authorisation, download address).
// Answers use the {code, msg, data} envelope, or the media envelope with the message in
// "msg"."msg" and the payload at the root. Expired or invalid sign-ins get code 401.
#pragma once

#include "Context.h"

#include <httplib.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace demo {

class ApiRoutes {
public:
    explicit ApiRoutes(Context& context) : m_context(context) {}
    void Install(httplib::Server& server);

private:
    struct PendingCode {
        std::string code;
        std::int64_t expiresAt = 0;
        int failures = 0;
    };

    const Account* Authenticate(const httplib::Request& req, httplib::Response& res);
    void AnswerLogin(const Account& account, httplib::Response& res);

    void Login(const httplib::Request& req, httplib::Response& res);
    void SendSmsCode(const httplib::Request& req, httplib::Response& res);
    void SmsLogin(const httplib::Request& req, httplib::Response& res);
    void MyCourse(const httplib::Request& req, httplib::Response& res);
    void MyClass(const httplib::Request& req, httplib::Response& res);
    void MyInfo(const httplib::Request& req, httplib::Response& res);
    void ChangeAvatar(const httplib::Request& req, httplib::Response& res);
    void UpdateInfo(const httplib::Request& req, httplib::Response& res);
    void PlayAuth(const httplib::Request& req, httplib::Response& res);
    void PlayUri(const httplib::Request& req, httplib::Response& res);
    void LearnProgress(const httplib::Request& req, httplib::Response& res);
    void SaveQuestion(const httplib::Request& req, httplib::Response& res);
    void PcStatistics(const httplib::Request& req, httplib::Response& res);

    std::string AvatarUrl(const Account& account, const std::map<std::string, std::string>& profile) const;

    Context& m_context;
    std::mutex m_smsMutex;
    std::map<std::string, PendingCode> m_pendingCodes;  // by mobile number
};

}  // namespace demo
