// Opening a store in course.db.
#include "downloads/CourseStore.h"

#include <sqlite3.h>

#include "app/Log.h"
#include "app/TextConv.h"

void CourseStoreCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

CourseStoreConnection OpenCourseStore(const std::wstring& path, const char* schema, const std::wstring& what) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(WideToUtf8(path).c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  CourseStoreConnection db(raw);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(raw, 2000);
  if (rc != SQLITE_OK || sqlite3_exec(raw, schema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError(what + L" not opened: " + path);
    return nullptr;
  }
  return db;
}
