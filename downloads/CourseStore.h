// A connection to an account's course.db for one of the stores kept in it. The file has
// several writers (download records, progress, the unsent queue, notes), so every connection
// waits briefly for the others, even while it creates its tables.
#pragma once

#include <memory>
#include <string>

struct sqlite3;

struct CourseStoreCloser {
  void operator()(sqlite3* db) const;
};
using CourseStoreConnection = std::unique_ptr<sqlite3, CourseStoreCloser>;

// Opens `path` (created when missing) and runs `schema`; null, with a log line naming the
// store (`what`), when either fails.
CourseStoreConnection OpenCourseStore(const std::wstring& path, const char* schema, const std::wstring& what);
