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

LearningProgress::LearningProgress(const std::wstring& path)
    : m_db(OpenCourseStore(path, kSchema, L"learning progress store (kept for this run only)")) {}

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
