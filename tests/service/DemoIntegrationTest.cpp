// The client against the real demo school on loopback, over HTTP and HTTPS: sign-in both
// ways, the catalogue, a class's lessons, profile, media, progress, feedback, avatar,
// expired sign-ins and a certificate the client must refuse.
#include "DemoServer.h"
#include "ServiceTestSupport.h"
#include "service/AccountParsers.h"
#include "service/CatalogueParsers.h"
#include "service/Endpoints.h"
#include "service/HttpTransport.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

using servicetest::RunCommand;
using servicetest::TempHomeTest;

class DemoIntegrationTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    gSubjectList.Clear();
    ClearSessionToken();
  }
  void TearDown() override {
    m_demo.Stop();
    gSubjectList.Clear();
    TempHomeTest::TearDown();
  }
  void StartDemo(const std::vector<std::string>& extra = {}) {
    ASSERT_TRUE(m_demo.Start(m_root / "demo-state", extra)) << m_demo.ErrorOutput();
    SetApiOrigin(m_demo.origin());
  }

  // The first class of the catalogue with at least one lesson, and that lesson.
  bool FirstLesson(ClassDetail& detail, std::string& classId) {
    std::vector<std::string> ids;
    for (const auto& [exam, packages] : gSubjectList.PackagesByExam) {
      for (const auto& package : packages) {
        for (const auto& subject : package.classes) {
          for (const auto& c : subject.classes) ids.push_back(c.id);
        }
      }
    }
    for (const auto& c : gSubjectList.Classes) ids.push_back(c.id);
    for (const auto& id : ids) {
      detail = ClassDetail();
      if (ParseMyCourseList(id, detail) && !detail.lessons.empty()) {
        classId = id;
        return true;
      }
    }
    return false;
  }

  demo_test::DemoServer m_demo;
};

TEST_F(DemoIntegrationTest, PasswordSignInCatalogueLessonsAndProgress) {
  StartDemo();
  UpPcInfo();
  EXPECT_EQ(ParseLoginUsrName("lixiaoming", "wrong"), "账号或密码错误");
  EXPECT_EQ(GetSessionToken(), "");
  // "&" and "+" in a password reach the service as typed.
  EXPECT_EQ(ParseLoginUsrName("wangfang", "Fang&2027+"), kLoginSuccessMsg);
  EXPECT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), kLoginSuccessMsg);
  EXPECT_FALSE(GetSessionToken().empty());

  ParseGetMyCourse();
  EXPECT_GE(gSubjectList.ExamNames.size(), 2u);
  EXPECT_FALSE(gSubjectList.PackagesByExam.empty());
  EXPECT_FALSE(gSubjectList.SinglePackages.empty());
  EXPECT_FALSE(gSubjectList.Classes.empty());

  ClassDetail detail;
  std::string classId;
  ASSERT_TRUE(FirstLesson(detail, classId));
  const LessonRecord& lesson = detail.lessons.front();
  EXPECT_FALSE(lesson.video.empty());
  EXPECT_FALSE(lesson.duration.empty());

  EXPECT_FALSE(ParseGetPalyVideoCode(lesson.video).empty());
  int64_t size = -1;
  const std::string fileUrl = ParseGetVideoInfo(lesson.video, size);
  EXPECT_TRUE(fileUrl.starts_with(m_demo.origin())) << fileUrl;
  EXPECT_GT(size, 0);
  EXPECT_EQ(ParseGetPalyVideoCode("no-such-video"), "");

  EXPECT_TRUE(ParseUpLearnRecord("3", lesson.id));
  EXPECT_TRUE(ParseUpMyQuestions("2", "画面卡顿 & 声音=无", classId, lesson.id));
  ClassDetail again;
  ASSERT_TRUE(ParseMyCourseList(classId, again));
  ASSERT_FALSE(again.lessons.empty());
  EXPECT_EQ(again.lessons.front().learned_duration, "3");

  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 2u) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0], "ParseLoginUsrName false msg:账号或密码错误 code:400");
  EXPECT_TRUE(errors[1].starts_with("ParseGetPalyVideoCode false msg:")) << errors[1];
}

TEST_F(DemoIntegrationTest, SmsSignInProfileAndAvatar) {
  StartDemo();
  EXPECT_EQ(ParseSendSmsCode("13800138001"), kSmsSentMsg);
  EXPECT_EQ(ParseLoginSmsCode("13800138001", "123456"), kLoginSuccessMsg);
  ASSERT_FALSE(GetSessionToken().empty());

  AccountRecord person;
  ParseGetPersonInfo(person);
  EXPECT_EQ(person.username, "lixiaoming");
  EXPECT_EQ(person.nickname, "小明同学");
  person.nickname = "新昵称 a&b=c";
  person.address = "上海市 1号";
  PraseUpPersonInfo(person);
  AccountRecord updated;
  ParseGetPersonInfo(updated);
  EXPECT_EQ(updated.nickname, "新昵称 a&b=c");
  EXPECT_EQ(updated.address, "上海市 1号");

  const auto picture = m_root / "me.png";
  RunCommand("convert -size 8x8 xc:orange '" + picture.string() +
             "' 2>/dev/null || printf "
             "'\\211PNG\\r\\n\\032\\n' > '" +
             picture.string() + "'");
  EXPECT_TRUE(ParseModifyPersonHead(picture.string()));
  EXPECT_TRUE(ErrorLines().empty()) << ::testing::PrintToString(ErrorLines());
}

