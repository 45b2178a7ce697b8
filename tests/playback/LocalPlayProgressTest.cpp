// Positions of a lesson played from its downloaded file: kept in the unsent queue for the
// school (no request leaves while playing; the catch-up sends them oldest first) and shown
// in the lesson's row like the online player's reports.
#include <gtest/gtest.h>

#include <limits>

#include "PlayerTestKit.h"
#include "app/Folders.h"
#include "playback/LocalPlayProgress.h"

namespace {

class LocalPlayProgressTest : public PlayerTestKit {
 protected:
  void SetUp() override {
    PlayerTestKit::SetUp();
    SetSignedInAccount("xm");
  }
  void TearDown() override {
    PlayerTestKit::TearDown();
    SetSignedInAccount("");
  }
  std::vector<std::string> Pending() {
    std::vector<std::string> out;
    for (const UnsentProgress& entry : ProgressQueue::Get().Pending("xm"))
      out.push_back(entry.classId + "/" + entry.lessonId + "/" + entry.vid + "@" + entry.seconds);
    return out;
  }
};

TEST_F(LocalPlayProgressTest, PositionsAreKeptForTheSchoolAndShownWithoutARequest) {
  RecordLocalPosition("c1", "l2", 40.7);
  RecordLocalPosition("c1", "l1", 25);
  RecordLocalPosition("c1", "l2", 52);  // the same lesson later on: replaces, now the newest
  EXPECT_EQ(Pending(), (std::vector<std::string>{"c1/l1/v1@25", "c1/l2/v2@52"}));
  EXPECT_EQ(shown, (std::vector<std::string>{"c1/l2=40", "c1/l1=25", "c1/l2=52"}));
  EXPECT_EQ(stored, (std::vector<std::string>{"c1/l2=40", "c1/l1=25", "c1/l2=52"}));
  ASSERT_TRUE(WaitForPlayerTasks(2000));
  EXPECT_EQ(ReportCount(), 0u) << "a local play sends nothing by itself";

  // What the catch-up does once the school is back: the kept positions go oldest first.
  FlushUnsentProgress();
  ASSERT_TRUE(RunUntil([&] { return ReportCount() == 2 && Pending().empty(); }));
  EXPECT_EQ(reports[0].lessonId, "l1");
  EXPECT_EQ(reports[1].lessonId, "l2");
  EXPECT_EQ(reports[1].seconds, "52");
}

TEST_F(LocalPlayProgressTest, NothingIsKeptForAPositionThatIsNoneOrWithoutAnAccount) {
  struct Case {
    const char* what;
    const char* lessonId;
    double seconds;
  };
  const Case cases[] = {
      {"the page has no video yet", "l1", -1},
      {"not started", "l1", 0.4},
      {"not a number", "l1", std::numeric_limits<double>::quiet_NaN()},
      {"endless", "l1", std::numeric_limits<double>::infinity()},
      {"no lesson", "", 30},
  };
  for (const Case& c : cases) RecordLocalPosition("c1", c.lessonId, c.seconds);
  SetSignedInAccount("");
  RecordLocalPosition("c1", "l1", 30);
  SetSignedInAccount("xm");
  EXPECT_TRUE(Pending().empty());
  EXPECT_TRUE(shown.empty());
}

}  // namespace
