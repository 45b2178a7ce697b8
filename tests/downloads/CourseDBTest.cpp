// The course database: schema and migration, the has/insert/delete rules, the loaders
// that rebuild the task list, and values that try to escape their quotes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <sqlite3.h>

#include <cctype>
#include <map>
#include <ostream>
#include <vector>

#include "DownloadTestSupport.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"

namespace {

struct Column {
  std::string name;
  std::string type;
  std::string defaultValue;
  bool operator==(const Column&) const = default;
};
void PrintTo(const Column& c, std::ostream* out) { *out << c.name << " " << c.type << " " << c.defaultValue; }

// SQLite reports declared types in its own case.
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class CourseDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_temp.UseForXdg();
    m_path = m_temp.Path() / "course.db";
    DownloadTaskList::Get().Clear();
  }
  void TearDown() override {
    CloseLog();
    DownloadTaskList::Get().Clear();
  }

  std::unique_ptr<CourseDB> OpenDb() {
    auto db = std::make_unique<CourseDB>(m_path.wstring());
    db->Open();
    db->CreateTables();
    return db;
  }

  // Runs statements on the file directly, outside CourseDB.
  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3* db = nullptr;
    sqlite3_open(m_path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
          const auto* text = sqlite3_column_text(st, i);
          row.push_back(text ? reinterpret_cast<const char*>(text) : "<null>");
        }
        rows.push_back(row);
      }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }
  std::vector<Column> Columns(const std::string& table) {
    std::vector<Column> columns;
    for (const auto& row : Query("pragma table_info(" + table + ")")) {
      columns.push_back({row[1], Lower(row[2]), row[4]});
    }
    return columns;
  }

  TempFolder m_temp;
  std::filesystem::path m_path;
};

const std::map<std::string, std::vector<Column>> kSchema = {
    {"class",
     {{"id", "integer", "<null>"},
      {"classid", "text", "<null>"},
      {"classname", "text", "<null>"},
      {"type", "text", "'video'"}}},
    {"lesson",
     {{"id", "integer", "<null>"},
      {"classid", "text", "<null>"},
      {"vid", "text", "<null>"},
      {"name", "text", "<null>"},
      {"url", "text", "<null>"},
      {"fsize", "text", "<null>"},
      {"localFile", "text", "''"},
      {"validator", "text", "''"},
      {"fullSize", "integer", "0"},
      {"partFile", "text", "''"},
      {"lessonid", "text", "''"},
      {"keyedByVideo", "integer", "0"},
      {"paused", "integer", "0"}}},
    {"docment",
     {{"id", "integer", "<null>"},
      {"classid", "text", "<null>"},
      {"did", "text", "<null>"},
      {"name", "text", "<null>"},
      {"url", "text", "<null>"},
      {"fsize", "text", "<null>"},
      {"localFile", "text", "''"},
      {"validator", "text", "''"},
      {"fullSize", "integer", "0"},
      {"partFile", "text", "''"},
      {"paused", "integer", "0"}}},
    {"downset",
     {{"id", "integer", "<null>"},
      {"username", "text", "<null>"},
      {"prevDown", "int", "<null>"},
      {"specifyDown", "int", "<null>"},
      {"downAck", "int", "<null>"},
      {"prevDownDir", "text", "<null>"},
      {"specifyDownDir", "text", "<null>"}}},
    {"pendingMove",
     {{"seq", "integer", "<null>"},
      {"kind", "integer", "<null>"},
      {"classid", "text", "<null>"},
      {"taskid", "text", "<null>"},
      {"source", "text", "<null>"},
      {"target", "text", "<null>"},
      {"newLocal", "text", "<null>"},
      {"partial", "integer", "0"},
      {"pointed", "integer", "0"}}},
};

TEST_F(CourseDBTest, NewFileHasTheFiveTablesWithExactColumnsAndReopeningChangesNothing) {
  for (int start = 0; start < 2; ++start) {
    auto db = OpenDb();
    ASSERT_TRUE(db->IsOpened());
    for (const auto& [table, columns] : kSchema) EXPECT_EQ(Columns(table), columns) << table;
    EXPECT_EQ(Query("select name from sqlite_master where type='table' and name not like 'sqlite_%'").size(),
              5u);
  }
}

TEST_F(CourseDBTest, GetOpensCourseDbInTheAccountsDbFolder) {
  SetSignedInAccount("student1");
  CourseDB* db = CourseDB::Get();
  ASSERT_TRUE(db->IsOpened());
  EXPECT_TRUE(std::filesystem::exists(m_temp.Path() / "data/tavo/student1/db/course.db"));
  EXPECT_EQ(db, CourseDB::Get());
  CourseDB::Release();
  SetSignedInAccount("");
}

