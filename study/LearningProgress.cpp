// The furthest points of the lessons.
#include "study/LearningProgress.h"

#include <sqlite3.h>

#include <algorithm>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/SqlStatement.h"

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS furthestPoint ("
    " account TEXT NOT NULL, lessonId TEXT NOT NULL, seconds INTEGER NOT NULL,"
    " PRIMARY KEY(account, lessonId))";

int64_t ReadInteger(const std::string& text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    if (value > (INT64_MAX - 9) / 10) return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

void LearningProgress::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

LearningProgress::LearningProgress(const std::wstring& path) {
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(WideToUtf8(path).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  m_db.reset(db);
  // course.db has other connections (downloads, the unsent queue): even the schema waits for them briefly.
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db, 2000);
  if (rc != SQLITE_OK || sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError(L"learning progress store not opened, kept for this run only: " + path);
    m_db.reset();
    return;
  }
}

LearningProgress::~LearningProgress() = default;

int64_t LearningProgress::FurthestOf(const std::string& account, const std::string& lessonId) {
  const auto key = std::make_pair(account, lessonId);
  if (const auto it = m_points.find(key); it != m_points.end()) return it->second;
  int64_t seconds = 0;
  if (m_db) {
    if (auto select = SqlStatement::Prepare(
            m_db.get(), "SELECT seconds FROM furthestPoint WHERE account=? AND lessonId=?")) {
      select->BindText(1, account);
      select->BindText(2, lessonId);
      if (select->Next()) seconds = ReadInteger(select->ColumnText(0));
    }
  }
  m_points[key] = seconds;
  return seconds;
}

int64_t LearningProgress::Reach(const std::string& account, const std::string& lessonId, int64_t seconds) {
  const int64_t before = FurthestOf(account, lessonId);
  if (seconds <= before) return before;
  m_points[{account, lessonId}] = seconds;
  if (m_db) {
    auto upsert = SqlStatement::Prepare(
        m_db.get(),
        "INSERT INTO furthestPoint(account, lessonId, seconds) VALUES(?,?,?)"
        " ON CONFLICT(account, lessonId) DO UPDATE SET seconds=max(seconds, excluded.seconds)");
    if (!upsert || !upsert->BindText(1, account) || !upsert->BindText(2, lessonId) ||
        !upsert->BindText(3, std::to_string(seconds)) || !upsert->Execute())
      LogError(L"learning progress of lesson " + AnsiToWide(lessonId) + L" not stored");
  }
  return seconds;
}
