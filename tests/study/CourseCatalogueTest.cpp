// The catalogue: one fetch per class at a time, answers on the main loop to its observers,
// a failed class fetched again, and nothing of an old sign-in arriving after it was cleared.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/MessageCore.h"
#include "study/CourseCatalogue.h"

namespace {

LessonRecord Lesson(const std::string& id, const std::string& video) {
  LessonRecord lesson;
  lesson.id = id;
  lesson.video = video;
  return lesson;
}

struct Recorder : CatalogueObserver {
  void OnClassLoaded(const ClassLoaded& loaded) override { this->loaded.push_back(loaded); }
  void OnClassFailed(const ClassFailed& failed) override { this->failed.push_back(failed); }
  std::vector<ClassLoaded> loaded;
  std::vector<ClassFailed> failed;
};

// A school whose answers the test decides: each fetch waits until the test lets it go.
struct FakeSchool {
  std::atomic<int> asked{0};
  ClassDetailResult result = ClassDetailResult::Filled;
  std::promise<void> gate;
  std::shared_future<void> open = gate.get_future().share();

  CourseCatalogue::Fetcher Fetcher() {
    return [this](const std::string& classId, ClassDetail& detail) {
      ++asked;
      open.wait();
      if (result != ClassDetailResult::Filled) return result;
      detail.lastLearnLessonId = "12";
      detail.lessons = {Lesson("11", "v-" + classId), Lesson("12", "v-shared"), Lesson("13", "v-shared")};
      return result;
    };
  }
};

class CourseCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMessageCore(); }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    PumpPendingMessages();
    ShutdownMessageCore();
  }
  static bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      PumpPendingMessages();
      std::this_thread::yield();
    }
    return true;
  }
};

TEST_F(CourseCatalogueTest, AClassIsFetchedOnceAndItsObserversAreToldOnTheMainLoop) {
  FakeSchool school;
  CourseCatalogue catalogue(school.Fetcher());
  Recorder recorder;
  catalogue.AddObserver(recorder);

  catalogue.LoadClass("101");
  catalogue.LoadClass("101");  // already on its way
  EXPECT_EQ(catalogue.LoadOf("101"), ClassLoad::Loading);
  EXPECT_EQ(catalogue.LoadOf("102"), ClassLoad::NotAsked);
  school.gate.set_value();
  ASSERT_TRUE(PumpUntil([&] { return !recorder.loaded.empty(); }));
  EXPECT_EQ(school.asked, 1);
  EXPECT_EQ(recorder.loaded[0].classId, "101");
  EXPECT_EQ(recorder.loaded[0].lastLearnLessonId, "12");
  EXPECT_EQ(catalogue.LoadOf("101"), ClassLoad::Ready);
  ASSERT_EQ(catalogue.Lessons("101").size(), 3u);

  // Known now: asking again fetches nothing.
  catalogue.LoadClass("101");
  EXPECT_EQ(catalogue.LoadOf("101"), ClassLoad::Ready);
  EXPECT_TRUE(WaitForBackgroundTasks(10000));
  EXPECT_EQ(school.asked, 1);

  // The player's resume position reaches its lesson only, not another of the same video.
  EXPECT_TRUE(catalogue.SetLearnedDuration("101", "13", "95"));
  EXPECT_EQ(catalogue.FindLesson("101", "13")->learned_duration, "95");
  EXPECT_EQ(catalogue.FindLesson("101", "12")->learned_duration, "");
  EXPECT_FALSE(catalogue.SetLearnedDuration("101", "14", "95"));
  EXPECT_FALSE(catalogue.SetLearnedDuration("999", "13", "95"));
  catalogue.RemoveObserver(recorder);
}

TEST_F(CourseCatalogueTest, AFailedClassIsToldWhyAndFetchedAgainWhenAskedAgain) {
  for (ClassDetailResult result : {ClassDetailResult::NoAnswer, ClassDetailResult::Refused}) {
    FakeSchool school;
    school.result = result;
    school.gate.set_value();
    CourseCatalogue catalogue(school.Fetcher());
    Recorder recorder;
    catalogue.AddObserver(recorder);
    catalogue.LoadClass("101");
    ASSERT_TRUE(PumpUntil([&] { return !recorder.failed.empty(); }));
    EXPECT_EQ(recorder.failed[0].result, result);
    EXPECT_EQ(catalogue.LoadOf("101"), ClassLoad::Failed);
    EXPECT_TRUE(catalogue.Lessons("101").empty());

    school.result = ClassDetailResult::Filled;
    catalogue.LoadClass("101");
    ASSERT_TRUE(PumpUntil([&] { return !recorder.loaded.empty(); }));
    EXPECT_EQ(school.asked, 2);
    EXPECT_EQ(catalogue.Lessons("101").size(), 3u);
    catalogue.RemoveObserver(recorder);
  }
}

TEST_F(CourseCatalogueTest, NothingOfAnOldSignInArrivesAfterClearOrAfterTheCatalogueWent) {
  FakeSchool school;
  Recorder recorder;
  {
    CourseCatalogue catalogue(school.Fetcher());
    catalogue.AddObserver(recorder);
    catalogue.PutDocuments("101", {DocumentRecord{}});
    catalogue.LoadClass("101");
    catalogue.Clear();
    EXPECT_EQ(catalogue.LoadOf("101"), ClassLoad::NotAsked);
    EXPECT_TRUE(catalogue.Documents("101").empty());
    catalogue.LoadClass("102");
  }  // gone with a fetch on its way
  school.gate.set_value();
  EXPECT_TRUE(WaitForBackgroundTasks(10000));
  PumpPendingMessages();
  EXPECT_TRUE(recorder.loaded.empty());
  EXPECT_EQ(school.asked, 2);
}

TEST_F(CourseCatalogueTest, TheFirstListStoredForAClassStays) {
  CourseCatalogue catalogue([](const std::string&, ClassDetail&) { return ClassDetailResult::NoAnswer; });
  catalogue.PutLessons("101", {Lesson("1", "a"), Lesson("2", "b")});
  catalogue.PutLessons("101", {Lesson("3", "c")});
  ASSERT_EQ(catalogue.Lessons("101").size(), 2u);
  EXPECT_EQ(catalogue.Lessons("101")[0].id, "1");
  EXPECT_FALSE(catalogue.FindLesson("101", "3").has_value());
}

}  // namespace
