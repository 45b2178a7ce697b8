// The answer parsers of the standard and media envelopes: success, failure code, missing
// code, wrong types, unparseable and non-object answers, each with its exact log lines.
#include <functional>

#include "ServiceTestSupport.h"
#include "service/AccountParsers.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

using servicetest::LoopbackServer;
using servicetest::TempHomeTest;
using Lines = std::vector<std::string>;

struct AnswerCase {
  const char* name;
  std::string answer;
  std::string result;  // the parser's outcome as the runner renders it
  Lines errors;        // error lines written by this answer alone
};

class AccountParsersTest : public TempHomeTest {
 protected:
  // Runs every case through run and checks the outcome and the new error lines.
  void RunTable(const std::function<std::string(std::string)>& run, const std::vector<AnswerCase>& cases) {
    for (const AnswerCase& c : cases) {
      SCOPED_TRACE(c.name);
      SetSessionToken("old");
      const size_t before = ErrorLines().size();
      EXPECT_EQ(run(c.answer), c.result);
      const Lines errors = ErrorLines();
      EXPECT_EQ(Lines(errors.begin() + static_cast<long>(before), errors.end()), c.errors);
    }
    EXPECT_TRUE(NormalLines().empty());
  }

  // The answers that are not JSON objects, for a parser's name and failure result.
  static std::vector<AnswerCase> Unreadable(const std::string& parser, const std::string& result) {
    const Lines line{parser + " ParseInsitu false"};
    return {{"empty answer", "", result, line},
            {"cut short", R"({"code":200,"msg":)", result, line},
            {"trailing garbage", R"({"code":200} x)", result, line},
            {"array root", R"([{"code":200}])", result, line},
            {"string root", R"("code")", result, line},
            {"number root", "200", result, line}};
  }

