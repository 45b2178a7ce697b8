// The search index over a course.db: what the kept catalogue, the notes and a real PDF's
// pages make findable, parts of Chinese words (also below three characters), hostile
// queries searched as plain text, and the index following its sources.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/TextConv.h"
#include "study/PdfText.h"
#include "study/SearchIndex.h"

namespace {

namespace fs = std::filesystem;

constexpr char kAccount[] = "student1";

constexpr char kSubjects[] = R"({"code":200,"msg":"ok","data":{
  "exams":[{"id":"1","name":"公务员"}],
  "gpPackage":[{"id":"p1","exam_id":"1","name":"全程班","classes":[{"subject":"行测","classes":[
    {"id":"c1","name":"言语理解专项班","jiangyi":[{"id":"d1","class_id":"c1","name":"言语理解讲义（上）"}]}]}]}],
  "singlePackage":[],
  "classes":[{"id":"c1","name":"言语理解专项班"},{"id":"c2","name":"Logic 100% 冲刺_班"}]}})";
constexpr char kClassC1[] = R"({"code":200,"data":{"lessons":[
  {"id":"l1","name":"主旨概括题精讲"},{"id":"l2","name":"逻辑填空入门"}]}})";

struct Expect {
  SearchKind kind;
  std::string itemId;
  int page = 0;
};

bool Has(const SearchResults& hits, const Expect& e) {
  return std::any_of(hits.begin(), hits.end(), [&](const SearchHit& h) {
    return h.kind == e.kind && h.itemId == e.itemId && (e.page == 0 || h.page == e.page);
  });
}

class SearchIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-search-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    m_db = m_root / "course.db";
    Exec("CREATE TABLE catalogueCache (account TEXT NOT NULL, item TEXT NOT NULL, answer TEXT NOT NULL,"
         " savedAt INTEGER NOT NULL, PRIMARY KEY(account, item))");
    Keep("subjects", kSubjects);
    Keep("class:c1", kClassC1);
    m_index = std::make_unique<SearchIndex>(AnsiToWide(m_db.string()), kAccount);
    ASSERT_TRUE(m_index->IsOpen());
    // The notes' table as the notes create it.
    Exec("CREATE TABLE IF NOT EXISTS notes(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, itemId TEXT NOT NULL,"
         " classId TEXT NOT NULL DEFAULT '', title TEXT NOT NULL DEFAULT '', position INTEGER NOT NULL DEFAULT 0,"
         " text TEXT NOT NULL DEFAULT '', createdAt INTEGER NOT NULL)");
    Exec("INSERT INTO notes(kind, itemId, classId, title, position, text, createdAt) VALUES"
         " ('lesson', 'l1', 'c1', '主旨概括题精讲', 754, '老师讲主旨概括的三步法：先找关联词', 1)");
    const auto pages = ExtractPdfPages(TAVO_DEMO_DATA "/docs/jy110101.pdf");
    ASSERT_TRUE(pages.has_value());
    ASSERT_TRUE(m_index->StorePages("d1", "c1", "言语理解讲义（上）", *pages));
    ASSERT_TRUE(m_index->Update());
  }
  void TearDown() override {
    m_index.reset();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_db.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
  }
  void Keep(const std::string& item, const std::string& answer) {
    std::string quoted;
    for (char c : answer) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    Exec("INSERT OR REPLACE INTO catalogueCache VALUES('" + std::string(kAccount) + "', '" + item + "', '" +
         quoted + "', 1)");
  }
  SearchResults Search(const std::string& query) {
    auto hits = m_index->Search(query);
    EXPECT_TRUE(hits.has_value()) << query;
    return hits.value_or(SearchResults{});
  }

  fs::path m_root;
  fs::path m_db;
  std::unique_ptr<SearchIndex> m_index;
};

TEST_F(SearchIndexTest, FindsEveryKindByTitleTextAndPage) {
  struct Case {
    const char* name;
    const char* query;
    std::vector<Expect> found;
  };
  const Case cases[] = {
      {"class by its Chinese title", "言语理解专项班", {{SearchKind::Class, "c1"}}},
      {"a part inside a word", "理解专", {{SearchKind::Class, "c1"}}},
      {"lesson, note and the PDF's first page",
       "主旨概括",
       {{SearchKind::Lesson, "l1"}, {SearchKind::Note, "l1", 754}, {SearchKind::Page, "d1", 1}}},
      {"two characters: no trigram", "概括", {{SearchKind::Lesson, "l1"}, {SearchKind::Page, "d1", 1}}},
      {"one character", "讲", {{SearchKind::Lesson, "l1"}, {SearchKind::Document, "d1"}}},
      {"text only on the PDF's second page", "实词辨析", {{SearchKind::Page, "d1", 2}}},
      {"document by title", "讲义（上）", {{SearchKind::Document, "d1"}}},
      {"words in any order, each anywhere", "专项 言语", {{SearchKind::Class, "c1"}}},
      {"Latin letters in any case", "LOGIC", {{SearchKind::Class, "c2"}}},
      {"a quoted phrase is its words", "\"逻辑填空\"", {{SearchKind::Lesson, "l2"}, {SearchKind::Page, "d1", 2}}},
  };
  for (const Case& c : cases) {
    const SearchResults hits = Search(c.query);
    for (const Expect& e : c.found)
      EXPECT_TRUE(Has(hits, e)) << c.name << ": no " << static_cast<int>(e.kind) << "/" << e.itemId;
  }
  // Groups come in kind order, and a page hit says where on the page it is.
  const SearchResults hits = Search("主旨概括");
  EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end(),
                             [](const SearchHit& a, const SearchHit& b) { return a.kind < b.kind; }));
  const auto page = std::find_if(hits.begin(), hits.end(), [](const SearchHit& h) { return h.kind == SearchKind::Page; });
  ASSERT_NE(page, hits.end());
  EXPECT_NE(page->excerpt.find("主旨概括"), std::string::npos) << page->excerpt;
  EXPECT_EQ(page->title, "言语理解讲义（上）");
  EXPECT_EQ(page->classId, "c1");
}