TEST_F(CourseDBTest, OldSchemaGainsTheLaterColumnsWithTheirDefaults) {
  Exec(
      "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text);"
      "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name text,url text, "
      "fsize text);"
      "create table docment(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,did text, name text,url text);"
      "insert into class values (null, '7', 'Old class');"
      "insert into lesson values (null, '7', 'v1', 'a.mp4', 'http://x/a.mp4', '100');"
      "insert into docment values (null, '7', 'd1', 'a.pdf', 'http://x/a.pdf');");
  auto db = OpenDb();
  auto expected = kSchema;
  expected["docment"][5].defaultValue = "'0'";  // added by the migration, with its default
  for (const auto& [table, columns] : expected) EXPECT_EQ(Columns(table), columns) << table;
  EXPECT_EQ(Query("select type from class")[0][0], "video");
  EXPECT_EQ(Query("select localFile from lesson")[0][0], "");
  EXPECT_EQ(Query("select fsize, localFile from docment")[0], (std::vector<std::string>{"0", ""}));
  EXPECT_TRUE(db->HasClass("7", TaskKind::Video));
}

// A student's pause outlives the program: rows of an older file load as not paused, a
// pause stored for one lesson or document loads back on that task alone, and a resume
// clears it.
TEST_F(CourseDBTest, APauseByTheStudentIsStoredPerTaskAndReadBack) {
  Exec(
      "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text);"
      "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name text,url text, "
      "fsize text);"
      "create table docment(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,did text, name text,url text);"
      "insert into lesson values (null, '7', 'v1', 'a.mp4', 'http://x/a.mp4', '100');"
      "insert into lesson values (null, '7', 'v2', 'b.mp4', 'http://x/b.mp4', '100');"
      "insert into docment values (null, '7', 'd1', 'a.pdf', 'http://x/a.pdf');");
  auto loaded = [&] {
    DownloadTaskList::Get().Clear();
    DownloadTaskList::Get().AddClass("7", "Old class", TaskKind::Video);
    DownloadTaskList::Get().AddClass("7", "Old class", TaskKind::Document);
    auto db = OpenDb();
    db->GetLesson("7", "Old class", kNoWindow);
    db->GetDoc("7", "Old class", kNoWindow);
    std::map<std::string, bool> paused;
    for (TaskKind kind : {TaskKind::Video, TaskKind::Document})
      for (const DownloadClass& entry : DownloadTaskList::Get().SnapshotClasses(kind))
        for (const DownloadTask& task : entry.tasks) paused[task.id] = task.pausedByStudent;
    return paused;
  };
  EXPECT_EQ(loaded(), (std::map<std::string, bool>{{"v1", false}, {"v2", false}, {"d1", false}}));

  OpenDb()->SetPausedByStudent(TaskKind::Video, "v2", true);
  OpenDb()->SetPausedByStudent(TaskKind::Document, "d1", true);
  EXPECT_EQ(loaded(), (std::map<std::string, bool>{{"v1", false}, {"v2", true}, {"d1", true}}));

  OpenDb()->SetPausedByStudent(TaskKind::Video, "v2", false);
  OpenDb()->SetPausedByStudent(TaskKind::Video, "d1", false);  // a lesson of that id: none
  EXPECT_EQ(loaded(), (std::map<std::string, bool>{{"v1", false}, {"v2", false}, {"d1", true}}));
}

