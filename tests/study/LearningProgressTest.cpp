// The furthest point of a lesson: what the school says and what the player reports only
// ever raise it, per account and lesson, and it survives a restart.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/TextConv.h"
#include "study/LearningProgress.h"

namespace {

class LearningProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("tavo-progress-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  std::wstring Db() const { return Utf8ToWide((m_folder / "course.db").string()); }
  std::filesystem::path m_folder;
};

TEST_F(LearningProgressTest, TheFurthestPointOnlyEverRises) {
  // Lesson of 600 s. Each step: what is reported (school or player), what the row shows.
  const struct {
    const char* step;
    int64_t reported;
    int64_t shown;
  } steps[] = {
      {"the school knows 120 s", 120, 120},
      {"the school knows less than seen here", 60, 120},
      {"watched to 300 s", 300, 300},
      {"replayed from the start", 0, 300},
      {"replayed for 2 s", 2, 300},
      {"the end reached", 600, 600},
      {"the school then says 10 s", 10, 600},
  };
  LearningProgress progress(Db());
  for (const auto& s : steps) EXPECT_EQ(progress.Reach("lixiaoming", "11", s.reported), s.shown) << s.step;

  // Per account and per lesson, and kept across a restart.
  EXPECT_EQ(progress.FurthestOf("13800138001", "11"), 0);
  EXPECT_EQ(progress.FurthestOf("lixiaoming", "12"), 0);
  LearningProgress restarted(Db());
  EXPECT_EQ(restarted.FurthestOf("lixiaoming", "11"), 600);
  EXPECT_EQ(restarted.Reach("lixiaoming", "11", 5), 600);
}

TEST_F(LearningProgressTest, WithoutAUsableFileThePointsLastForTheRun) {
  std::filesystem::create_directories(m_folder / "course.db");  // a folder where the file should be
  LearningProgress progress(Db());
  EXPECT_EQ(progress.Reach("lixiaoming", "11", 300), 300);
  EXPECT_EQ(progress.Reach("lixiaoming", "11", 2), 300);
}

}  // namespace
