// The catalogue parsers: how the bought courses fill gSubjectList and a class's lessons
// fill its detail, with the edge cases of the answers and the exact log lines.
#include "ServiceTestSupport.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

using servicetest::TempHomeTest;
using Lines = std::vector<std::string>;

class CatalogueTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    gSubjectList.Clear();
  }
  void TearDown() override {
    gSubjectList.Clear();
    TempHomeTest::TearDown();
  }
};

constexpr const char* kCatalogue = R"({"code":200,"msg":"ok","data":{
  "curExam":{"id":"7"},
  "exams":[{"id":"7","name":"A"},{"id":"7","name":"B"},{"id":" -3x","name":"负"},
           {"name":"无号"},"not an object",{"id":8,"name":"数字号"}],
  "gpPackage":[
    {"id":"g1","img":"g1.png","name":"一组","deadline":"2027-01-01","exam_id":"7",
     "classes":[{"subject":"数学","classes":[{"id":"c1","name":"代数","jiangyi":null},
                                          {"id":"c2","name":"几何"}]},
                {"subject":"语文"}, 3]},
    {"id":"g2","exam_id":"7"},
    {"id":"g3"},
    {"id":"g4","exam_id":"12abc"},
    null],
  "singlePackage":[{"id":"s1","name":"单","img":"s.png","extra":1},{"id":2,"name":"n"},[]],
  "classes":[
    {"id":"c9","name":"精讲","img":"c.png","subject_id":"5","exam_id":"7","deadline":"d",
     "jiangyi":[{"id":"d1","class_id":"c9","name":"讲义.pdf","sort":"1","file_size":"2048",
                 "file_url":"/doc/d1.pdf","create_time":"t1","last_time":"t2","is_delete":"0"},
                {"id":"d2","file_size":2048},
                false]},
    {"id":"c10","jiangyi":{"id":"d3"}}]
}})";

TEST_F(CatalogueTest, GetMyCourseFillsEveryContainer) {
  ParseGetMyCourseAnswer(kCatalogue);
  const SubjectList& list = gSubjectList;

  // The first name of an exam id stays; ids are read like atoi; absent ids file under 0.
  EXPECT_EQ(list.ExamNames, (std::map<int32_t, std::string>{{-3, "负"}, {0, "无号"}, {7, "A"}}));
  EXPECT_EQ(list.ExamName(7), "A");
  EXPECT_EQ(list.ExamName(99), "");

  ASSERT_EQ(list.PackagesByExam.size(), 3u);
  const auto& exam7 = list.PackagesByExam.at(7);
  ASSERT_EQ(exam7.size(), 2u);
  EXPECT_EQ(exam7[0].id, "g1");
  EXPECT_EQ(exam7[0].name, "一组");
  EXPECT_EQ(exam7[0].deadline, "2027-01-01");
  ASSERT_EQ(exam7[0].classes.size(), 2u);  // the number item is skipped
  EXPECT_EQ(exam7[0].classes[0].subject, "数学");
  ASSERT_EQ(exam7[0].classes[0].classes.size(), 2u);
  EXPECT_EQ(exam7[0].classes[0].classes[0].name, "代数");
  EXPECT_TRUE(exam7[0].classes[0].classes[0].jiangyi.empty());
  EXPECT_EQ(exam7[0].classes[1].subject, "语文");
  EXPECT_TRUE(exam7[0].classes[1].classes.empty());
  EXPECT_EQ(exam7[1].id, "g2");
  ASSERT_EQ(list.PackagesByExam.at(0).size(), 1u);
  EXPECT_EQ(list.PackagesByExam.at(0)[0].id, "g3");
  EXPECT_EQ(list.PackagesByExam.at(12)[0].id, "g4");

  ASSERT_EQ(list.SinglePackages.size(), 2u);
  EXPECT_EQ(list.SinglePackages[0].id, "s1");
  EXPECT_EQ(list.SinglePackages[0].img, "s.png");
  EXPECT_EQ(list.SinglePackages[1].id, "");
  EXPECT_EQ(list.SinglePackages[1].name, "n");

  ASSERT_EQ(list.Classes.size(), 2u);
  const ClassRecord& c9 = list.Classes[0];
  EXPECT_EQ(c9.subject_id, "5");
  EXPECT_EQ(c9.exam_id, "7");
  ASSERT_EQ(c9.jiangyi.size(), 2u);
  const DocumentRecord& d1 = c9.jiangyi[0];
  EXPECT_EQ(d1.class_id + d1.name + d1.sort + d1.file_size + d1.file_url + d1.create_time + d1.last_time +
                d1.is_delete,
            "c9讲义.pdf12048/doc/d1.pdft1t20");
  EXPECT_EQ(c9.jiangyi[1].file_size, "");  // numbers never become text
  EXPECT_TRUE(list.Classes[1].jiangyi.empty());

  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_EQ(NormalLines(), (Lines{"GetMyCourse 200", "data singlePackage", "data classes"}));
}