// A file from when a lesson's video stood for the lesson: its rows keep their downloads,
// keyed by the video until the class's lessons say which lesson each belongs to; each row
// takes its lesson once, and opening the file again changes nothing.
TEST_F(CourseDBTest, RowsKeyedByTheirVideoAreCarriedOverAndTakeTheirLessonOnce) {
  Exec(
      "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text, type text "
      "default 'video');"
      "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name text,url text, "
      "fsize text, localFile text default '', validator text default '', fullSize integer default 0, "
      "partFile text default '');"
      "insert into class values (null, '7', 'Old class', 'video');"
      "insert into lesson values (null, '7', 'vA', 'a.mp4', 'http://x/a.mp4', '100', '/d/a.mp4', 'e', 100, "
      "'');"
      "insert into lesson values (null, '7', 'vB', 'b.mp4', 'http://x/b.mp4', '200', '/d/b.mp4', '', 0, '');"
      "insert into lesson values (null, '9', 'vA', 'c.mp4', 'http://x/a.mp4', '100', '/d/c.mp4', '', 0, "
      "'');");
  {
    auto db = OpenDb();
    EXPECT_EQ(db->VideoKeyedLessons("7"), (std::vector<std::string>{"vA", "vB"}));
    EXPECT_TRUE(db->HasLesson("vA"));  // the old key still finds the row
    db->GetAllClass(TaskKind::Video);
    db->GetLesson("7", "Old class", kNoWindow);
    const auto old = DownloadTaskList::Get().FindTask("7", "vA", TaskKind::Video);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->video, "vA");
    EXPECT_EQ(old->localFile, "/d/a.mp4");

    EXPECT_TRUE(db->RekeyLesson("7", "vA", "21"));
    EXPECT_FALSE(db->RekeyLesson("7", "vA", "23"));  // once only
    EXPECT_FALSE(db->RekeyLesson("7", "vB", "21"));  // lesson 21 has its row already
    EXPECT_EQ(db->VideoKeyedLessons("7"), std::vector<std::string>{"vB"});
    EXPECT_EQ(db->VideoKeyedLessons("9"), std::vector<std::string>{"vA"});  // another class's own row
  }
  DownloadTaskList::Get().Clear();
  auto db = OpenDb();
  EXPECT_EQ(
      Query("select lessonid, vid, keyedByVideo, validator from lesson where classid = '7' order by id"),
      (std::vector<std::vector<std::string>>{{"21", "vA", "0", "e"}, {"vB", "vB", "1", ""}}));
  db->GetAllClass(TaskKind::Video);
  db->GetLesson("7", "Old class", kNoWindow);
  const auto adopted = DownloadTaskList::Get().FindTask("7", "21", TaskKind::Video);
  ASSERT_TRUE(adopted);
  EXPECT_EQ(adopted->video, "vA");
  EXPECT_EQ(adopted->fullSize, 100);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("7", "vA", TaskKind::Video));
}

