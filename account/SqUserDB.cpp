// The password store over SQLite, with bound values only.
#include "account/SqUserDB.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

Statement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  return Statement(statement);
}

bool BindText(sqlite3_stmt* statement, int index, const std::string& text) {
  return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) ==
         SQLITE_OK;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text == nullptr ? std::string()
                         : std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

// Creates the file empty with mode 0600 (or narrows an existing one) before SQLite opens
// it; SQLite gives its journal files the database file's mode.
void RestrictToOwner(const std::string& folder, const std::string& path) {
  chmod(folder.c_str(), 0700);
  // The file is the user's own: a mode that shut the user out is put right first.
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) chmod(path.c_str(), 0600);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) {
    fchmod(fd, 0600);
    close(fd);
  }
}

std::unique_ptr<SqUserDB>& Instance() {
  static std::unique_ptr<SqUserDB> instance;
  return instance;
}

}  // namespace

SqUserDB& SqUserDB::Get() {
  std::unique_ptr<SqUserDB>& instance = Instance();
  if (!instance) instance.reset(new SqUserDB());
  return *instance;
}

void SqUserDB::Release() { Instance().reset(); }

SqUserDB::SqUserDB() {
  const std::string folder = WideToAnsi(GetPasswordStoreFolder());
  const std::string path = folder + "squser.db";
  RestrictToOwner(folder, path);
  if (OpenStore(path)) return;
  // Nothing at the path to move aside: its folder is missing or cannot be written.
  if (access(path.c_str(), F_OK) != 0) return;
  // The saved passwords are kept in the old file; signing in works again with a new one.
  if (MoveAsideDamaged(path).empty()) return;
  RestrictToOwner(folder, path);
  OpenStore(path);
}

bool SqUserDB::OpenStore(const std::string& path) {
  if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    LogError(L"Open db " + AnsiToWide(path) + L" false");
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  // A blanked or deleted password is overwritten in the file, not only unlinked from it.
  sqlite3_exec(m_db, "pragma secure_delete = on", nullptr, nullptr, nullptr);
  // Fails harmlessly when the table already exists.
  sqlite3_exec(m_db,
               "create table user(id INTEGER PRIMARY KEY AUTOINCREMENT,username text,password "
               "text);",
               nullptr, nullptr, nullptr);
  // Which account folder a sign-in name of another name leads to (offline starts).
  sqlite3_exec(m_db, "create table if not exists signInFolder(username text primary key, folder text not null);",
               nullptr, nullptr, nullptr);
  Statement quick = Prepare(m_db, "pragma quick_check");
  const bool intact = quick && sqlite3_step(quick.get()) == SQLITE_ROW && ColumnText(quick.get(), 0) == "ok";
  quick.reset();
  if (!intact || !Prepare(m_db, "select id, username, password from user limit 0")) {
    LogError(L"password store unusable: " + AnsiToWide(path));
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  m_opened = true;
  return true;
}

SqUserDB::~SqUserDB() { sqlite3_close(m_db); }

bool SqUserDB::HasAccount(const std::string& name) {
  if (!m_opened) return false;
  Statement statement = Prepare(m_db, "select 1 from user where username = ? limit 1");
  return statement && BindText(statement.get(), 1, name) && sqlite3_step(statement.get()) == SQLITE_ROW;
}

void SqUserDB::Save(const std::string& name) {
  if (!m_opened) return;
  if (HasAccount(name)) {
    BlankPassword(name);
    return;
  }
  // The id is left unbound: SQLite assigns it.
  Statement statement = Prepare(m_db, "insert into user values (?, ?, '')");
  if (!statement || !BindText(statement.get(), 2, name) || sqlite3_step(statement.get()) != SQLITE_DONE) {
    LogError(L"insert into user " + AnsiToWide(name) + L" false");
  }
}

void SqUserDB::Remove(const std::string& name) {
  if (!m_opened) return;
  Statement statement = Prepare(m_db, "delete from user where username = ?");
  if (statement && BindText(statement.get(), 1, name)) sqlite3_step(statement.get());
  RemoveFolder(name);
}

std::string SqUserDB::FolderOf(const std::string& name) {
  if (!m_opened) return {};
  Statement statement = Prepare(m_db, "select folder from signInFolder where username = ?");
  if (!statement || !BindText(statement.get(), 1, name) || sqlite3_step(statement.get()) != SQLITE_ROW) return {};
  return ColumnText(statement.get(), 0);
}

void SqUserDB::SetFolder(const std::string& name, const std::string& folder) {
  if (!m_opened) return;
  Statement statement = Prepare(m_db, "insert or replace into signInFolder(username, folder) values (?, ?)");
  if (!statement || !BindText(statement.get(), 1, name) || !BindText(statement.get(), 2, folder) ||
      sqlite3_step(statement.get()) != SQLITE_DONE)
    LogError(L"the folder of sign-in name " + AnsiToWide(name) + L" not kept");
}

void SqUserDB::RemoveFolder(const std::string& name) {
  if (!m_opened) return;
  Statement statement = Prepare(m_db, "delete from signInFolder where username = ?");
  if (statement && BindText(statement.get(), 1, name)) sqlite3_step(statement.get());
}

std::vector<SqUserDB::ClearTextPassword> SqUserDB::FindClearTextPasswords() {
  std::vector<ClearTextPassword> rows;
  if (!m_opened) return rows;
  Statement statement =
      Prepare(m_db, "select username, password from user where password is not null and password != '' order by id");
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
    rows.push_back({ColumnText(statement.get(), 0), ColumnText(statement.get(), 1)});
  }
  return rows;
}

void SqUserDB::BlankPassword(const std::string& name) {
  if (!m_opened) return;
  Statement statement = Prepare(m_db, "update user set password = '' where username = ?");
  if (!statement || !BindText(statement.get(), 1, name) || sqlite3_step(statement.get()) != SQLITE_DONE) {
    LogError(L"blank password of " + AnsiToWide(name) + L" false");
  }
}
