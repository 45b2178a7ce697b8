// The course database: schema, existence checks, inserts, loaders and deletes, all with
// bound values.
#include "downloads/CourseDB.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <charconv>

#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/SqlStatement.h"
#include "downloads/TaskFiles.h"

namespace {

std::unique_ptr<CourseDB> g_courseDb;

// Run one by one at every open; a create fails harmlessly when the table exists and an
// alter when the column exists, so an older file gains the later columns.
constexpr const char* kSchema[] = {
    "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text);",
    "alter table class add column type text default 'video'",
    "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name "
    "text,url text, fsize text);",
    "alter table lesson add column localFile text default ''",
    "create table docment(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,did text, name "
    "text,url text, fsize text);",
    "alter table docment add column fsize text default '0'",
    "alter table docment add column localFile text default ''",
    "create table downset(id INTEGER PRIMARY KEY AUTOINCREMENT,username text,prevDown int, "
    "specifyDown int, downAck int,prevDownDir text, specifyDownDir text);",
    // What identifies the server's copy a partial file came from, for a safe resume.
    "alter table lesson add column validator text default ''",
    "alter table lesson add column fullSize integer default 0",
    "alter table docment add column validator text default ''",
    "alter table docment add column fullSize integer default 0",
    // The partial file the program created for the task; empty for rows from before.
    "alter table lesson add column partFile text default ''",
    "alter table docment add column partFile text default ''",
    // A lesson row is keyed by its lesson; `vid` is the video it plays, which lessons may
    // share. Rows stored when a video stood for its lesson carry the video id as their key
    // and are marked, until the class's lessons say which lesson each one belongs to.
    "alter table lesson add column lessonid text default ''",
    "alter table lesson add column keyedByVideo integer default 0",
    "update lesson set lessonid = vid, keyedByVideo = 1 where lessonid == '' or lessonid is null",
    // 1 while the student has paused the download: it stays paused across restarts, where
    // every other unfinished download goes on by itself.
    "alter table lesson add column paused integer default 0",
    "alter table docment add column paused integer default 0",
    // Files on their way to another download folder (see PendingMove).
    "create table pendingMove(seq INTEGER PRIMARY KEY AUTOINCREMENT, kind integer, classid text, "
    "taskid text, source text, target text, newLocal text, partial integer default 0, "
    "pointed integer default 0);",
};

}  // namespace

const char* CourseTypeText(TaskKind kind) {
  if (kind == TaskKind::Video) return "video";
  if (kind == TaskKind::Document) return "document";
  return "";
}

std::int64_t ParseSizeText(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  if (begin != end && *begin == '+') ++begin;
  std::int64_t value = 0;
  if (std::from_chars(begin, end, value).ec != std::errc()) return 0;
  return value;
}

void CourseDB::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

CourseDB* CourseDB::Get() {
  if (!g_courseDb) {
    g_courseDb = std::make_unique<CourseDB>(GetDbFolder() + L"course.db");
    g_courseDb->OpenChecked();
  }
  return g_courseDb.get();
}

CourseDB* CourseDB::IfOpen() { return g_courseDb && g_courseDb->IsOpened() ? g_courseDb.get() : nullptr; }

void CourseDB::Release() { g_courseDb.reset(); }

CourseDB::CourseDB(std::wstring path) : m_path(std::move(path)) {}

CourseDB::~CourseDB() = default;