// Another part of the program is writing to the file (its own table) at the moment the
// course database opens: the open waits for it instead of taking the busy file for a
// damaged one and moving it (and every download it lists) aside.
TEST_F(CourseDBTest, AFileBusyWithAnotherWriterIsNotMovedAside) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(m_path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; CREATE TABLE kept(v TEXT); INSERT INTO kept VALUES('mine');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  std::thread writer([other] {
    // The other writer finishes its moment's work while the course database opens.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  CourseDB db(m_path.wstring());
  db.OpenChecked();
  writer.join();
  sqlite3_close(other);
  EXPECT_TRUE(db.IsOpened());
  for (const auto& entry : std::filesystem::directory_iterator(m_temp.Path()))
    EXPECT_EQ(entry.path().filename().string().find("damaged"), std::string::npos) << entry.path();
  EXPECT_EQ(Query("SELECT v FROM kept"), (std::vector<std::vector<std::string>>{{"mine"}}));
  EXPECT_FALSE(Query("SELECT name FROM sqlite_master WHERE name='lesson'").empty());
}

TEST_F(CourseDBTest, InsertRulesFollowTheExistenceChecks) {
  auto db = OpenDb();
  db->InsertClass("7", "Class", TaskKind::Video);
  db->InsertClass("7", "Class", TaskKind::Video);     // same class and type: no row
  db->InsertClass("7", "Class", TaskKind::Document);  // other type: a second row
  EXPECT_EQ(Query("select classid, type from class"),
            (std::vector<std::vector<std::string>>{{"7", "video"}, {"7", "document"}}));
  EXPECT_TRUE(db->HasClass("7", TaskKind::Document));
  EXPECT_FALSE(db->HasClass("8", TaskKind::Video));

  db->InsertLesson("7", "v1", "a.mp4", "http://x/a.mp4", "100", "/d/a.mp4");
  db->InsertLesson("9", "v1", "b.mp4", "http://x/b.mp4", "200", "/d/b.mp4");  // id known in another class
  db->InsertDoc("7", "d1", "a.pdf", "http://x/a.pdf", "5", "/d/a.pdf");
  db->InsertDoc("7", "d1", "a.pdf", "http://x/a.pdf", "5", "/d/a.pdf");
  EXPECT_EQ(
      Query("select classid, vid, name, url, fsize, localFile from lesson"),
      (std::vector<std::vector<std::string>>{{"7", "v1", "a.mp4", "http://x/a.mp4", "100", "/d/a.mp4"}}));
  EXPECT_EQ(Query("select count(*) from docment")[0][0], "1");
  EXPECT_TRUE(db->HasLesson("v1"));
  EXPECT_TRUE(db->HasDoc("d1"));
  EXPECT_FALSE(db->HasDoc("v1"));
}

// Grouped writes stay out of the file until the outermost group ends, then all arrive.
TEST_F(CourseDBTest, GroupedWritesArriveTogetherAtTheOutermostEnd) {
  auto db = OpenDb();
  db->BeginWrites();
  db->BeginWrites();
  db->InsertClass("7", "Class", TaskKind::Video);
  db->InsertLesson("7", "v1", "a.mp4", "http://x/a.mp4", "100", "/d/a.mp4");
  db->EndWrites();
  db->InsertLesson("7", "v2", "b.mp4", "http://x/b.mp4", "100", "/d/b.mp4");
  EXPECT_TRUE(db->HasLesson("v2"));  // this connection sees its own writes
  EXPECT_EQ(Query("select count(*) from lesson")[0][0], "0");
  db->EndWrites();
  EXPECT_EQ(Query("select count(*) from lesson")[0][0], "2");
  db->EndWrites();  // an unmatched end changes nothing
  db->InsertLesson("7", "v3", "c.mp4", "http://x/c.mp4", "100", "/d/c.mp4");
  EXPECT_EQ(Query("select count(*) from lesson")[0][0], "3");
}

TEST_F(CourseDBTest, DeleteRemovesEveryRowOfTheIdAndLeavesTheFile) {
  auto db = OpenDb();
  const auto file = m_temp.Path() / "a.mp4";
  WriteFile(file, "12345");
  db->InsertLesson("7", "v1", "a.mp4", "u", "5", file.string());
  Exec(
      "insert into lesson (classid, lessonid, name, url, fsize) values ('8', 'v1', 'b.mp4', 'u', '5');"
      "insert into lesson (classid, lessonid, name, url, fsize) values ('8', 'v2', 'c.mp4', 'u', '5');");
  db->DeleteLesson("v1");
  EXPECT_EQ(Query("select lessonid from lesson"), (std::vector<std::vector<std::string>>{{"v2"}}));
  EXPECT_TRUE(std::filesystem::exists(file));
  db->InsertDoc("7", "d1", "a.pdf", "u", "1", "");
  db->DeleteDoc("d1");
  EXPECT_FALSE(db->HasDoc("d1"));
}

TEST_F(CourseDBTest, QuotesInValuesAreDataAndChangeNoOtherRow) {
  auto db = OpenDb();
  db->InsertLesson("7", "v1", "a.mp4", "u", "1", "");
  db->InsertLesson("7", "v2", "b.mp4", "u", "1", "");
  const std::string hostile = "x' or '1'='1";
  EXPECT_FALSE(db->HasLesson(hostile));
  db->DeleteLesson(hostile);
  db->DeleteLesson("v1' or vid=='v2");
  EXPECT_EQ(Query("select count(*) from lesson")[0][0], "2");
  db->InsertClass(hostile, "it's \"quoted\"", TaskKind::Video);
  db->InsertLesson(hostile, "v3'); drop table lesson; --", "o'clock.mp4", "u", "1", "");
  EXPECT_TRUE(db->HasClass(hostile, TaskKind::Video));
  EXPECT_TRUE(db->HasLesson("v3'); drop table lesson; --"));
  EXPECT_EQ(Query("select classname from class")[0][0], "it's \"quoted\"");
  EXPECT_EQ(Query("select count(*) from lesson")[0][0], "3");
}

TEST_F(CourseDBTest, LoadersRebuildTheTaskListWithSizesOnDisk) {
  auto db = OpenDb();
  const auto video = m_temp.Path() / "v.mp4";
  const auto doc = m_temp.Path() / "d.pdf";
  WriteFile(video, std::string(1500, 'v'));
  WriteFile(doc, std::string(5000, 'd'));
  db->InsertClass("7", "Class", TaskKind::Video);
  db->InsertClass("7", "Class", TaskKind::Document);
  db->InsertLesson("7", "v1", "v.mp4", "http://x/v.mp4", "3000", video.string());
  db->InsertLesson("7", "v2", "gone.mp4", "http://x/g.mp4", "12ab", (m_temp.Path() / "gone.mp4").string());
  db->InsertLesson("7", "v3", "e.mp4", "http://x/e.mp4", "", "");
  db->InsertDoc("7", "d1", "d.pdf", "http://x/d.pdf", "5", doc.string());
  // What a job handed back about the server's copies.
  DownloadTask source;
  source.id = "v1";
  source.kind = TaskKind::Video;
  source.validator = "\"etag-v1\"";
  source.fullSize = 3001;
  db->SaveResumeInfo(source);
  source.id = "d1";
  source.kind = TaskKind::Document;
  source.validator = "Mon, 07 Dec 2026 10:00:00 GMT";
  source.fullSize = 5120;
  db->SaveResumeInfo(source);

  db->GetAllClass(TaskKind::Video);
  db->GetAllClass(TaskKind::Document);
  db->GetAllClass(TaskKind::Video);  // a class already in the list is not added twice
  ASSERT_EQ(DownloadTaskList::Get().ClassCount(TaskKind::Video), 1);
  db->GetLesson("7", "Class", HWND{42});
  db->GetDoc("7", "Class", HWND{43});

  struct Expected {
    const char* id;
    TaskKind kind;
    std::int64_t total;
    std::int64_t downloaded;
  };
  for (const Expected& e :
       {Expected{"v1", TaskKind::Video, 3000, 1500}, Expected{"v2", TaskKind::Video, 12, 0},
        Expected{"v3", TaskKind::Video, 0, 0}, Expected{"d1", TaskKind::Document, 5, 4}}) {
    auto task = DownloadTaskList::Get().FindTask("7", e.id, e.kind);
    ASSERT_TRUE(task) << e.id;
    EXPECT_EQ(task->total, e.total) << e.id;
    EXPECT_EQ(task->downloaded, e.downloaded) << e.id;
    EXPECT_EQ(task->state, TaskState::Paused);  // none is complete, and no job runs for it yet
    EXPECT_EQ(task->className, "Class");
    EXPECT_EQ(task->notifyWindow, e.kind == TaskKind::Video ? HWND{42} : HWND{43});
  }
  EXPECT_EQ(DownloadTaskList::Get().FindTask("7", "v1", TaskKind::Video)->localFile, video.string());
  const auto v1 = DownloadTaskList::Get().FindTask("7", "v1", TaskKind::Video);
  EXPECT_EQ(v1->validator, "\"etag-v1\"");
  EXPECT_EQ(v1->fullSize, 3001);
  const auto d1 = DownloadTaskList::Get().FindTask("7", "d1", TaskKind::Document);
  EXPECT_EQ(d1->validator, "Mon, 07 Dec 2026 10:00:00 GMT");
  EXPECT_EQ(d1->fullSize, 5120);
  const auto v2 = DownloadTaskList::Get().FindTask("7", "v2", TaskKind::Video);
  EXPECT_EQ(v2->validator, "");
  EXPECT_EQ(v2->fullSize, 0);
}

TEST_F(CourseDBTest, SizeTextsParseTheirLeadingDigits) {
  const std::pair<const char*, std::int64_t> cases[] = {{"12ab", 12},
                                                        {"", 0},
                                                        {"abc", 0},
                                                        {"-7", -7},
                                                        {" 42", 42},
                                                        {"9223372036854775807", INT64_MAX},
                                                        {"99999999999999999999", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseSizeText(text), value) << text;
}

TEST_F(CourseDBTest, AnInsertThatDoesNotCompleteLogsItsLine) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  auto db = OpenDb();
  for (const char* table : {"class", "lesson", "docment"}) {
    Exec(std::string("create trigger refuse_") + table + " before insert on " + table +
         " begin select raise(abort, 'refused'); end;");
  }
  db->InsertClass("7", "Class", TaskKind::Video);
  db->InsertLesson("7", "v1", "a.mp4", "u", "1", "");
  db->InsertDoc("8", "d1", "a.pdf", "u", "1", "");
  CloseLog();
  const std::string log = ReadDayLogs();
  for (const char* line :
       {"insert into class 7 false", "insert into lesson 7 false", "insert into docment 8 false"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
}

TEST_F(CourseDBTest, UnopenableFileLogsOnceAndTouchesNothing) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  CourseDB db((m_temp.Path() / "missing/dir/course.db").wstring());
  db.Open();
  db.CreateTables();
  EXPECT_FALSE(db.IsOpened());
  db.InsertClass("7", "c", TaskKind::Video);
  db.InsertLesson("7", "v1", "a", "u", "1", "");
  EXPECT_FALSE(db.HasLesson("v1"));
  db.GetAllClass(TaskKind::Video);
  EXPECT_EQ(DownloadTaskList::Get().ClassCount(TaskKind::Video), 0);
  CloseLog();
  const std::string log = ReadDayLogs();
  const std::string line = "Open db " + (m_temp.Path() / "missing/dir/course.db").string() + " false";
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find(line), log.rfind(line));
  EXPECT_EQ(log.find("insert into"), std::string::npos);
}

}  // namespace