TEST_F(CatalogueTest, GetMyCourseFailuresLeaveTheCatalogueEmpty) {
  const struct {
    const char* name;
    std::string answer;
    Lines errors;
    Lines normal;
  } cases[] = {
      {"failure code",
       R"({"code":401,"msg":"登陆失效","data":{"classes":[{"id":"c"}]}})",
       {"ParseGetMyCourse false msg:登陆失效 code:401"},
       {}},
      {"missing code", R"({"data":{"classes":[{"id":"c"}]}})", {"ParseGetMyCourse false msg: code:0"}, {}},
      {"code as a string",
       R"({"code":"200","data":{"classes":[{"id":"c"}]}})",
       {"ParseGetMyCourse false msg: code:0"},
       {}},
      {"unparseable", R"({"code":200,"data":{"classes":[)", {"ParseGetMyCourse ParseInsitu false"}, {}},
      {"empty answer", "", {"ParseGetMyCourse ParseInsitu false"}, {}},
      {"array root", R"([{"code":200}])", {"ParseGetMyCourse ParseInsitu false"}, {}},
      {"data not an object", R"({"code":200,"data":[{"classes":[]}]})", {}, {"GetMyCourse 200"}},
      {"lists of the wrong type",
       R"({"code":200,"data":{"exams":{},"classes":"c"}})",
       {},
       {"GetMyCourse 200"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t errorsBefore = ErrorLines().size();
    const size_t normalBefore = NormalLines().size();
    ParseGetMyCourseAnswer(c.answer);
    EXPECT_TRUE(gSubjectList.ExamNames.empty() && gSubjectList.PackagesByExam.empty() &&
                gSubjectList.SinglePackages.empty() && gSubjectList.Classes.empty());
    const Lines errors = ErrorLines();
    const Lines normal = NormalLines();
    EXPECT_EQ(Lines(errors.begin() + static_cast<long>(errorsBefore), errors.end()), c.errors);
    EXPECT_EQ(Lines(normal.begin() + static_cast<long>(normalBefore), normal.end()), c.normal);
  }
}

TEST(ExamIdKeyTest, ReadsLikeAtoiAndClamps) {
  const std::pair<std::string, int32_t> cases[] = {
      {"7", 7},
      {"  42", 42},
      {"\t+5", 5},
      {"-3x", -3},
      {"12abc", 12},
      {"", 0},
      {"abc", 0},
      {"- 3", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& [text, key] : cases) EXPECT_EQ(ExamIdKey(text), key) << text;
}

constexpr const char* kClassAnswer = R"({"code":200,"msg":"ok","data":{
  "hasOld":true,"isTwoTeacher":1,"lessonIndex":3,"classId":"c9","className":"精讲",
  "deadline":"2027","lastLearnLessonId":"l2","lastLearnedDuration":"125","lessonNum":12,
  "teachers":[{"id":"t1","name":"李","title":"教授","main_subject":"数学","avatar":"a",
               "desc":"好"},7],
  "lessons":[{"id":"l1","sort":"1","name":"第一课","duration":600,"material_download":"m",
              "video":"v1","high_video":"hv1","csw_id":"w","learned_duration":"30",
              "finished_time":"f"},
             {"id":"l2","duration":"615"},"x"]}})";