TEST_F(DemoIntegrationTest, InvalidTokenAndEmptyAccount) {
  StartDemo();
  SetSessionToken("forged");
  ClassDetail detail;
  EXPECT_FALSE(ParseMyCourseList("4001", detail));
  EXPECT_FALSE(ParseUpLearnRecord("1", "1"));
  ParseGetMyCourse();
  EXPECT_TRUE(gSubjectList.Classes.empty());
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_TRUE(errors[0].starts_with("ParseMyCourseList false msg:")) << errors[0];
  EXPECT_TRUE(errors[0].ends_with(" code:401")) << errors[0];

  // An account without any course signs in and gets an empty catalogue.
  EXPECT_EQ(ParseLoginUsrName("zhaolei", "zl123456"), kLoginSuccessMsg);
  ParseGetMyCourse();
  EXPECT_TRUE(gSubjectList.Classes.empty() && gSubjectList.PackagesByExam.empty());
}

// Unusual answers, canned in the demo school, through the real transport and parsers.
TEST_F(DemoIntegrationTest, CannedAnswersThroughTheRealTransport) {
  StartDemo({"--test-hooks"});
  const auto can = [&](const std::string& path, int status, const std::string& body) {
    std::string escaped;
    for (const char c : body) escaped += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    std::string answer;
    ASSERT_TRUE(HttpTransport::Instance().Post(m_demo.origin() + "/__test/canned",
                                               R"({"path":")" + path + R"(","status":)" +
                                                   std::to_string(status) + R"(,"times":1,"body":")" +
                                                   escaped + R"("})",
                                               answer));
  };
  ASSERT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), kLoginSuccessMsg);
  ClassDetail detail;
  detail.className = "kept";

  can("/api/user/myClass", 500, R"({"code":500,"msg":"维护中"})");
  EXPECT_TRUE(ParseMyCourseList("4001", detail));
  can("/api/user/myClass", 200, R"({"code":401,"msg":"登陆失效"})");
  EXPECT_FALSE(ParseMyCourseList("4001", detail));
  EXPECT_EQ(detail.className, "kept");
  can("/api/Apibook/playUri", 200, "<html>busy</html>");
  int64_t size = 5;
  EXPECT_EQ(ParseGetVideoInfo("v", size), "");
  EXPECT_EQ(size, 5);
  // A gateway's error is not an accepted report, though its "{}" lacks a failure code.
  can("/api/user/learnProgress", 502, "{}");
  EXPECT_FALSE(ParseUpLearnRecord("1", "1"));
  // The typed result tells a gateway's error status from the service's refusal.
  can("/api/user/myClass", 502, R"({"code":401,"msg":"网关"})");
  EXPECT_EQ(FetchClassDetail("4001", detail), ClassDetailResult::NoAnswer);
  can("/api/user/myClass", 200, R"({"code":401,"msg":"登陆失效"})");
  EXPECT_EQ(FetchClassDetail("4001", detail), ClassDetailResult::Refused);
  EXPECT_EQ(FetchClassDetail("4001", detail), ClassDetailResult::Filled);

  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{"ParseMyCourseList false msg:维护中 code:500",
                                                    "ParseMyCourseList false msg:登陆失效 code:401",
                                                    "ParseGetVideoInfo ParseInsitu false",
                                                    "/api/user/learnProgress http status:502",
                                                    "ParseUpLearnRecord ParseInsitu false",
                                                    "ParseMyCourseList http status:502",
                                                    "ParseMyCourseList false msg:登陆失效 code:401"}));
}

TEST_F(DemoIntegrationTest, ExpiredSignInIsReportedAsSuch) {
  StartDemo({"--token-ttl", "0"});
  ASSERT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), kLoginSuccessMsg);
  ClassDetail detail;
  EXPECT_FALSE(ParseMyCourseList("4001", detail));
  AccountRecord person;
  ParseGetPersonInfo(person);
  EXPECT_EQ(person.username, "");
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_TRUE(errors[0].starts_with("ParseMyCourseList false msg:")) << errors[0];
  EXPECT_TRUE(errors[0].ends_with(" code:401")) << errors[0];
  EXPECT_TRUE(errors[1].ends_with(" code:401")) << errors[1];
}

TEST_F(DemoIntegrationTest, HttpsWithTheTestCaAndARefusedCertificate) {
  const std::string d = m_root.string();
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
  RunCommand("cd '" + d + "' && openssl req -x509" + ec +
             "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Demo Test CA' "
             "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null"
             " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
             " && openssl req" +
             ec +
             "-keyout demo.key -out demo.csr -subj /CN=demo 2>/dev/null"
             " && openssl x509 -req -in demo.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
             " -extfile san.ext -out demo.pem 2>/dev/null");
  StartDemo({"--cert", d + "/demo.pem", "--key", d + "/demo.key"});
  ASSERT_TRUE(m_demo.origin().starts_with("https://")) << m_demo.origin();

  SetExtraCaFile("");
  EXPECT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), "");
  ASSERT_EQ(ErrorLines().size(), 2u);
  EXPECT_EQ(ErrorLines()[0], m_demo.origin() + "/api/login curl ret:60");

  SetExtraCaFile(d + "/ca.pem");
  EXPECT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), kLoginSuccessMsg);
  ParseGetMyCourse();
  EXPECT_FALSE(gSubjectList.Classes.empty());
  EXPECT_EQ(ErrorLines().size(), 2u);
}

}  // namespace