TEST_F(SearchIndexTest, FindsNothingWhereNothingMatches) {
  for (const char* query : {"", "   ", "不存在的词语", "概括 不存在", "z"}) {
    EXPECT_TRUE(Search(query).empty()) << query;
  }
}

// Query syntax of FTS5 and LIKE is searched for as text: it neither errors nor widens the
// search (OR does not join, % and _ do not match everything).
TEST_F(SearchIndexTest, HostileQueriesAreSearchedAsText) {
  const std::string hostile[] = {
      "\"",          "\"主旨",        "主旨 OR 逻辑",   "NOT 概括",      "概括*",        "title:概括",
      "body : 主旨", "{title} : 讲", "NEAR(主旨 概括)", "^主旨",         "%",            "_",
      "\\",          "%%%",          "')); DROP TABLE searchEntry; --", "主旨\x01概括", std::string("主\0旨", 4),
      "\xff\xfe主旨", "\xe4\xb8",    std::string(5000, '('),
  };
  for (const std::string& query : hostile) {
    const auto hits = m_index->Search(query);
    ASSERT_TRUE(hits.has_value()) << query;
    for (const SearchHit& hit : *hits) {
      EXPECT_FALSE(hit.kind == SearchKind::Class && hit.itemId == "c1") << query << " found everything";
    }
  }
  EXPECT_TRUE(Search("主旨 OR 逻辑").empty());
  // Pattern characters find only the title that holds them.
  for (const char* query : {"%", "_", "100%", "刺_班"}) {
    const SearchResults hits = Search(query);
    ASSERT_EQ(hits.size(), 1u) << query;
    EXPECT_EQ(hits[0].itemId, "c2") << query;
  }
  // Control characters and broken bytes split or drop out; the words around them still count.
  EXPECT_TRUE(Has(Search("\xff主旨概括"), {SearchKind::Lesson, "l1"}));
  EXPECT_TRUE(m_index->Update());
}

TEST_F(SearchIndexTest, FollowsWhatIsKept) {
  Keep("class:c1", R"({"code":200,"data":{"lessons":[{"id":"l1","name":"归纳概括题精讲"}]}})");
  Exec("UPDATE notes SET text='换一种说法'");
  ASSERT_TRUE(m_index->ForgetPages("d1"));
  EXPECT_FALSE(m_index->HasPages("d1"));
  ASSERT_TRUE(m_index->Update());
  EXPECT_TRUE(Search("主旨概括").empty());
  EXPECT_TRUE(Has(Search("归纳概括"), {SearchKind::Lesson, "l1"}));
  EXPECT_TRUE(Has(Search("一种说"), {SearchKind::Note, "l1"}));
  // A kept answer that does not read leaves its entries out; the rest stays findable.
  Keep("class:c1", "{not json");
  ASSERT_TRUE(m_index->Update());
  EXPECT_TRUE(Search("归纳概括").empty());
  EXPECT_TRUE(Has(Search("言语理解"), {SearchKind::Class, "c1"}));
  // Another account's catalogue in the same file is not this account's.
  SearchIndex other(AnsiToWide(m_db.string()), "someone-else");
  ASSERT_TRUE(other.Update());
  EXPECT_FALSE(Has(other.Search("言语理解").value_or(SearchResults{}), {SearchKind::Class, "c1"}));
}

TEST(PdfTextTest, ReadsPagesAndRefusesWhatIsNoPdf) {
  const auto pages = ExtractPdfPages(TAVO_DEMO_DATA "/docs/jy110101.pdf");
  ASSERT_TRUE(pages.has_value());
  ASSERT_EQ(pages->size(), 2u);
  EXPECT_NE((*pages)[0].find("主旨概括"), std::string::npos);
  EXPECT_NE((*pages)[1].find("逻辑填空"), std::string::npos);

  char pattern[] = "/tmp/tavo-pdf-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path fake = fs::path(pattern) / "lecture.pdf";
  std::ofstream(fake) << "%PDF-1.4 this is no PDF";
  EXPECT_FALSE(ExtractPdfPages(fake.string()).has_value());
  EXPECT_FALSE(ExtractPdfPages((fs::path(pattern) / "missing.pdf").string()).has_value());
  fs::remove_all(pattern);
}

}  // namespace
