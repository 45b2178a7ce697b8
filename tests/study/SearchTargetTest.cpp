// Search hits as ids and back: every part survives the trip, and what comes over the bus
// that is not such an id is refused.
#include <gtest/gtest.h>

#include "study/SearchTarget.h"

namespace {

TEST(SearchTargetTest, IdsRoundTripAndForeignTextIsRefused) {
  SearchHit hit;
  hit.kind = SearchKind::Note;
  hit.classId = "c/1 %";
  hit.itemId = "课时7";
  hit.page = 754;
  hit.noteOf = "lesson";
  const std::string id = TargetId(hit);
  EXPECT_EQ(id.find_first_of(" \t\n"), std::string::npos) << id;
  const auto target = ParseTargetId(id);
  ASSERT_TRUE(target.has_value()) << id;
  EXPECT_EQ(target->kind, SearchKind::Note);
  EXPECT_EQ(target->classId, "c/1 %");
  EXPECT_EQ(target->itemId, "课时7");
  EXPECT_EQ(target->page, 754);
  EXPECT_EQ(target->noteOf, "lesson");

  for (const char* foreign : {"", "page", "page/c1/d1/2", "page/c1/d1/2//x", "movie/c1/d1/2/", "page/c1//2/",
                              "page/c1/d1/-2/", "page/c1/d1/9999999999/", "page/c1/d1/x/", "page/c1/d%1/2/",
                              "page/c1/d%G1/2/", "page/c1/d1%/2/"}) {
    EXPECT_FALSE(ParseTargetId(foreign).has_value()) << foreign;
  }
}

}  // namespace
