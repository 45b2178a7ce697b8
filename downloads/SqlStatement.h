// One prepared SQLite statement, finalized when the object goes. Values always travel as
// bound parameters, never spliced into the statement text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class SqlStatement {
 public:
  // Prepares the whole text; nothing when it cannot be prepared.
  static std::optional<SqlStatement> Prepare(sqlite3* db, std::string_view text);

  // Binds UTF-8 text at a 1-based position; the database copies it at once.
  bool BindText(int position, std::string_view value);
  // Steps once; true only when the statement reports that it is done.
  bool Execute();
  // Steps to the next row; false when there is none (or on an error).
  bool Next();
  // A column of the current row as bytes; a NULL column reads as empty text.
  std::string ColumnText(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* statement) const;
  };
  explicit SqlStatement(sqlite3_stmt* statement) : m_statement(statement) {}
  std::unique_ptr<sqlite3_stmt, Finalizer> m_statement;
};
