// The texts the player exchanges with its page: progress reports read from the page's
// JSON, the integer members, and script strings that stay strings whatever the ids hold.
#include <gtest/gtest.h>

#include "app/TextConv.h"
#include "playback/PlayState.h"
#include "playback/PlayerScripts.h"

namespace {

TEST(PlayerScripts, ProgressReportsCutToWholeSeconds) {
  struct Case {
    std::wstring json;
    int64_t seconds;
    std::string lessonId;
  };
  const Case cases[] = {
      {LR"({"time":12.9,"lessonId":"l1","classId":"c1","vid":"v1"})", 12, "l1"},
      {LR"({"time":0.999})", 0, ""},
      {LR"({"time":3600})", 3600, ""},
      {LR"({"time":"12"})", 0, ""},                // not a number
      {LR"({"time":-5.5,"lessonId":7})", 0, "7"},  // no negative position; a numeric id as text
      {LR"({"time":1e300})", 0, ""},               // absurd
      {L"{}", 0, ""},
  };
  for (const Case& c : cases) {
    auto report = ParseProgressReport(c.json);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->seconds, c.seconds);
    EXPECT_EQ(report->lessonId, c.lessonId);
  }
  for (const wchar_t* bad : {L"", L"{", L"null", L"[]", L"\"time\"", L"{\"time\":1,}"}) {
    EXPECT_FALSE(ParseProgressReport(bad).has_value());
  }
}

TEST(PlayerScripts, IntegerMembers) {
  EXPECT_EQ(ParseIntegerMember(LR"({"error_code":4003})", "error_code"), 4003);
  EXPECT_EQ(ParseIntegerMember(LR"({"error_code":"4003"})", "error_code"), 0);
  EXPECT_EQ(ParseIntegerMember(LR"({"drag":1.5})", "drag"), 0);
  EXPECT_EQ(ParseIntegerMember(L"{}", "drag"), 0);
  EXPECT_FALSE(ParseIntegerMember(L"drag=1", "drag").has_value());
}

TEST(PlayerScripts, ScriptsKeepOutsideTextsInsideTheirStrings) {
  EXPECT_EQ(ScriptReplay("v1", "eyJWaWQiOiJ2MSJ9"), L"replay('v1','eyJWaWQiOiJ2MSJ9')");
  EXPECT_EQ(ScriptSeek("75"), L"seek('75')");
  EXPECT_EQ(ScriptGetPlayCurrentTime("l1", "c1", "v1"), L"getPlayCurrentTime('l1','c1','v1')");
  EXPECT_EQ(ScriptSetPrismPlayerSize(1366, 728), L"setPrismPlayerSize('1366','728')");
  // An id that tries to end the string and run its own script.
  EXPECT_EQ(ScriptSeek("1');alert(1);//"), L"seek('1\\');alert(1);//')");
  EXPECT_EQ(JsQuoted("a\\b\nc</script>"), L"a\\\\b\\u000ac\\x3c/script>");
  EXPECT_EQ(JsQuoted("第一课\xE2\x80\xA8"), L"第一课\\u2028");
}

TEST(PlayerScripts, PlayAuthAnswerIsCompactJson) {
  EXPECT_EQ(
      PlayAuthAnswer("v1", "A\"B", 800, 562, "l1", "c1"),
      R"({"vid":"v1","playAuth":"A\"B","width":"800px","height":"562px","lessonId":"l1","classId":"c1"})");
}

TEST(PlayerScripts, PlayStateReportsFromThePage) {
  struct Case {
    const wchar_t* params;
    bool understood;
    PlayState state;
    double seconds;
    double rate;
  };
  const Case cases[] = {
      {LR"({"state":"playing","time":12.5,"duration":600,"rate":1.5})", true, PlayState::Playing, 12.5, 1.5},
      {LR"({"state":"stalled","time":40})", true, PlayState::Stalled, 40, 1},
      {LR"({"state":"paused","time":-3,"rate":0})", true, PlayState::Paused, 0, 1},
      {LR"({"state":"ended","time":"late"})", true, PlayState::Ended, 0, 1},
      {LR"({"state":"stopped"})", true, PlayState::Stopped, 0, 1},
      {LR"({"state":"Playing"})", false, PlayState::Stopped, 0, 1},
      {LR"({"time":3})", false, PlayState::Stopped, 0, 1},
      {L"[\"playing\"]", false, PlayState::Stopped, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.params));
    std::optional<PlayStateReport> report = ParsePlayState(c.params);
    ASSERT_EQ(report.has_value(), c.understood);
    if (!report) continue;
    EXPECT_EQ(report->state, c.state);
    EXPECT_DOUBLE_EQ(report->seconds, c.seconds);
    EXPECT_DOUBLE_EQ(report->rate, c.rate);
  }
}

TEST(PlayerScripts, OfferedSpeedsAreHalfToThreeInQuarterSteps) {
  for (double rate : {0.5, 0.75, 1.0, 1.25, 1.75, 2.5, 3.0}) EXPECT_TRUE(IsOfferedPlaybackRate(rate)) << rate;
  for (double rate : {0.25, 0.6, 1.1, 3.25, 10.0, -1.0}) EXPECT_FALSE(IsOfferedPlaybackRate(rate)) << rate;
  EXPECT_EQ(ScriptPlayerSeekTo(7.5), L"playerSeekTo('7.500')");
  EXPECT_EQ(ScriptPlayerSeekTo(-2), L"playerSeekTo('0.000')");
}

}  // namespace
