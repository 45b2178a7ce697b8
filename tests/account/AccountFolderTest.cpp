// The account's data folder: named by the account's own name from the sign-in answer, with
// a folder an earlier SMS sign-in made under the mobile number merged into it (files moved,
// nothing overwritten, course.db rows carried over and re-pointed), and names that could
// leave the data folder refused.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ServiceTestSupport.h"
#include "account/AccountFolder.h"
#include "app/Folders.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "study/SearchIndex.h"
#include "study/NoteBook.h"

namespace {

namespace fs = std::filesystem;
using servicetest::ReadFile;
using servicetest::TempHomeTest;

constexpr const char* kMobile = "13800138001";
constexpr const char* kAccount = "lixiaoming";
constexpr const char* kLesson = "片段阅读：主旨概括题.mp4";

// The tables the progress keepers add to course.db, as they create them.
constexpr const char* kProgressTables =
    "CREATE TABLE IF NOT EXISTS furthestPoint (account TEXT NOT NULL, lessonId TEXT NOT NULL,"
    " seconds INTEGER NOT NULL, PRIMARY KEY(account, lessonId));"
    "CREATE TABLE IF NOT EXISTS unsentProgress (seq INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL,"
    " lessonId TEXT NOT NULL, classId TEXT, vid TEXT, seconds TEXT NOT NULL, attempts INTEGER NOT NULL "
    "DEFAULT 0,"
    " UNIQUE(account, lessonId));";

std::string LoginAnswer(const std::string& username, const std::string& mobile) {
  return R"({"code":200,"msg":"登录成功","data":{"id":"10001","username":")" + username + R"(","mobile":")" +
         mobile + R"(","token":"tk"}})";
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under `folder`, relative to it.
std::set<std::string> FilesUnder(const fs::path& folder) {
  std::set<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_directory()) files.insert(it->path().lexically_relative(folder).string());
  }
  return files;
}

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};

// The rows of a query, each as its columns joined by "|".
std::vector<std::string> Rows(const fs::path& file, const std::string& sql) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, Closer> db(raw);
  std::vector<std::string> rows;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db.get()) << " in " << sql;
    return rows;
  }
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row += (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "");
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  return rows;
}

void Exec(const fs::path& file, const std::string& sql) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, Closer> db(raw);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
}

class AccountFolderTest : public TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    m_base = fs::path(WideToAnsi(GetDataRoot())) / "tavo";
    m_mobile = m_base / kMobile;
    m_account = m_base / kAccount;
  }

  // A course.db with one class and the given lessons (id, file), as the program stores them.
  void MakeCourseDb(const fs::path& folder, const std::vector<std::pair<std::string, fs::path>>& lessons) {
    const fs::path file = folder / "db" / "course.db";
    fs::create_directories(file.parent_path());
    CourseDB db(AnsiToWide(file.string()));
    db.OpenChecked();
    db.InsertClass("1101", "言语理解", TaskKind::Video);
    for (const auto& [id, path] : lessons)
      db.InsertLesson("1101", id, path.filename().string(), "http://school/" + id, "1000", path.string(),
                      "v" + id);
  }

  // The mobile-number folder an SMS sign-in of the old layout left: a downloaded lesson, a
  // file that the account's folder also has, the avatar, course.db with the lessons'
  // rows, a furthest point and an unsent report under the mobile number.
  void MakeMobileFolder() {
    Write(m_mobile / "download" / kLesson, "lesson bytes");
    Write(m_mobile / "download" / "clash.mp4", "sms copy");
    Write(m_mobile / "header" / "me.png", "avatar");
    MakeCourseDb(m_mobile, {{"110101", m_mobile / "download" / kLesson},
                            {"110102", m_mobile / "download" / "clash.mp4"}});
    const fs::path db = m_mobile / "db" / "course.db";
    Exec(db, kProgressTables);
    Exec(db, std::string("insert into furthestPoint values ('") + kMobile +
                 "', '110101', 300);"
                 "insert into unsentProgress (account, lessonId, classId, vid, seconds) values ('" +
                 kMobile + "', '110101', '1101', 'v110101', '280');");
  }

  std::vector<std::string> Lessons(const fs::path& folder) {
    return Rows(folder / "db" / "course.db", "select lessonid, vid, localFile from lesson order by lessonid");
  }

  fs::path m_base;
  fs::path m_mobile;
  fs::path m_account;
};