  static std::vector<AnswerCase> Join(std::vector<AnswerCase> a, std::vector<AnswerCase> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(AccountParsersTest, LoginParsersReturnTheMessageAndTakeTheToken) {
  const struct {
    const char* parser;
    std::string (*parse)(std::string);
  } parsers[] = {{"ParseLoginUsrName", ParseLoginUsrNameAnswer},
                 {"ParseLoginSmsCode", ParseLoginSmsCodeAnswer}};
  for (const auto& p : parsers) {
    SCOPED_TRACE(p.parser);
    const std::string prefix = std::string(p.parser) + " false msg:";
    RunTable(
        [&](std::string answer) {
          const std::string message = p.parse(std::move(answer));
          return message + "|" + GetSessionToken();
        },
        Join({{"success",
               R"({"code":200,"msg":"登录成功","data":{"token":"tk1","id":"9"}})",
               "登录成功|tk1",
               {}},
              {"success without data", R"({"code":200,"msg":"登录成功"})", "登录成功|old", {}},
              {"token not a string",
               R"({"code":200,"msg":"登录成功","data":{"token":7}})",
               "登录成功|old",
               {}},
              {"data not an object", R"({"code":200,"msg":"登录成功","data":"tk"})", "登录成功|old", {}},
              {"failure code",
               R"({"code":401,"msg":"密码错误","data":{"token":"x"}})",
               "密码错误|old",
               {prefix + "密码错误 code:401"}},
              {"code as a string",
               R"({"code":"200","msg":"登录成功","data":{"token":"x"}})",
               "登录成功|old",
               {prefix + "登录成功 code:0"}},
              {"code beyond 32 bits", R"({"code":4294967496,"msg":"m"})", "m|old", {prefix + "m code:0"}},
              {"missing code", R"({"msg":"m"})", "m|old", {prefix + "m code:0"}},
              {"message not a string", R"({"code":403,"msg":{"msg":"x"}})", "|old", {prefix + " code:403"}}},
             Unreadable(p.parser, "|old")));
  }
}

// The account's own name comes from the sign-in answer's record; an answer without one
// cannot sign anybody in, and the token is never touched by this parser.
TEST_F(AccountParsersTest, LoginRecordGivesTheAccountsOwnNameOrFails) {
  const Lines noAccount{"ParseLoginRecord: the answer names no account"};
  RunTable(
      [](std::string answer) {
        AccountRecord record;
        record.username = "before";
        const bool ok = ParseLoginRecordAnswer(std::move(answer), record);
        return std::string(ok ? "ok:" : "no:") + record.username + "," + record.mobile + "," +
               record.nickname + "|" + GetSessionToken();
      },
      Join({{"password or SMS sign-in",
             R"({"code":200,"msg":"登录成功","data":{"id":"10001","username":"lixiaoming",)"
             R"("mobile":"13800138001","nickname":"小明","token":"tk"}})",
             "ok:lixiaoming,13800138001,小明|old",
             {}},
            {"other fields of another type",
             R"({"code":200,"data":{"username":"xm","mobile":13800138001}})",
             "ok:xm,,|old",
             {}},
            {"empty name (refused later, as a folder name)",
             R"({"code":200,"data":{"username":""}})",
             "ok:,,|old",
             {}},
            {"no data", R"({"code":200,"msg":"登录成功"})", "no:before,,|old", noAccount},
            {"data not an object", R"({"code":200,"data":"lixiaoming"})", "no:before,,|old", noAccount},
            {"name not a string", R"({"code":200,"data":{"username":["a"],"mobile":"1"}})", "no:before,,|old",
             noAccount},
            {"name missing", R"({"code":200,"data":{"mobile":"13800138001"}})", "no:before,,|old", noAccount},
            {"failure code",
             R"({"code":400,"msg":"登录成功","data":{"username":"x"}})",
             "no:before,,|old",
             {"ParseLoginRecord false msg:登录成功 code:400"}}},
           Unreadable("ParseLoginRecord", "no:before,,|old")));
}

TEST_F(AccountParsersTest, SendSmsCodeReturnsTheMessage) {
  RunTable(ParseSendSmsCodeAnswer, Join({{"success", R"({"code":200,"msg":"发送成功"})", "发送成功", {}},
                                         {"failure code",
                                          R"({"code":429,"msg":"太频繁"})",
                                          "太频繁",
                                          {"ParseSendSmsCode false msg:太频繁 code:429"}},
                                         {"missing code", "{}", "", {"ParseSendSmsCode false msg: code:0"}}},
                                        Unreadable("ParseSendSmsCode", "")));
}

TEST_F(AccountParsersTest, PersonInfoFillsTheRecordInPlace) {
  const auto render = [](const AccountRecord& r) {
    return r.id + "," + r.username + "," + r.nickname + "," + r.realname + "," + r.mobile + "," + r.balance +
           "," + r.token + "," + r.login_time + "," + r.avatar + "," + r.qq + "," + r.email + "," +
           r.address_id + "," + r.address;
  };
  const std::string kept = "k,k,k,k,k,k,k,k,k,k,k,k,k";
  RunTable(
      [&](std::string answer) {
        AccountRecord person{"k", "k", "k", "k", "k", "k", "k", "k", "k", "k", "k", "k", "k"};
        ParseGetPersonInfoAnswer(std::move(answer), person);
        return render(person);
      },
      Join({{"success with a numeric nickname",
             R"({"code":200,"data":{"id":"1","username":"stu","nickname":5,"realname":"王五",
                 "mobile":"139","balance":"0.00","token":"t","login_time":"2026","avatar":"a.png",
                 "qq":"100","email":"e@x","address_id":"31","address":"上海"}})",
             "1,stu,k,王五,139,0.00,t,2026,a.png,100,e@x,31,上海",
             {}},
            {"data not an object", R"({"code":200,"data":[]})", kept, {}},
            {"failure code",
             R"({"code":401,"msg":"登陆失效","data":{"id":"1"}})",
             kept,
             {"ParseGetPersonInfo false msg:登陆失效 code:401"}},
            {"missing code", R"({"data":{"id":"1"}})", kept, {"ParseGetPersonInfo false msg: code:0"}}},
           Unreadable("ParseGetPersonInfo", kept)));
}

TEST_F(AccountParsersTest, CodeOnlyParsers) {
  const auto asText = [](bool value) { return std::string(value ? "true" : "false"); };
  {
    SCOPED_TRACE("ParseModifyPersonHead");
    RunTable([&](std::string a) { return asText(ParseModifyPersonHeadAnswer(std::move(a))); },
             Join({{"success", R"({"code":200,"msg":"ok","data":{"img":"/h.png"}})", "true", {}},
                   {"failure code",
                    R"({"code":413,"msg":"太大"})",
                    "false",
                    {"ModifyPersonHead false msg:太大 code:413"}},
                   {"missing code", "{}", "false", {"ModifyPersonHead false msg: code:0"}}},
                  Unreadable("ParseModifyPersonHead", "false")));
  }
  {
    SCOPED_TRACE("PraseUpPersonInfo");
    RunTable(
        [](std::string a) {
          PraseUpPersonInfoAnswer(std::move(a));
          return std::string();
        },
        Join({{"success", R"({"code":200})", "", {}},
              {"failure code", R"({"code":500,"msg":"错"})", "", {"PraseUpPersonInfo false msg:错 code:500"}},
              {"missing code", R"({"code":null})", "", {"PraseUpPersonInfo false msg: code:0"}}},
             Unreadable("PraseUpPersonInfo", "")));
  }
  // These two count a missing code as success.
  const struct {
    const char* parser;
    bool (*parse)(std::string);
  } lenient[] = {{"ParseUpLearnRecord", ParseUpLearnRecordAnswer},
                 {"ParseUpMyQuestions", ParseUpMyQuestionsAnswer}};
  for (const auto& p : lenient) {
    SCOPED_TRACE(p.parser);
    const std::string prefix = std::string(p.parser) + " false msg:";
    RunTable(
        [&](std::string a) { return asText(p.parse(std::move(a))); },
        Join({{"success", R"({"code":200})", "true", {}},
              {"missing code", "{}", "true", {}},
              {"code as a string", R"({"code":"401","msg":"x"})", "true", {}},
              {"failure code", R"({"code":401,"msg":"登陆失效"})", "false", {prefix + "登陆失效 code:401"}},
              {"negative code", R"({"code":-1})", "false", {prefix + " code:-1"}}},
             Unreadable(p.parser, "false")));
  }
}