TEST_F(CatalogueTest, MyCourseListFillsTheDetail) {
  ClassDetail detail;
  detail.lessonNum = "old";
  detail.isTwoTeacher = true;
  EXPECT_TRUE(ParseMyCourseListAnswer(kClassAnswer, detail));
  EXPECT_TRUE(detail.hasOld);
  EXPECT_TRUE(detail.isTwoTeacher);  // the number 1 is not a boolean: left as it was
  EXPECT_EQ(detail.lessonIndex, 3);
  EXPECT_EQ(detail.classId + detail.className + detail.deadline + detail.lastLearnLessonId +
                detail.lastLearnedDuration,
            "c9精讲2027l2125");
  EXPECT_EQ(detail.lessonNum, "old");
  ASSERT_EQ(detail.teachers.size(), 1u);
  const TeacherRecord& t = detail.teachers[0];
  EXPECT_EQ(t.id + t.name + t.title + t.main_subject + t.avatar + t.desc, "t1李教授数学a好");
  ASSERT_EQ(detail.lessons.size(), 2u);
  const LessonRecord& l = detail.lessons[0];
  EXPECT_EQ(l.duration, "");  // a numeric duration gives an empty field
  EXPECT_EQ(l.id + l.sort + l.name + l.material_download + l.video + l.high_video + l.csw_id +
                l.learned_duration + l.finished_time,
            "l11第一课mv1hv1w30f");
  EXPECT_EQ(detail.lessons[1].duration, "615");
  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_TRUE(NormalLines().empty());
}