TEST(AccountNameProblemTest, RefusesNamesThatCouldLeaveOrMixWithTheDataFolder) {
  const struct {
    const char* why;
    std::string name;
    bool usable;
  } cases[] = {
      {"account name", "lixiaoming", true},
      {"mobile number", "13800138001", true},
      {"Chinese name", "李晓明", true},
      {"inner dot and dash", "li.xm-2027", true},
      {"empty", "", false},
      {"this folder", ".", false},
      {"parent folder", "..", false},
      {"a path up", "../etc", false},
      {"a path down", "a/b", false},
      {"backslash", "a\\b", false},
      {"hidden", ".config", false},
      {"newline", "xm\nfake log line", false},
      {"tab", "x\tm", false},
      {"delete", "xm\x7F", false},
      {"too long", std::string(129, 'x'), false},
      {"longest", std::string(128, 'x'), true},
      {"the password store", "SqUserDB", false},
      {"the browser's data", "webkit", false},
      {"the settings file", "DownSetConfig.ini", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(AccountNameProblem(c.name).empty(), c.usable) << AnsiToWide(c.name).size();
  }
}

TEST_F(AccountFolderTest, TheMobileFolderIsMergedIntoTheAccountsFolderWithoutOverwritingAnything) {
  MakeMobileFolder();
  // The account's own folder from a password sign-in: its own copy of clash.mp4 and its
  // own row for lesson 110102, which win.
  Write(m_account / "download" / "clash.mp4", "password copy");
  MakeCourseDb(m_account, {{"110102", m_account / "download" / "clash.mp4"}});
  Exec(m_account / "db" / "course.db",
       std::string(kProgressTables) + "insert into furthestPoint values ('" + kAccount + "', '110102', 50);");

  EXPECT_EQ(PrepareAccountFolder(LoginAnswer(kAccount, kMobile), kMobile), kAccount);

  // The lesson and the avatar moved; the clashing file stayed in both places, unchanged.
  EXPECT_EQ(ReadFile(m_account / "download" / kLesson), "lesson bytes");
  EXPECT_EQ(ReadFile(m_account / "header" / "me.png"), "avatar");
  EXPECT_EQ(ReadFile(m_account / "download" / "clash.mp4"), "password copy");
  EXPECT_EQ(ReadFile(m_mobile / "download" / "clash.mp4"), "sms copy");
  // The old folder holds only what could not move: no course.db, no empty folders.
  EXPECT_EQ(FilesUnder(m_mobile), std::set<std::string>{"download/clash.mp4"});
  EXPECT_FALSE(fs::exists(m_mobile / "header"));
  EXPECT_FALSE(fs::exists(m_mobile / "db"));

  // The carried lesson points at its file's new place; the account's own row won.
  const std::vector<std::string> lessons{"110101|v110101|" + (m_account / "download" / kLesson).string(),
                                         "110102|v110102|" + (m_account / "download" / "clash.mp4").string()};
  EXPECT_EQ(Lessons(m_account), lessons);
  const fs::path db = m_account / "db" / "course.db";
  EXPECT_EQ(Rows(db, "select count(*) from class"), std::vector<std::string>{"1"});
  EXPECT_EQ(Rows(db, "select account, lessonId, seconds from furthestPoint order by lessonId"),
            (std::vector<std::string>{"lixiaoming|110101|300", "lixiaoming|110102|50"}));
  EXPECT_EQ(Rows(db, "select account, lessonId, seconds from unsentProgress"),
            std::vector<std::string>{"lixiaoming|110101|280"});

  const std::string merged =
      "merged the data folder of 13800138001 into that of lixiaoming: 2 files moved, 1 left where they were, "
      "3 "
      "course.db rows carried over";
  auto lines = NormalLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), merged), lines.end()) << ::testing::PrintToString(lines);
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                "kept download/clash.mp4 in the folder of 13800138001: lixiaoming has a file of that name"),
      lines.end());
  EXPECT_TRUE(ErrorLines().empty()) << ::testing::PrintToString(ErrorLines());

  // Signing in again (by password this time) changes nothing.
  EXPECT_EQ(PrepareAccountFolder(LoginAnswer(kAccount, kMobile), kAccount), kAccount);
  EXPECT_EQ(Lessons(m_account), lessons);
  EXPECT_EQ(ReadFile(m_account / "download" / "clash.mp4"), "password copy");
  EXPECT_EQ(ReadFile(m_mobile / "download" / "clash.mp4"), "sms copy");
}

TEST_F(AccountFolderTest, APasswordSignInAfterAnSmsOneTakesTheWholeMobileFolder) {
  MakeMobileFolder();
  EXPECT_EQ(PrepareAccountFolder(LoginAnswer(kAccount, kMobile), kAccount), kAccount);
  EXPECT_FALSE(fs::exists(m_mobile));
  EXPECT_EQ(FilesUnder(m_account),
            (std::set<std::string>{"db/course.db", "download/clash.mp4", std::string("download/") + kLesson,
                                   "header/me.png"}));
  EXPECT_EQ(Lessons(m_account),
            (std::vector<std::string>{"110101|v110101|" + (m_account / "download" / kLesson).string(),
                                      "110102|v110102|" + (m_account / "download" / "clash.mp4").string()}));
}