TEST_F(AccountParsersTest, MediaParsersReadTheRootAndTheNestedMessage) {
  {
    SCOPED_TRACE("ParseGetPalyVideoCode");
    const std::string prefix = "ParseGetPalyVideoCode false msg:";
    RunTable(ParseGetPalyVideoCodeAnswer,
             Join({{"success", R"({"code":200,"vid":"v1","playauth":"PA=="})", "PA==", {}},
                   {"missing code is success", R"({"playauth":"PA"})", "PA", {}},
                   {"code as a string is success", R"({"code":"500","playauth":"PA"})", "PA", {}},
                   {"playauth not a string", R"({"code":200,"playauth":1})", "", {}},
                   {"plain string message",
                    R"({"code":403,"msg":"denied","playauth":"PA"})",
                    "",
                    {prefix + " code:403"}},
                   {"nested message",
                    R"({"code":403,"msg":{"msg":"无权观看"}})",
                    "",
                    {prefix + "无权观看 code:403"}}},
                  Unreadable("ParseGetPalyVideoCode", "")));
  }
  {
    SCOPED_TRACE("ParseGetVideoInfo");
    const std::string prefix = "ParseGetVideoInfo false msg:";
    RunTable(
        [](std::string answer) {
          int64_t size = 7;
          std::string url = ParseGetVideoInfoAnswer(std::move(answer), size);
          return url + "|" + std::to_string(size);
        },
        Join({{"success",
               R"({"code":200,"FileURL":"http://f/v.mp4","Size":1048576})",
               "http://f/v.mp4|1048576",
               {}},
              {"missing code is success", R"({"FileURL":"u"})", "u|7", {}},
              {"size as a string", R"({"FileURL":"u","Size":"1048576"})", "u|7", {}},
              {"size as a fraction", R"({"FileURL":"u","Size":1.5})", "u|7", {}},
              {"size beyond 32 bits", R"({"FileURL":"u","Size":5000000000})", "u|5000000000", {}},
              {"failure code",
               R"({"code":404,"msg":{"msg":"没有"},"FileURL":"u","Size":1})",
               "|7",
               {prefix + "没有 code:404"}}},
             Unreadable("ParseGetVideoInfo", "|7")));
  }
}

// The designed parsers fetch their own answer: a few through a loopback server.
TEST_F(AccountParsersTest, ParsersCallTheirEndpoints) {
  LoopbackServer server;
  SetApiOrigin(server.Origin());
  SetSessionToken("");
  server.SetAnswer(500, R"({"code":200,"msg":"登录成功","data":{"token":"fresh"}})");
  EXPECT_EQ(ParseLoginUsrName("stu", "pw"), "登录成功");
  EXPECT_EQ(GetSessionToken(), "fresh");
  server.SetAnswer(200, R"({"code":200,"FileURL":"http://x/v.mp4","Size":12})");
  int64_t size = 0;
  EXPECT_EQ(ParseGetVideoInfo("v1", size), "http://x/v.mp4");
  EXPECT_EQ(size, 12);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/api/login");
  EXPECT_EQ(requests[1].target, "/api/Apibook/playUri?vid=v1");

  // The two reports that count a missing code as accepted are not accepted by an HTTP error.
  server.SetAnswer(503, "{}");
  EXPECT_FALSE(ParseUpLearnRecord("10", "3"));
  EXPECT_FALSE(ParseUpMyQuestions("1", "问", "11", "3"));
  const Lines refused = ErrorLines();
  ASSERT_EQ(refused.size(), 4u);
  EXPECT_EQ(refused[0], "/api/user/learnProgress http status:503");
  EXPECT_EQ(refused[2], "/api/Feedback/saveVoideData http status:503");
  server.SetAnswer(200, "{}");
  EXPECT_TRUE(ParseUpLearnRecord("10", "3"));

  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  EXPECT_FALSE(ParseUpLearnRecord("10", "3"));
  const Lines all = ErrorLines();
  const Lines errors(all.begin() + static_cast<long>(refused.size()), all.end());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_TRUE(errors[0].ends_with("/api/user/learnProgress curl ret:7")) << errors[0];
  EXPECT_EQ(errors[1], "ParseUpLearnRecord ParseInsitu false");
}

}  // namespace
