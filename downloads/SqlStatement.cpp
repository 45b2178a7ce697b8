// The prepared-statement wrapper over the SQLite C interface.
#include "downloads/SqlStatement.h"

#include <sqlite3.h>

void SqlStatement::Finalizer::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

std::optional<SqlStatement> SqlStatement::Prepare(sqlite3* db, std::string_view text) {
  if (!db) return std::nullopt;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, text.data(), static_cast<int>(text.size()), &statement, nullptr) != SQLITE_OK ||
      !statement) {
    sqlite3_finalize(statement);
    return std::nullopt;
  }
  return SqlStatement(statement);
}

bool SqlStatement::BindText(int position, std::string_view value) {
  return sqlite3_bind_text(m_statement.get(), position, value.data(), static_cast<int>(value.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

bool SqlStatement::Execute() { return sqlite3_step(m_statement.get()) == SQLITE_DONE; }

bool SqlStatement::Next() { return sqlite3_step(m_statement.get()) == SQLITE_ROW; }

std::string SqlStatement::ColumnText(int column) const {
  const auto* text = sqlite3_column_text(m_statement.get(), column);
  if (!text) return {};
  const int size = sqlite3_column_bytes(m_statement.get(), column);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}
