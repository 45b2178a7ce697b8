// The notes store: what is kept reads back whole, newest first, across a new connection
// (sign-out and sign-in open the file again); bad input is refused or bounded; the grouping
// and the Markdown export the notes view and the export use.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>

#include "app/TextConv.h"
#include "study/NoteBook.h"
#include "study/NoteGroups.h"

namespace {

class NoteBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = std::filesystem::temp_directory_path() /
               ("tavo-notes-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder);
  }
  void TearDown() override { std::filesystem::remove_all(m_folder); }
  std::wstring Db() const { return Utf8ToWide((m_folder / "course.db").string()); }
  std::filesystem::path m_folder;
};

Note LessonNote(const std::string& lessonId, int64_t seconds, const std::string& text, int64_t at,
                const std::string& classId = "c1") {
  return {0, NoteKind::Lesson, lessonId, classId, "第" + lessonId + "讲", seconds, text, at};
}

TEST_F(NoteBookTest, NotesReadBackWholeNewestFirstAfterTheFileIsOpenedAgain) {
  {
    NoteBook book(Db());
    ASSERT_TRUE(book.IsOpen());
    ASSERT_TRUE(book.Add(LessonNote("L1", 125, "主旨概括的答题模板", 1000)));
    ASSERT_TRUE(book.Add({0, NoteKind::Document, "D7", "c2", "阅读讲义", 3, "", 3000}));
    ASSERT_TRUE(book.Add(LessonNote("L2", 0, "'; DROP TABLE notes; --", 2000)));
  }
  // Signing out closes the store; the next sign-in opens the same file again.
  NoteBook again(Db());
  const std::vector<Note> notes = again.All();
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].itemId, "D7");
  EXPECT_EQ(notes[0].kind, NoteKind::Document);
  EXPECT_EQ(notes[0].position, 3);
  EXPECT_EQ(notes[0].classId, "c2");
  EXPECT_EQ(notes[1].text, "'; DROP TABLE notes; --");
  EXPECT_EQ(notes[2].text, "主旨概括的答题模板");
  EXPECT_EQ(notes[2].title, "第L1讲");
  EXPECT_EQ(notes[2].position, 125);
  EXPECT_EQ(notes[2].createdAt, 1000);
  EXPECT_NE(notes[0].id, notes[1].id);
}

TEST_F(NoteBookTest, TwoNotesOfOneSecondKeepTheOrderTheyWereTakenIn) {
  NoteBook book(Db());
  book.Add(LessonNote("L1", 10, "first", 500));
  book.Add(LessonNote("L1", 20, "second", 500));
  const std::vector<Note> notes = book.All();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].text, "second");
}

TEST_F(NoteBookTest, InputIsBoundedOrRefused) {
  NoteBook book(Db());
  EXPECT_FALSE(book.Add(LessonNote("", 10, "no lesson", 1))) << "a note must name what it is on";
  std::string longText;
  for (int i = 0; i < 300; ++i) longText += "题";
  ASSERT_TRUE(book.Add(LessonNote("L1", -5, longText, 0)));
  const Note kept = book.All().at(0);
  EXPECT_EQ(kept.position, 0) << "a negative moment is the start";
  EXPECT_EQ(kept.text.size(), NoteBook::kMaxTextChars * 3) << "cut at a character boundary";
  EXPECT_GT(kept.createdAt, 1'600'000'000) << "no time given: now";
}

TEST_F(NoteBookTest, RemoveDeletesOnlyThatNote) {
  NoteBook book(Db());
  const auto a = book.Add(LessonNote("L1", 1, "a", 1));
  book.Add(LessonNote("L1", 2, "b", 2));
  ASSERT_TRUE(a);
  EXPECT_TRUE(book.Remove(*a));
  EXPECT_FALSE(book.Remove(*a));
  ASSERT_EQ(book.All().size(), 1u);
  EXPECT_EQ(book.All()[0].text, "b");
}

TEST_F(NoteBookTest, ADamagedRowIsSkippedAndTheRestRead) {
  {
    NoteBook book(Db());
    book.Add(LessonNote("L1", 1, "good", 1));
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((m_folder / "course.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO notes(kind, itemId, position, createdAt) VALUES('video', 'x', 'abc', 2)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  NoteBook book(Db());
  const std::vector<Note> notes = book.All();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].text, "good");
}

TEST_F(NoteBookTest, AnUnusableFileKeepsNothingAndSaysSo) {
  NoteBook book(Utf8ToWide((m_folder / "missing" / "course.db").string()));
  EXPECT_FALSE(book.IsOpen());
  EXPECT_FALSE(book.Add(LessonNote("L1", 1, "x", 1)));
  EXPECT_TRUE(book.All().empty());
}

TEST(NoteGroupsTest, GroupsByClassThenItemNewestFirst) {
  const std::vector<Note> newestFirst = {
      LessonNote("L2", 30, "c1 L2 new", 9, "c1"), LessonNote("L9", 5, "c2 L9", 8, "c2"),
      LessonNote("L1", 10, "c1 L1", 7, "c1"), LessonNote("L2", 20, "c1 L2 old", 6, "c1")};
  const std::vector<NoteClassGroup> groups = GroupNotes(newestFirst);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].classId, "c1");
  ASSERT_EQ(groups[0].items.size(), 2u);
  EXPECT_EQ(groups[0].items[0].itemId, "L2");
  ASSERT_EQ(groups[0].items[0].notes.size(), 2u);
  EXPECT_EQ(groups[0].items[0].notes[1].text, "c1 L2 old");
  EXPECT_EQ(groups[0].items[1].itemId, "L1");
  EXPECT_EQ(groups[1].classId, "c2");
}

TEST(NoteGroupsTest, MarkdownNamesClassesAndEscapesTheStudentsWords) {
  const std::vector<Note> notes = {
      {0, NoteKind::Document, "D1", "gone", "讲义一", 4, "", 0},
      LessonNote("L1", 3725, "# not a heading [link](x)\nsecond line", 0, "c1")};
  const std::string md = NotesMarkdown(GroupNotes(notes), [](const std::string& classId) {
    return classId == "c1" ? std::string("阅读理解精讲班") : std::string();
  });
  EXPECT_EQ(md.rfind("# 我的笔记\n", 0), 0u);
  EXPECT_NE(md.find("## " + UnknownClassName("gone")), std::string::npos) << md;
  EXPECT_NE(md.find("### 讲义：讲义一\n\n- [第 4 页] （书签）"), std::string::npos) << md;
  EXPECT_NE(md.find("## 阅读理解精讲班"), std::string::npos);
  EXPECT_NE(md.find("- [1:02:05] \\# not a heading \\[link\\]\\(x\\) second line — "), std::string::npos) << md;
}

TEST(NoteGroupsTest, MomentsAndPlaces) {
  const struct {
    int64_t seconds;
    const char* text;
  } cases[] = {{0, "00:00"}, {59, "00:59"}, {61, "01:01"}, {3600, "1:00:00"}, {-3, "00:00"}};
  for (const auto& c : cases) EXPECT_EQ(FormatMoment(c.seconds), c.text) << c.seconds;
  EXPECT_EQ(NotePlace({0, NoteKind::Document, "D", "", "", 0, "", 0}), "第 1 页");
}

}  // namespace
