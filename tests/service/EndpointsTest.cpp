// Every request operation against a loopback server: method, path, keys, their order,
// the token, and values arriving exactly as typed.
#include <sys/utsname.h>

#include <functional>

#include "ServiceTestSupport.h"
#include "app/SystemInfo.h"
#include "service/Endpoints.h"
#include "service/FieldCipher.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

using servicetest::LoopbackServer;
using servicetest::TempHomeTest;

class EndpointsTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    m_server = std::make_unique<LoopbackServer>();
    m_server->SetAnswer(200, R"({"code":200,"msg":"ok"})");
    SetApiOrigin(m_server->Origin());
    // "=" and "&" in the token must not break the form.
    SetSessionToken("t0k=n&x");
  }
  std::unique_ptr<LoopbackServer> m_server;
};

constexpr const char* kToken = "token=t0k%3Dn%26x";

// The SMS mobile value computed with the openssl command, then URL-encoded by hand.
std::string ExpectedSmsMobile(const std::string& mobile) {
  const std::string base64 =
      servicetest::RunCommand("printf %s " + mobile + " | openssl enc -aes-128-ecb -nosalt -K " +
                              servicetest::Hex(kSmsKey) + " | base64 -w0");
  std::string out;
  for (const char c : base64) {
    out += c == '+' ? "%2B" : c == '/' ? "%2F" : c == '=' ? "%3D" : std::string(1, c);
  }
  return out;
}

TEST_F(EndpointsTest, EveryFormEndpointSendsItsKeysInOrder) {
  AccountRecord person;
  person.nickname = "小明 a&b";
  person.realname = "王=五";
  person.qq = "10001";
  person.address_id = "31";
  person.address = "上海 1号";
  person.mobile = "13900000000";
  person.email = "not@sent";
  const struct {
    const char* name;
    std::function<std::string()> call;
    const char* method;
    std::string target;
    std::string body;
  } cases[] = {
      {"LoginUsrName", [] { return LoginUsrName("stu", "a&b"); }, "POST", "/api/login",
       "username=stu&password=a%26b"},
      {"SendSmsCode", [] { return SendSmsCode("13800138000"); }, "POST", "/api/sms/sendCaptcha2",
       "mobile=" + ExpectedSmsMobile("13800138000") + "&type=login"},
      {"LoginSmsCode", [] { return LoginSmsCode("13800138000", "1234"); }, "POST", "/api/login/smslogin",
       "mobile=13800138000&code=1234"},
      {"GetMyCourse", [] { return GetMyCourse(); }, "POST", "/api/user/myCourse", kToken},
      {"MyCourseList", [] { return MyCourseList("42"); }, "POST", "/api/user/myClass",
       std::string(kToken) + "&classId=42&isOld=0"},
      {"GetPersonInfo", [] { return GetPersonInfo(); }, "POST", "/api/user/myInfo", kToken},
      {"UpPersonInfo", [&] { return UpPersonInfo(person); }, "POST", "/api/user/updateInfo",
       std::string(kToken) + "&nickname=%E5%B0%8F%E6%98%8E+a%26b&realname=%E7%8E%8B%3D%E4%BA%94&qq=10001"
                             "&addressId=31&address=%E4%B8%8A%E6%B5%B7+1%E5%8F%B7&mobile=13900000000"},
      {"GetPalyVideoCode", [] { return GetPalyVideoCode(""); }, "GET", "/api/Apibook/playAuth?vid=", ""},
      {"GetVideoInfo", [] { return GetVideoInfo("v 1/2"); }, "GET", "/api/Apibook/playUri?vid=v+1%2F2", ""},
      {"UpLearnRecord", [] { return UpLearnRecord("600", "7"); }, "POST", "/api/user/learnProgress",
       std::string(kToken) + "&learnedDuration=600&lessonId=7"},
      {"UpMyQuestions", [] { return UpMyQuestions("2", "卡顿", "c9", "l7"); }, "POST",
       "/api/Feedback/saveVoideData",
       std::string(kToken) + "&type=2&content=%E5%8D%A1%E9%A1%BF&lessonId=l7&classId=c9"},
      {"UpPcInfoWith",
       [] {
         UpPcInfoWith("box-1", PcSystemVersion("debian12", true), "ABCDE-FGHIJ");
         return std::string(R"({"code":200,"msg":"ok"})");
       },
       "POST", "/api/login/pcstatistics?",
       "computer_name=box-1&sys_ver=debian12+64%E4%BD%8D&machine_id=ABCDE-FGHIJ"},
  };
  size_t seen = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), R"({"code":200,"msg":"ok"})");
    const auto requests = m_server->Requests();
    ASSERT_EQ(requests.size(), seen + 1);
    const auto& request = requests[seen++];
    EXPECT_EQ(request.method, c.method);
    EXPECT_EQ(request.target, c.target);
    EXPECT_EQ(request.body, c.body);
  }
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(EndpointsTest, ServiceSeesTheValuesAsTyped) {
  LoginUsrName("stu dent", "a&b=c");
  AccountRecord person;
  person.nickname = "小明";
  UpPersonInfo(person);
  const auto requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  const auto value = [](const servicetest::RecordedRequest& r, const std::string& key) {
    const auto it = r.params.find(key);
    return it == r.params.end() ? std::string("<missing>") : it->second;
  };
  EXPECT_EQ(value(requests[0], "username"), "stu dent");
  EXPECT_EQ(value(requests[0], "password"), "a&b=c");
  EXPECT_EQ(requests[0].params.size(), 2u);
  EXPECT_EQ(value(requests[1], "token"), "t0k=n&x");
  EXPECT_EQ(value(requests[1], "nickname"), "小明");
}

TEST_F(EndpointsTest, AvatarUploadCarriesTheTokenInTheUrl) {
  const auto picture = m_root / "me.png";
  servicetest::WriteFile(picture, "png-bytes");
  EXPECT_EQ(ModifyPersonHead(picture.string()), R"({"code":200,"msg":"ok"})");
  const auto requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/user/changeAvatar?token=t0k%3Dn%26x");
  ASSERT_EQ(requests[0].files.count("file"), 1u);
  EXPECT_EQ(requests[0].files.find("file")->second.content, "png-bytes");
}

TEST_F(EndpointsTest, FailedExchangesGiveEmptyAnswersAndUpPcInfoLogsIt) {
  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  EXPECT_EQ(GetMyCourse(), "");
  EXPECT_EQ(GetVideoInfo("v"), "");
  UpPcInfoWith("box", "debian12 64位", "id");
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_TRUE(errors[2].ends_with("/api/login/pcstatistics? curl ret:7")) << errors[2];
  EXPECT_EQ(errors[3], "UpPcInfo false:");
}

TEST_F(EndpointsTest, StartUpReportSendsThisMachinesFacts) {
  UpPcInfo();
  const auto requests = m_server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/api/login/pcstatistics?");
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  const bool is64 = std::string(names.machine).find("64") != std::string::npos;
  EXPECT_EQ(requests[0].body, "computer_name=" + UrlEncode(GetComputerNameText()) +
                                  "&sys_ver=" + UrlEncode(PcSystemVersion(GetOsName(), is64)) +
                                  "&machine_id=" + UrlEncode(GetMachineId()));
  EXPECT_FALSE(GetMachineId().empty());
  EXPECT_TRUE(ErrorLines().empty());
}

TEST(PcSystemVersionTest, NamesTheWordSize) {
  EXPECT_EQ(PcSystemVersion("debian12", true), "debian12 64位");
  EXPECT_EQ(PcSystemVersion("", false), " 32位");
}

}  // namespace