void CourseDB::Open() {
  if (m_opened) return;
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(WideToUtf8(m_path).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  m_db.reset(db);  // a failed open still hands back a handle to close
  if (rc != SQLITE_OK) {
    m_db.reset();
    LogError(L"Open db " + m_path + L" false");
    return;
  }
  // Other connections write to the same file (learning progress, the unsent queue, the
  // kept catalogue, the offline sign-in check), each for a moment: a statement that meets
  // their lock waits briefly instead of failing, so a busy file is never taken for a
  // damaged one and moved aside.
  sqlite3_busy_timeout(m_db.get(), 2000);
  // The database is written on the user-interface thread. With a write-ahead log and
  // "normal" syncing a commit never waits for the disk (only the occasional checkpoint
  // does), which under the write-back of full-speed downloads took up to 100 ms; a power
  // cut may lose the last commits but never damages the file.
  sqlite3_exec(m_db.get(), "pragma journal_mode = wal", nullptr, nullptr, nullptr);
  sqlite3_exec(m_db.get(), "pragma synchronous = normal", nullptr, nullptr, nullptr);
  m_opened = true;
}

void CourseDB::CreateTables() {
  if (!m_opened) return;
  for (const char* statement : kSchema) {
    sqlite3_exec(m_db.get(), statement, nullptr, nullptr, nullptr);
  }
}

void CourseDB::OpenChecked() {
  Open();
  CreateTables();
  if (m_opened && IsIntact()) return;
  // Nothing at the path to move aside: its folder is missing or cannot be written.
  if (!m_opened && access(WideToUtf8(m_path).c_str(), F_OK) != 0) return;
  LogError(L"course database unusable: " + m_path);
  m_db.reset();
  m_opened = false;
  // When the file cannot be moved it stays in use as it is.
  MoveAsideDamaged(WideToUtf8(m_path));
  Open();
  CreateTables();
}

bool CourseDB::IsIntact() {
  auto check = SqlStatement::Prepare(m_db.get(), "pragma quick_check");
  if (!check || !check->Next() || check->ColumnText(0) != "ok") return false;
  // The schema built in memory is the reference: every table and column it has, the file
  // must have too (after CreateTables brought an older file up to date).
  sqlite3* raw = nullptr;
  sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, Closer> reference(raw);
  if (!reference) return true;  // no memory for the check: do not blame the file
  for (const char* statement : kSchema) sqlite3_exec(reference.get(), statement, nullptr, nullptr, nullptr);
  auto columns =
      SqlStatement::Prepare(reference.get(),
                            "select m.name, c.name from sqlite_master m, pragma_table_info(m.name) c "
                            "where m.type = 'table' and m.name not like 'sqlite_%'");
  if (!columns) return true;
  while (columns->Next()) {
    auto found = SqlStatement::Prepare(m_db.get(), "select 1 from pragma_table_info(?) where name = ?");
    if (!found) return false;
    found->BindText(1, columns->ColumnText(0));
    found->BindText(2, columns->ColumnText(1));
    if (!found->Next()) return false;
  }
  return true;
}

void CourseDB::GetAllClass(TaskKind kind) {
  if (!m_opened) return;
  auto query = SqlStatement::Prepare(m_db.get(), "select id, classid, classname from class where type == ?");
  if (!query) return;
  query->BindText(1, CourseTypeText(kind));
  while (query->Next()) {
    DownloadTaskList::Get().AddClass(query->ColumnText(1), Utf8ToAnsi(query->ColumnText(2)), kind);
  }
}

bool CourseDB::HasClass(const std::string& classId, TaskKind kind) {
  if (!m_opened) return false;
  auto query =
      SqlStatement::Prepare(m_db.get(), "select id, classid from class where classid == ? and type == ?");
  if (!query) return true;  // so that the insert that asked is skipped
  query->BindText(1, classId);
  query->BindText(2, CourseTypeText(kind));
  while (query->Next()) {
    if (query->ColumnText(1) == classId) return true;
  }
  return false;
}

void CourseDB::InsertClass(const std::string& classId, const std::string& className, TaskKind kind) {
  if (!m_opened || HasClass(classId, kind)) return;
  auto insert = SqlStatement::Prepare(m_db.get(), "insert into class values (?, ?, ?, ?)");
  if (!insert) return;
  insert->BindText(2, classId);
  insert->BindText(3, AnsiToUtf8(className));
  insert->BindText(4, CourseTypeText(kind));
  if (!insert->Execute()) LogError(L"insert into class " + AnsiToWide(classId) + L" false");
}

void CourseDB::GetLesson(const std::string& classId, const std::string& className, HWND window) {
  LoadItems("lesson", classId, className, window, TaskKind::Video);
}

void CourseDB::GetDoc(const std::string& classId, const std::string& className, HWND window) {
  LoadItems("docment", classId, className, window, TaskKind::Document);
}

bool CourseDB::HasLesson(const std::string& lessonId) { return HasItem("lesson", "lessonid", lessonId); }

bool CourseDB::HasDoc(const std::string& documentId) { return HasItem("docment", "did", documentId); }

void CourseDB::InsertLesson(const std::string& classId, const std::string& lessonId,
                            const std::string& fileName, const std::string& url, const std::string& sizeText,
                            const std::string& localPath, const std::string& videoId) {
  if (!m_opened || HasLesson(lessonId)) return;
  InsertItem("lesson", classId, lessonId, fileName, url, sizeText, localPath);
  auto video = SqlStatement::Prepare(m_db.get(), "update lesson set vid = ?1 where lessonid == ?2");
  if (!video) return;
  video->BindText(1, videoId.empty() ? lessonId : videoId);
  video->BindText(2, lessonId);
  video->Execute();
}

std::vector<std::string> CourseDB::VideoKeyedLessons(const std::string& classId) {
  std::vector<std::string> videos;
  if (!m_opened) return videos;
  auto query = SqlStatement::Prepare(
      m_db.get(), "select vid from lesson where classid == ? and keyedByVideo == 1 order by id");
  if (!query) return videos;
  query->BindText(1, classId);
  while (query->Next()) videos.push_back(query->ColumnText(0));
  return videos;
}

bool CourseDB::RekeyLesson(const std::string& classId, const std::string& videoId,
                           const std::string& lessonId) {
  if (!m_opened) return false;
  auto update =
      SqlStatement::Prepare(m_db.get(),
                            "update lesson set lessonid = ?1, keyedByVideo = 0 "
                            "where classid == ?2 and vid == ?3 and keyedByVideo == 1 and not exists "
                            "(select 1 from lesson where lessonid == ?1 and keyedByVideo == 0)");
  if (!update) return false;
  update->BindText(1, lessonId);
  update->BindText(2, classId);
  update->BindText(3, videoId);
  return update->Execute() && sqlite3_changes(m_db.get()) > 0;
}

void CourseDB::InsertDoc(const std::string& classId, const std::string& documentId,
                         const std::string& fileName, const std::string& url, const std::string& sizeText,
                         const std::string& localPath) {
  if (!m_opened || HasDoc(documentId)) return;
  InsertItem("docment", classId, documentId, fileName, url, sizeText, localPath);
}

void CourseDB::BeginWrites() {
  if (!m_opened || m_writeDepth++ > 0) return;
  if (sqlite3_exec(m_db.get(), "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
    LogError(L"CourseDB begin: " + Utf8ToWide(sqlite3_errmsg(m_db.get())));
}

void CourseDB::EndWrites() {
  if (!m_opened || m_writeDepth == 0 || --m_writeDepth > 0) return;
  if (sqlite3_get_autocommit(m_db.get())) return;  // the begin failed: nothing is open
  if (sqlite3_exec(m_db.get(), "commit", nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError(L"CourseDB commit: " + Utf8ToWide(sqlite3_errmsg(m_db.get())));
    sqlite3_exec(m_db.get(), "rollback", nullptr, nullptr, nullptr);
  }
}

void CourseDB::SaveResumeInfo(const DownloadTask& task) {
  if (!m_opened) return;
  const bool video = task.kind == TaskKind::Video;
  if (!video && task.kind != TaskKind::Document) return;
  auto update = SqlStatement::Prepare(m_db.get(), std::string("update ") + (video ? "lesson" : "docment") +
                                                      " set validator = ?1, fullSize = ?2, "
                                                      "localFile = ifnull(nullif(?3, ''), localFile), "
                                                      "partFile = ifnull(nullif(?4, ''), partFile) where " +
                                                      (video ? "lessonid" : "did") + " == ?5");
  if (!update) return;
  update->BindText(1, task.validator);
  update->BindText(2, std::to_string(task.fullSize));
  update->BindText(3, AnsiToUtf8(task.localFile));
  update->BindText(4, AnsiToUtf8(task.partFile));
  update->BindText(5, task.id);
  update->Execute();
}

void CourseDB::SetPausedByStudent(TaskKind kind, const std::string& id, bool paused) {
  if (!m_opened || (kind != TaskKind::Video && kind != TaskKind::Document)) return;
  const bool video = kind == TaskKind::Video;
  auto update = SqlStatement::Prepare(m_db.get(), std::string("update ") + (video ? "lesson" : "docment") +
                                                      " set paused = ?1 where " +
                                                      (video ? "lessonid" : "did") + " == ?2");
  if (!update) return;
  update->BindText(1, paused ? "1" : "0");
  update->BindText(2, id);
  if (!update->Execute()) LogError(L"CourseDB: cannot store the pause of " + AnsiToWide(id));
}

void CourseDB::DeleteLesson(const std::string& lessonId) { DeleteItem("lesson", "lessonid", lessonId); }

void CourseDB::DeleteDoc(const std::string& documentId) { DeleteItem("docment", "did", documentId); }

void CourseDB::LoadItems(const char* table, const std::string& classId, const std::string& className,
                         HWND window, TaskKind kind) {
  if (!m_opened) return;
  const bool video = kind == TaskKind::Video;
  // Documents have no video: their id stands in so that both kinds read one shape.
  auto query = SqlStatement::Prepare(
      m_db.get(), std::string("select id, classid, ") + (video ? "lessonid" : "did") +
                      ", name, url, fsize, localFile, validator, fullSize, partFile, " +
                      (video ? "vid" : "did") + ", paused from " + table + " where classid == ?");
  if (!query) return;
  query->BindText(1, classId);
  while (query->Next()) {
    DownloadTask task;
    task.state = TaskState::Waiting;
    task.notifyWindow = window;
    task.id = query->ColumnText(2);
    task.classId = query->ColumnText(1);
    task.name = Utf8ToAnsi(query->ColumnText(3));
    task.className = className;
    task.url = Utf8ToAnsi(query->ColumnText(4));
    task.total = ParseSizeText(query->ColumnText(5));
    task.localFile = Utf8ToAnsi(query->ColumnText(6));
    task.kind = kind;
    task.validator = query->ColumnText(7);
    task.fullSize = ParseSizeText(query->ColumnText(8));
    task.partFile = Utf8ToAnsi(query->ColumnText(9));
    if (video) task.video = query->ColumnText(10);
    task.pausedByStudent = query->ColumnText(11) == "1";
    task.downloaded = DownloadedOnDisk(task);
    // No job runs for a restored task until the student starts it.
    if (!IsCompleteOnDisk(task)) task.state = TaskState::Paused;
    DownloadTaskList::Get().AppendTask(task, kind);
  }
}

bool CourseDB::HasItem(const char* table, const char* idColumn, const std::string& id) {
  if (!m_opened) return false;
  auto query = SqlStatement::Prepare(m_db.get(), std::string("select id, classid, ") + idColumn + " from " +
                                                     table + " where " + idColumn + " == ?");
  if (!query) return true;  // so that the insert that asked is skipped
  query->BindText(1, id);
  while (query->Next()) {
    if (query->ColumnText(2) == id) return true;
  }
  return false;
}

void CourseDB::InsertItem(const char* table, const std::string& classId, const std::string& id,
                          const std::string& fileName, const std::string& url, const std::string& sizeText,
                          const std::string& localPath) {
  auto insert =
      SqlStatement::Prepare(m_db.get(), std::string("insert into ") + table + " (id, classid, " +
                                            (std::string(table) == "lesson" ? "lessonid" : "did") +
                                            ", name, url, fsize, localFile) values (?, ?, ?, ?, ?, ?, ?)");
  if (!insert) return;
  insert->BindText(2, classId);
  insert->BindText(3, id);
  insert->BindText(4, AnsiToUtf8(fileName));
  insert->BindText(5, url);
  insert->BindText(6, sizeText);
  insert->BindText(7, localPath);
  if (!insert->Execute()) {
    LogError(L"insert into " + AnsiToWide(table) + L" " + AnsiToWide(classId) + L" false");
  }
}

void CourseDB::DeleteItem(const char* table, const char* idColumn, const std::string& id) {
  if (!m_opened) return;
  auto statement =
      SqlStatement::Prepare(m_db.get(), std::string("delete from ") + table + " where " + idColumn + " == ?");
  if (!statement) return;
  statement->BindText(1, id);
  statement->Execute();
}

bool CourseDB::AddPendingMoves(const std::vector<PendingMove>& moves) {
  if (!m_opened) return false;
  bool stored = true;
  BeginWrites();
  for (const PendingMove& move : moves) {
    auto insert = SqlStatement::Prepare(
        m_db.get(),
        "insert into pendingMove(kind, classid, taskid, source, target, newLocal, partial) "
        "values (?, ?, ?, ?, ?, ?, ?)");
    if (!insert) {
      stored = false;
      break;
    }
    insert->BindText(1, std::to_string(static_cast<int>(move.kind)));
    insert->BindText(2, move.classId);
    insert->BindText(3, move.id);
    insert->BindText(4, AnsiToUtf8(move.source));
    insert->BindText(5, AnsiToUtf8(move.target));
    insert->BindText(6, AnsiToUtf8(move.newLocal));
    insert->BindText(7, move.partial ? "1" : "0");
    stored = insert->Execute() && stored;
  }
  EndWrites();
  if (!stored) LogError(L"CourseDB: cannot store the planned file moves");
  return stored;
}

std::vector<PendingMove> CourseDB::PendingMoves() {
  std::vector<PendingMove> moves;
  if (!m_opened) return moves;
  auto query = SqlStatement::Prepare(
      m_db.get(),
      "select seq, kind, classid, taskid, source, target, newLocal, partial, pointed from pendingMove "
      "order by seq");
  if (!query) return moves;
  while (query->Next()) {
    PendingMove move;
    move.seq = ParseSizeText(query->ColumnText(0));
    move.kind = static_cast<TaskKind>(ParseSizeText(query->ColumnText(1)));
    move.classId = query->ColumnText(2);
    move.id = query->ColumnText(3);
    move.source = Utf8ToAnsi(query->ColumnText(4));
    move.target = Utf8ToAnsi(query->ColumnText(5));
    move.newLocal = Utf8ToAnsi(query->ColumnText(6));
    move.partial = query->ColumnText(7) == "1";
    move.pointed = query->ColumnText(8) == "1";
    moves.push_back(std::move(move));
  }
  return moves;
}

bool CourseDB::RetargetPendingMove(const PendingMove& move) {
  if (!m_opened) return false;
  auto update =
      SqlStatement::Prepare(m_db.get(), "update pendingMove set target = ?, newLocal = ? where seq = ?");
  if (!update) return false;
  update->BindText(1, AnsiToUtf8(move.target));
  update->BindText(2, AnsiToUtf8(move.newLocal));
  update->BindText(3, std::to_string(move.seq));
  return update->Execute();
}

bool CourseDB::PointTaskAt(const PendingMove& move) {
  if (!m_opened || (move.kind != TaskKind::Video && move.kind != TaskKind::Document)) return false;
  const bool video = move.kind == TaskKind::Video;
  // The old file is deleted right after this: the new name must be on disk first, even
  // across a power cut, so this one commit waits for the disk.
  sqlite3_exec(m_db.get(), "pragma synchronous = full", nullptr, nullptr, nullptr);
  BeginWrites();
  bool stored = false;
  auto update = SqlStatement::Prepare(
      m_db.get(), std::string("update ") + (video ? "lesson" : "docment") +
                      " set localFile = ?1, partFile = case when partFile == '' and ?2 == '0' "
                      "then '' else ?3 end where " +
                      (video ? "lessonid" : "did") + " == ?4");
  auto mark = SqlStatement::Prepare(m_db.get(), "update pendingMove set pointed = 1 where seq = ?");
  if (update && mark) {
    update->BindText(1, AnsiToUtf8(move.newLocal));
    update->BindText(2, move.partial ? "1" : "0");
    update->BindText(3, AnsiToUtf8(PartFileOf(move.newLocal)));
    update->BindText(4, move.id);
    mark->BindText(1, std::to_string(move.seq));
    stored = update->Execute() && mark->Execute();
  }
  if (!stored) sqlite3_exec(m_db.get(), "rollback", nullptr, nullptr, nullptr);
  EndWrites();
  sqlite3_exec(m_db.get(), "pragma synchronous = normal", nullptr, nullptr, nullptr);
  if (!stored) LogError(L"CourseDB: cannot point " + AnsiToWide(move.id) + L" at its moved file");
  return stored;
}

void CourseDB::DropPendingMove(std::int64_t seq) {
  if (!m_opened) return;
  auto remove = SqlStatement::Prepare(m_db.get(), "delete from pendingMove where seq = ?");
  if (!remove) return;
  remove->BindText(1, std::to_string(seq));
  if (!remove->Execute()) LogError(L"CourseDB: cannot end the file move " + std::to_wstring(seq));
}