TEST_F(AccountFolderTest, NotesOfBothFoldersAreKeptOnceEach) {
  MakeMobileFolder();
  MakeCourseDb(m_account, {});
  const Note both{0, NoteKind::Lesson, "110101", "1101", "主旨概括", 95, "两个文件夹都有", 1700};
  {
    NoteBook sms(AnsiToWide((m_mobile / "db" / "course.db").string()));
    sms.Add({0, NoteKind::Document, "D1", "1101", "讲义", 3, "只在短信登录时记的", 1600});
    sms.Add(both);
    NoteBook own(AnsiToWide((m_account / "db" / "course.db").string()));
    own.Add({0, NoteKind::Lesson, "110102", "1101", "第二讲", 10, "账号自己的", 1800});
    own.Add(both);
  }
  EXPECT_EQ(PrepareAccountFolder(LoginAnswer(kAccount, kMobile), kMobile), kAccount);
  EXPECT_FALSE(fs::exists(m_mobile / "db")) << "every row of the earlier course.db was carried over";
  NoteBook merged(AnsiToWide((m_account / "db" / "course.db").string()));
  std::vector<std::string> texts;
  for (const Note& note : merged.All()) texts.push_back(note.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"账号自己的", "两个文件夹都有", "只在短信登录时记的"}));
}

TEST_F(AccountFolderTest, AHostileAccountNameFailsTheSignInAndTouchesNoFolder) {
  // The program's own folder and a folder outside the data folder, which no name may reach.
  Write(m_base / "SqUserDB" / "squser.db", "passwords");
  Write(m_root / "data" / "outside" / "file", "theirs");
  const struct {
    const char* why;
    std::string answer;
    std::string typed;
    std::string folder;
  } cases[] = {
      {"name up the tree", LoginAnswer("../outside", kMobile), kMobile, ""},
      {"name with a newline", LoginAnswer("xm\\nfake", kMobile), kMobile, ""},
      {"no name", R"({"code":200,"msg":"登录成功","data":{"mobile":"1"}})", kMobile, ""},
      {"not JSON", "登录成功", kMobile, ""},
      // A usable account whose typed name and mobile number are no folder names.
      {"typed name up the tree", LoginAnswer(kAccount, "SqUserDB"), "..", kAccount},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(PrepareAccountFolder(c.answer, c.typed), c.folder);
  }
  EXPECT_EQ(ReadFile(m_base / "SqUserDB" / "squser.db"), "passwords");
  EXPECT_EQ(ReadFile(m_root / "data" / "outside" / "file"), "theirs");
  EXPECT_EQ(FilesUnder(m_base), std::set<std::string>{"SqUserDB/squser.db"});
  EXPECT_EQ(ErrorLines().size(), 4u) << ::testing::PrintToString(ErrorLines());
}

}  // namespace

namespace {

// The search index is rebuilt from merged rows, not carried over: its full-text tables do
// not stop the merge, and the earlier folder's PDF text is findable in the account's.
TEST_F(AccountFolderTest, TheEarlierFoldersPdfTextIsMergedAndFoundAgain) {
  MakeMobileFolder();
  {
    SearchIndex earlier(AnsiToWide((m_mobile / "db" / "course.db").string()), kMobile);
    ASSERT_TRUE(earlier.StorePages("d1", "1101", "言语理解讲义", {"第一页", "主旨概括题的题型特征"}));
    ASSERT_TRUE(earlier.Update());
  }
  MakeCourseDb(m_account, {});
  {
    SearchIndex own(AnsiToWide((m_account / "db" / "course.db").string()), kAccount);
    ASSERT_TRUE(own.StorePages("d2", "1101", "申论范文", {"基层治理"}));
    ASSERT_TRUE(own.Update());
  }

  EXPECT_EQ(PrepareAccountFolder(LoginAnswer(kAccount, kMobile), kMobile), kAccount);

  EXPECT_FALSE(fs::exists(m_mobile / "db")) << "the earlier course.db was kept: the merge stopped";
  SearchIndex merged(AnsiToWide((m_account / "db" / "course.db").string()), kAccount);
  ASSERT_TRUE(merged.Update());
  const auto hits = merged.Search("主旨概括");
  ASSERT_TRUE(hits.has_value());
  ASSERT_EQ(hits->size(), 1u);
  EXPECT_EQ((*hits)[0].itemId, "d1");
  EXPECT_EQ((*hits)[0].page, 2);
  EXPECT_EQ(merged.Search("基层治理").value_or(SearchResults{}).size(), 1u);
}

}  // namespace
