// Damaged local files: each gives a log line and a store that works again, and the damaged
// file is kept beside the new one under a timestamped name, never deleted or overwritten.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "ServiceTestSupport.h"
#include "account/SqUserDB.h"
#include "app/Folders.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "skin/LoadSkin.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void Sql(const fs::path& path, const char* statements) {
  fs::create_directories(path.parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

// Bytes no reader should take for anything: NULs, high bytes, broken UTF-8, stray brackets.
std::string Garbage(size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((i * 131 + 7) % 256);
  return bytes;
}

fs::path CourseDbPath() { return fs::path(WideToUtf8(GetDbFolder())) / "course.db"; }
fs::path PasswordStorePath() { return fs::path(WideToUtf8(GetPasswordStoreFolder())) / "squser.db"; }
fs::path SettingsPath() { return fs::path(WideToUtf8(GetConfigFolder())) / "registry.ini"; }

// A course database with a class and enough lessons to span many pages.
void FullCourseDb(const fs::path& path) {
  {
    CourseDB db(path.wstring());
    db.OpenChecked();
    db.InsertClass("c1", "kept class", TaskKind::Video);
  }
  Sql(path,
      "with recursive n(i) as (select 1 union all select i + 1 from n where i < 400) "
      "insert into lesson(classid, vid, name, url, fsize) "
      "select 'c1', 'v' || i, printf('%.200c', 'x'), 'http://u/' || i, '1000' from n;");
}

void UseCourseDb() {
  CourseDB db(CourseDbPath().wstring());
  db.OpenChecked();
  ASSERT_TRUE(db.IsOpened());
  EXPECT_FALSE(db.HasClass("c1", TaskKind::Video));
  db.InsertClass("c2", "new class", TaskKind::Video);
  EXPECT_TRUE(db.HasClass("c2", TaskKind::Video));
  db.InsertLesson("c2", "v1", "name", "http://u/1", "10", "/tmp/v1");
  EXPECT_TRUE(db.HasLesson("v1"));
}

void UseSettings() {
  EXPECT_EQ(WriteRegString(L"UserName", L"学生"), 0);
  std::wstring value;
  EXPECT_EQ(ReadRegString(L"UserName", value), 0);
  EXPECT_EQ(value, L"学生");
}

void UsePasswordStore() {
  SqUserDB::Release();
  SqUserDB& store = SqUserDB::Get();
  ASSERT_TRUE(store.IsOpen());
  store.Save("13800000000");
  EXPECT_TRUE(store.HasAccount("13800000000"));
  SqUserDB::Release();
}

class HostileFilesTest : public servicetest::TempHomeTest {
 protected:
  void TearDown() override {
    SqUserDB::Release();
    DownloadTaskList::Get().Clear();
    servicetest::TempHomeTest::TearDown();
  }

  // The one entry of the file's folder named "<file>.damaged-<stamp>", or "" when none.
  static fs::path MovedAside(const fs::path& file) {
    fs::path found;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(file.filename().string() + ".damaged-", 0) == 0) {
        EXPECT_TRUE(found.empty()) << "moved aside twice: " << name;
        found = entry.path();
      }
    }
    return found;
  }

  bool HasErrorLine(const std::string& fragment) const {
    for (const std::string& line : ErrorLines()) {
      if (line.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(HostileFilesTest, DamagedFilesAreMovedAsideAndTheStoreWorksAgain) {
  const struct {
    const char* name;
    std::function<fs::path()> file;
    std::function<void(const fs::path&)> damage;
    std::function<void()> use;
    const char* logLine;
    // What must still be in the file moved aside; by default its bytes are unchanged.
    std::function<bool(const fs::path&)> kept = nullptr;
  } cases[] = {
      {"course.db truncated", CourseDbPath,
       [](const fs::path& path) {
         FullCourseDb(path);
         fs::resize_file(path, fs::file_size(path) / 2);
       },
       UseCourseDb, "course database unusable"},
      {"course.db not a database", CourseDbPath,
       [](const fs::path& path) { WriteAll(path, "this is no database\n" + Garbage(20000)); }, UseCourseDb,
       "course database unusable"},
      {"course.db of another schema", CourseDbPath,
       [](const fs::path& path) {
         Sql(path,
             "create table class(name text); insert into class values('kept'); create table lesson(x);");
       },
       UseCourseDb, "course database unusable",
       // The open added the tables and columns it missed before finding the file unusable.
       [](const fs::path& aside) { return ReadAll(aside).find("kept") != std::string::npos; }},
      {"course.db a folder", CourseDbPath, [](const fs::path& path) { WriteAll(path / "inside", "kept"); },
       UseCourseDb, "course database unusable"},
      {"registry.ini binary garbage", SettingsPath,
       [](const fs::path& path) { WriteAll(path, "[tavo]\nUserName=old\n" + Garbage(4096)); }, UseSettings,
       "registry.ini unreadable"},
      {"squser.db not a database", PasswordStorePath,
       [](const fs::path& path) { WriteAll(path, Garbage(8192)); }, UsePasswordStore,
       "password store unusable"},
      {"squser.db a folder", PasswordStorePath,
       [](const fs::path& path) { WriteAll(path / "inside", "kept"); }, UsePasswordStore, "Open db "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = c.file();
    fs::create_directories(file.parent_path());
    for (const auto& entry : fs::directory_iterator(file.parent_path())) fs::remove_all(entry.path());
    c.damage(file);
    const bool folder = fs::is_directory(file);
    const std::string before = folder ? ReadAll(file / "inside") : ReadAll(file);

    c.use();

    EXPECT_TRUE(HasErrorLine(c.logLine));
    EXPECT_TRUE(
        HasErrorLine("damaged file moved aside: " + file.string() + " -> " + file.string() + ".damaged-"));
    const fs::path aside = MovedAside(file);
    ASSERT_FALSE(aside.empty());
    if (c.kept) {
      EXPECT_TRUE(c.kept(aside));
    } else {
      EXPECT_TRUE((folder ? ReadAll(aside / "inside") : ReadAll(aside)) == before) << "changed: " << aside;
    }
    EXPECT_TRUE(fs::is_regular_file(file));
  }
}

TEST_F(HostileFilesTest, SoundFilesAreLeftWhereTheyAre) {
  FullCourseDb(CourseDbPath());
  UseSettings();
  UsePasswordStore();
  CourseDB db(CourseDbPath().wstring());
  db.OpenChecked();
  EXPECT_TRUE(db.HasClass("c1", TaskKind::Video));
  UseSettings();
  EXPECT_TRUE(SqUserDB::Get().HasAccount("13800000000"));
  for (const fs::path& file : {CourseDbPath(), SettingsPath(), PasswordStorePath()}) {
    EXPECT_TRUE(MovedAside(file).empty()) << file;
  }
  EXPECT_FALSE(HasErrorLine("moved aside"));
}

TEST_F(HostileFilesTest, AnOlderCourseDbIsBroughtUpToDateNotMovedAside) {
  // The first version's tables: no type, no local file, no document size.
  Sql(CourseDbPath(),
      "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text);"
      "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name text,url text, "
      "fsize text);"
      "create table docment(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,did text, name text,url text);"
      "insert into class(classid, classname) values('old', 'old class');");
  CourseDB db(CourseDbPath().wstring());
  db.OpenChecked();
  EXPECT_TRUE(db.HasClass("old", TaskKind::Video));
  EXPECT_TRUE(MovedAside(CourseDbPath()).empty());
  EXPECT_FALSE(HasErrorLine("unusable"));
}

TEST_F(HostileFilesTest, AMissingOrDamagedSkinIsReportedAndTheRealOneStillLoads) {
  EXPECT_FALSE(LoadSkinFrom(nullptr, 0));
  EXPECT_TRUE(HasErrorLine("the program carries no skin"));
  const std::string garbage = Garbage(1000);
  EXPECT_FALSE(LoadSkinFrom(reinterpret_cast<const unsigned char*>(garbage.data()), garbage.size()));
  EXPECT_TRUE(HasErrorLine("the program's skin is damaged"));
  EXPECT_TRUE(LoadSkin());
}

}  // namespace