TEST_F(CatalogueTest, MyCourseListTellsAnExpiredSignInFromAServiceFault) {
  const struct {
    const char* name;
    std::string answer;
    bool stillSignedIn;
    ClassDetailResult result;
    Lines errors;
  } cases[] = {
      {"service fault 500",
       R"({"code":500,"msg":"忙","data":{"className":"x"}})",
       true,
       ClassDetailResult::ServiceFault,
       {"ParseMyCourseList false msg:忙 code:500"}},
      {"expired 401",
       R"({"code":401,"msg":"登陆失效","data":{"className":"x"}})",
       false,
       ClassDetailResult::Refused,
       {"ParseMyCourseList false msg:登陆失效 code:401"}},
      {"code 0", R"({"code":0})", false, ClassDetailResult::Refused, {"ParseMyCourseList false msg: code:0"}},
      {"missing code",
       R"({"data":{"className":"x"}})",
       false,
       ClassDetailResult::NoAnswer,
       {"ParseMyCourseList false msg: code:0"}},
      {"code as text",
       R"({"code":"401"})",
       false,
       ClassDetailResult::NoAnswer,
       {"ParseMyCourseList false msg: code:0"}},
      {"unparseable", "<html>", false, ClassDetailResult::NoAnswer, {"ParseMyCourseList ParseInsitu false"}},
      {"empty answer", "", false, ClassDetailResult::NoAnswer, {"ParseMyCourseList ParseInsitu false"}},
      {"string root", R"("ok")", false, ClassDetailResult::NoAnswer, {"ParseMyCourseList ParseInsitu false"}},
      {"success without data", R"({"code":200})", true, ClassDetailResult::Filled, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClassDetail detail;
    detail.className = "untouched";
    detail.lessons.resize(2);
    const size_t before = ErrorLines().size();
    EXPECT_EQ(ParseMyCourseListAnswer(c.answer, detail), c.stillSignedIn);
    EXPECT_EQ(ParseClassDetailAnswer(c.answer, detail), c.result);
    EXPECT_EQ(detail.className, "untouched");
    EXPECT_EQ(detail.lessons.size(), 2u);
    const Lines errors = ErrorLines();
    Lines twice = c.errors;
    twice.insert(twice.end(), c.errors.begin(), c.errors.end());
    EXPECT_EQ(Lines(errors.begin() + static_cast<long>(before), errors.end()), twice);
  }
}

// The transport's outcome decides before the body does: no exchange or an HTTP error
// status is "no answer", even when the body would read as a refusal.
TEST_F(CatalogueTest, FetchClassDetailTellsNoAnswerFromARefusal) {
  servicetest::LoopbackServer server;
  SetApiOrigin(server.Origin());
  SetSessionToken("tk");
  const struct {
    const char* name;
    int status;
    std::string body;
    ClassDetailResult result;
  } cases[] = {
      {"filled", 200, kClassAnswer, ClassDetailResult::Filled},
      {"refused", 200, R"({"code":401,"msg":"登陆失效"})", ClassDetailResult::Refused},
      {"service fault", 200, R"({"code":500,"msg":"忙"})", ClassDetailResult::ServiceFault},
      {"gateway error", 502, R"({"code":401,"msg":"x"})", ClassDetailResult::NoAnswer},
      {"not found page", 404, "<html>not here</html>", ClassDetailResult::NoAnswer},
      {"proxy page with 200", 200, "<html>login to the wifi</html>", ClassDetailResult::NoAnswer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.SetAnswer(c.status, c.body);
    ClassDetail detail;
    EXPECT_EQ(FetchClassDetail("c9", detail), c.result);
  }
  EXPECT_EQ(server.Requests().back().body, "token=tk&classId=c9&isOld=0");
  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  ClassDetail detail;
  EXPECT_EQ(FetchClassDetail("c9", detail), ClassDetailResult::NoAnswer);
}

// A hostile service nests values far deeper than any stack: the answer is still read.
TEST_F(CatalogueTest, DeeplyNestedValuesDoNotExhaustTheStack) {
  const size_t depth = 1000000;
  const std::string nested = std::string(depth, '[') + std::string(depth, ']');
  ClassDetail detail;
  EXPECT_TRUE(ParseMyCourseListAnswer(R"({"code":200,"data":{"className":"c","lessons":[)" + nested +
                                          R"(,{"id":"1"}],"teachers":)" + nested + "}}",
                                      detail));
  EXPECT_EQ(detail.className, "c");
  ASSERT_EQ(detail.lessons.size(), 1u);
  EXPECT_EQ(detail.lessons[0].id, "1");
  ParseGetMyCourseAnswer(R"({"code":200,"data":{"classes":[{"id":"k","jiangyi":)" + nested + "}]}}");
  ASSERT_EQ(gSubjectList.Classes.size(), 1u);
  EXPECT_TRUE(gSubjectList.Classes[0].jiangyi.empty());
}

TEST_F(CatalogueTest, ParsersFetchThroughTheirEndpoints) {
  servicetest::LoopbackServer server;
  SetApiOrigin(server.Origin());
  SetSessionToken("tk");
  server.SetAnswer(200, kCatalogue);
  ParseGetMyCourse();
  EXPECT_EQ(gSubjectList.Classes.size(), 2u);
  server.SetAnswer(200, kClassAnswer);
  ClassDetail detail;
  EXPECT_TRUE(ParseMyCourseList("c9", detail));
  EXPECT_EQ(detail.lessons.size(), 2u);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, "token=tk");
  EXPECT_EQ(requests[1].body, "token=tk&classId=c9&isOld=0");

  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  EXPECT_FALSE(ParseMyCourseList("c9", detail));
  const Lines errors = ErrorLines();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], "ParseMyCourseList ParseInsitu false");
}

}  // namespace
