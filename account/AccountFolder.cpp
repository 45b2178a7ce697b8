// Choosing an account's data folder and merging an earlier sign-in's folder into it.
#include "account/AccountFolder.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/SqlStatement.h"
#include "service/AccountParsers.h"
#include "service/Records.h"

namespace fs = std::filesystem;

namespace {

// Long enough for any account or mobile number; short enough for every file system.
constexpr size_t kMaxNameBytes = 128;
// What the program keeps in <data root>/tavo/ beside the account folders.
constexpr const char* kProgramOwnNames[] = {"SqUserDB", "webkit", "DownSetConfig.ini"};
// course.db and the files SQLite keeps beside it: merged by rows, never moved as files.
constexpr const char* kDatabaseFiles[] = {"course.db", "course.db-journal", "course.db-wal", "course.db-shm"};

// A name as it may go into a log line: control characters become "?".
std::wstring Printable(const std::string& text) {
  std::wstring wide = AnsiToWide(text);
  for (wchar_t& c : wide) {
    if (c < 0x20 || c == 0x7F) c = L'?';
  }
  return wide;
}

std::wstring Wide(const fs::path& path) { return AnsiToWide(path.string()); }

bool IsDatabaseFile(const fs::path& relative) {
  if (relative.parent_path() != "db") return false;
  const std::string name = relative.filename().string();
  return std::any_of(std::begin(kDatabaseFiles), std::end(kDatabaseFiles),
                     [&](const char* file) { return name == file; });
}

// Moves a file to a free name: 0, or the errno of the failure (EEXIST when the name is taken).
int MoveWithoutReplacing(const fs::path& source, const fs::path& target) {
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace rename: a hard link never replaces either.
  if (link(source.c_str(), target.c_str()) != 0) return errno;
  if (unlink(source.c_str()) != 0) {
    const int error = errno;
    unlink(target.c_str());
    return error;
  }
  return 0;
}

std::string Quoted(const std::string& identifier) {
  std::string quoted = "\"";
  for (char c : identifier) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

// What identifies a row of each table of course.db, and the column (if any) that holds
// the name the account signed in with.
struct TableKey {
  const char* table;
  std::vector<std::string> keys;
  const char* accountColumn;
};
const TableKey kTableKeys[] = {
    {"class", {"classid", "type"}, nullptr},
    {"lesson", {"lessonid"}, nullptr},
    {"docment", {"did"}, nullptr},
    {"downset", {"username"}, "username"},
    {"furthestPoint", {"account", "lessonId"}, "account"},
    {"unsentProgress", {"account", "lessonId"}, "account"},
    {"catalogueCache", {"account", "item"}, "account"},
    {"offlineSignIn", {"account"}, "account"},
    {"pendingMove", {"kind", "classid", "taskid"}, nullptr},
    {"pdfPage", {"docId", "page"}, nullptr},
    // A note is the same note in both files when it marks the same place at the same time.
    {"notes", {"kind", "itemId", "position", "createdAt"}, nullptr},
};

// The search index's tables (and the full-text table's own shadow tables) are made from
// the other tables: they are not carried over but rebuilt from the merged rows.
bool IsDerivedTable(const std::string& table) { return table.rfind("search", 0) == 0; }

struct Column {
  std::string name;
  bool rowAlias = false;  // the INTEGER PRIMARY KEY: each file numbers its own rows
};

std::vector<Column> TableColumns(sqlite3* db, const std::string& table, const char* schema) {
  std::vector<Column> columns;
  auto info = SqlStatement::Prepare(db, "select name, upper(type), pk from pragma_table_info(?1, ?2)");
  if (!info) return columns;
  info->BindText(1, table);
  info->BindText(2, schema);
  int keyColumns = 0;
  while (info->Next()) {
    columns.push_back({info->ColumnText(0), info->ColumnText(2) != "0" && info->ColumnText(1) == "INTEGER"});
    if (info->ColumnText(2) != "0") ++keyColumns;
  }
  if (keyColumns > 1) {
    for (Column& column : columns) column.rowAlias = false;
  }
  return columns;
}

bool Exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// Carries the rows of one table of the attached earlier file into the account's file;
// false when the table cannot be merged (it is then left to the earlier file).
bool MergeTable(sqlite3* db, const std::string& table, const std::string& createSql,
                const std::string& fromName, const std::string& toName, int& rows) {
  const TableKey* key = nullptr;
  for (const TableKey& k : kTableKeys) {
    if (table == k.table) key = &k;
  }
  std::vector<Column> target = TableColumns(db, table, "main");
  if (target.empty()) {
    // A table the account's file does not have yet comes over whole.
    if (sqlite3_exec(db, createSql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    target = TableColumns(db, table, "main");
  } else if (key == nullptr) {
    LogError(L"course.db table " + Printable(table) + L" is not merged: the program does not know its rows");
    return false;
  }
  const std::vector<Column> source = TableColumns(db, table, "old");
  std::vector<std::string> names;
  std::string exprs;
  std::string columns;
  for (const Column& column : source) {
    const bool inTarget =
        std::any_of(target.begin(), target.end(), [&](const Column& c) { return c.name == column.name; });
    if (column.rowAlias || !inTarget) continue;
    names.push_back(column.name);
    if (!columns.empty()) {
      columns += ",";
      exprs += ",";
    }
    columns += Quoted(column.name);
    if (key && key->accountColumn && column.name == key->accountColumn)
      exprs += "case when o." + Quoted(column.name) + " = ?1 then ?2 else o." + Quoted(column.name) + " end";
    else
      exprs += "o." + Quoted(column.name);
  }
  if (names.empty()) return true;
  std::string sql = "insert or ignore into main." + Quoted(table) + " (" + columns + ") select " + exprs +
                    " from old." + Quoted(table) + " o";
  if (key) {
    std::string match;
    for (const std::string& k : key->keys) {
      if (std::find(names.begin(), names.end(), k) == names.end()) return false;
      std::string value = "o." + Quoted(k);
      if (key->accountColumn && k == key->accountColumn)
        value = "(case when " + value + " = ?1 then ?2 else " + value + " end)";
      match += std::string(match.empty() ? "" : " and ") + "m." + Quoted(k) + " is " + value;
    }
    sql += " where not exists (select 1 from main." + Quoted(table) + " m where " + match + ")";
  }
  auto insert = SqlStatement::Prepare(db, sql);
  if (!insert) return false;
  insert->BindText(1, fromName);
  insert->BindText(2, toName);
  if (!insert->Execute()) return false;
  rows += sqlite3_changes(db);
  return true;
}

// Points the tasks of the account's file whose file was moved from `from` to `to` at the
// file's new place: a stored path under `from` that is gone there and present under `to`.
bool RepointTasks(sqlite3* db, const fs::path& from, const fs::path& to) {
  for (const char* table : {"lesson", "docment"}) {
    for (const char* column : {"localFile", "partFile"}) {
      auto read =
          SqlStatement::Prepare(db, "select rowid, " + Quoted(column) + " from main." + Quoted(table));
      if (!read) continue;  // an older file without that column
      std::vector<std::pair<std::string, std::string>> moved;
      while (read->Next()) {
        const fs::path stored = fs::path(read->ColumnText(1)).lexically_normal();
        const fs::path relative = stored.lexically_relative(from);
        if (stored.empty() || relative.empty() || *relative.begin() == "..") continue;
        std::error_code ec;
        if (fs::exists(fs::symlink_status(stored, ec)) || !fs::exists(fs::symlink_status(to / relative, ec)))
          continue;
        moved.emplace_back(read->ColumnText(0), (to / relative).string());
      }
      for (const auto& [row, path] : moved) {
        auto update = SqlStatement::Prepare(
            db, "update main." + Quoted(table) + " set " + Quoted(column) + " = ?1 where rowid = ?2");
        if (!update || !update->BindText(1, path) || !update->BindText(2, row) || !update->Execute())
          return false;
      }
    }
  }
  return true;
}

// Carries course.db of the earlier folder into the account's, in one transaction; the
// earlier file goes once all of it is carried over.
void MergeCourseDb(const fs::path& from, const std::string& fromName, const fs::path& to,
                   const std::string& toName, FolderMerge& merge) {
  const fs::path source = from / "db" / "course.db";
  std::error_code ec;
  if (!fs::is_regular_file(fs::symlink_status(source, ec))) return;
  const fs::path target = to / "db" / "course.db";
  EnsureFolder(Wide(target.parent_path()));
  {
    // Both files gain the program's current tables and columns first.
    CourseDB earlier(Wide(source));
    earlier.Open();
    earlier.CreateTables();
    CourseDB account(Wide(target));
    account.OpenChecked();
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(target.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  std::unique_ptr<sqlite3, DbCloser> db(raw);
  bool ok = rc == SQLITE_OK;
  if (ok) {
    // The account's file may have another connection (the downloads, the unsent queue).
    sqlite3_busy_timeout(db.get(), 5000);
    auto attach = SqlStatement::Prepare(db.get(), "attach database ?1 as old");
    ok = attach && attach->BindText(1, source.string()) && attach->Execute() &&
         Exec(db.get(), "begin immediate");
  }
  bool complete = ok;
  int rows = 0;
  if (ok) {
    auto tables = SqlStatement::Prepare(
        db.get(),
        "select name, sql from old.sqlite_master where type = 'table' and name not like 'sqlite_%'");
    std::vector<std::pair<std::string, std::string>> found;
    while (tables && tables->Next()) found.emplace_back(tables->ColumnText(0), tables->ColumnText(1));
    ok = tables.has_value();
    for (const auto& [table, createSql] : found) {
      if (!ok) break;
      if (IsDerivedTable(table)) continue;
      const int savedRows = rows;
      if (!MergeTable(db.get(), table, createSql, fromName, toName, rows)) {
        complete = false;
        rows = savedRows;
      }
    }
    ok = ok && RepointTasks(db.get(), from, to) && Exec(db.get(), "commit");
    if (!ok) Exec(db.get(), "rollback");
  }
  if (!ok) {
    LogError(L"course.db of " + Printable(fromName) + L" not merged: " +
             Utf8ToWide(db ? sqlite3_errmsg(db.get()) : "cannot open " + target.string()));
    merge.databaseKept = true;
    return;
  }
  merge.carriedRows = rows;
  Exec(db.get(), "detach database old");
  db.reset();
  if (!complete) {
    merge.databaseKept = true;
    return;
  }
  for (const char* file : kDatabaseFiles) fs::remove(from / "db" / file, ec);
}

}  // namespace

std::wstring AccountNameProblem(const std::string& name) {
  if (name.empty()) return L"the name is empty";
  if (name == "." || name == "..") return L"the name is a folder of its own";
  if (name.front() == '.') return L"the name starts with a dot";
  if (name.size() > kMaxNameBytes)
    return L"the name is longer than " + std::to_wstring(kMaxNameBytes) + L" bytes";
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') return L"the name holds a slash";
    if (c < 0x20 || c == 0x7F) return L"the name holds a control character";
  }
  for (const char* own : kProgramOwnNames) {
    if (name.compare(0, std::strlen(own), own) == 0) return L"the name is one of the program's own folders";
  }
  return {};
}

FolderMerge MergeAccountFolder(const fs::path& from, const std::string& fromName, const fs::path& to,
                               const std::string& toName) {
  FolderMerge merge;
  std::vector<fs::path> folders;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(from);
    std::error_code statusError;
    const fs::file_status status = it->symlink_status(statusError);
    if (fs::is_directory(status)) {
      folders.push_back(it->path());
      continue;
    }
    if (IsDatabaseFile(relative)) continue;
    if (!fs::is_regular_file(status)) {
      LogNormal(L"kept " + Printable(relative.string()) + L" in the folder of " + Printable(fromName) +
                L": not a plain file");
      ++merge.keptFiles;
      continue;
    }
    const fs::path target = to / relative;
    EnsureFolder(Wide(target.parent_path()));
    const int error = MoveWithoutReplacing(it->path(), target);
    if (error == 0) {
      ++merge.movedFiles;
    } else if (error == EEXIST) {
      LogNormal(L"kept " + Printable(relative.string()) + L" in the folder of " + Printable(fromName) +
                L": " + Printable(toName) + L" has a file of that name");
      ++merge.keptFiles;
    } else {
      LogError(L"kept " + Printable(relative.string()) + L" in the folder of " + Printable(fromName) + L": " +
               AnsiToWide(std::strerror(error)));
      ++merge.keptFiles;
    }
  }
  if (ec) LogError(L"merging the folder of " + Printable(fromName) + L": " + AnsiToWide(ec.message()));

  MergeCourseDb(from, fromName, to, toName, merge);

  // Deepest first; a folder that still holds something stays.
  std::sort(folders.begin(), folders.end(),
            [](const fs::path& a, const fs::path& b) { return a.string().size() > b.string().size(); });
  for (const fs::path& folder : folders) rmdir(folder.c_str());
  rmdir(from.c_str());

  LogNormal(L"merged the data folder of " + Printable(fromName) + L" into that of " + Printable(toName) +
            L": " + std::to_wstring(merge.movedFiles) + L" files moved, " + std::to_wstring(merge.keptFiles) +
            L" left where they were, " + std::to_wstring(merge.carriedRows) +
            L" course.db rows carried over" + (merge.databaseKept ? L", its course.db kept" : L""));
  return merge;
}

std::string PrepareAccountFolder(const std::string& loginAnswer, const std::string& signInName) {
  AccountRecord record;
  if (!ParseLoginRecordAnswer(loginAnswer, record)) return {};
  if (const std::wstring problem = AccountNameProblem(record.username); !problem.empty()) {
    LogError(L"the account name \"" + Printable(record.username) + L"\" cannot name a data folder: " +
             problem);
    return {};
  }
  const std::string root = WideToAnsi(GetDataRoot());
  if (root.empty()) return record.username;
  const fs::path base = fs::path(root) / "tavo";
  const fs::path to = base / record.username;
  std::vector<std::string> earlier;
  for (const std::string& name : {signInName, record.mobile}) {
    if (name != record.username && AccountNameProblem(name).empty() &&
        std::find(earlier.begin(), earlier.end(), name) == earlier.end())
      earlier.push_back(name);
  }
  for (const std::string& name : earlier) {
    std::error_code ec;
    // Only a real folder: a link could lead anywhere.
    if (!fs::is_directory(fs::symlink_status(base / name, ec))) continue;
    EnsureFolder(Wide(to));
    MergeAccountFolder(base / name, name, to, record.username);
  }
  return record.username;
}
