// The notes store.
#include "study/NoteBook.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/SqlStatement.h"

namespace {

// The search index reads this table too and creates it with the same statement.
constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS notes(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, itemId TEXT NOT NULL, "
    "classId TEXT NOT NULL DEFAULT '', title TEXT NOT NULL DEFAULT '', position INTEGER NOT NULL DEFAULT 0, "
    "text TEXT NOT NULL DEFAULT '', createdAt INTEGER NOT NULL)";

const char* KindName(NoteKind kind) { return kind == NoteKind::Document ? "document" : "lesson"; }

std::optional<NoteKind> KindOf(const std::string& name) {
  if (name == "lesson") return NoteKind::Lesson;
  if (name == "document") return NoteKind::Document;
  return std::nullopt;
}

// A stored integer; a damaged value reads as 0.
int64_t ReadInteger(const std::string& text) {
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

NoteBook::NoteBook(const std::wstring& path) : m_db(OpenCourseStore(path, kSchema, L"notes store")) {}

NoteBook::~NoteBook() = default;

std::optional<int64_t> NoteBook::Add(Note note) {
  if (!m_db || note.itemId.empty()) {
    LogError(L"note not kept: " + std::wstring(m_db ? L"it names no lesson or document" : L"no notes store"));
    return std::nullopt;
  }
  if (note.createdAt == 0) note.createdAt = static_cast<int64_t>(std::time(nullptr));
  if (note.position < 0) note.position = 0;
  auto insert = SqlStatement::Prepare(
      m_db.get(), "INSERT INTO notes(kind, itemId, classId, title, position, text, createdAt) VALUES(?,?,?,?,?,?,?)");
  if (!insert || !insert->BindText(1, KindName(note.kind)) || !insert->BindText(2, note.itemId) ||
      !insert->BindText(3, note.classId) || !insert->BindText(4, note.title) ||
      !insert->BindText(5, std::to_string(note.position)) ||
      !insert->BindText(6, CutUtf8(note.text, kMaxTextChars)) ||
      !insert->BindText(7, std::to_string(note.createdAt)) || !insert->Execute()) {
    LogError(L"note on " + AnsiToWide(note.itemId) + L" not kept");
    return std::nullopt;
  }
  return static_cast<int64_t>(sqlite3_last_insert_rowid(m_db.get()));
}

std::vector<Note> NoteBook::All() const {
  std::vector<Note> notes;
  if (!m_db) return notes;
  auto select = SqlStatement::Prepare(
      m_db.get(),
      "SELECT id, kind, itemId, classId, title, position, text, createdAt FROM notes ORDER BY createdAt DESC, id DESC");
  if (!select) return notes;
  while (select->Next()) {
    const std::optional<NoteKind> kind = KindOf(select->ColumnText(1));
    if (!kind) {
      LogError(L"note " + AnsiToWide(select->ColumnText(0)) + L" of an unknown kind skipped");
      continue;
    }
    Note note;
    note.id = ReadInteger(select->ColumnText(0));
    note.kind = *kind;
    note.itemId = select->ColumnText(2);
    note.classId = select->ColumnText(3);
    note.title = select->ColumnText(4);
    note.position = ReadInteger(select->ColumnText(5));
    note.text = select->ColumnText(6);
    note.createdAt = ReadInteger(select->ColumnText(7));
    notes.push_back(std::move(note));
  }
  return notes;
}

bool NoteBook::Remove(int64_t id) {
  if (!m_db) return false;
  auto remove = SqlStatement::Prepare(m_db.get(), "DELETE FROM notes WHERE id=?");
  if (!remove || !remove->BindText(1, std::to_string(id)) || !remove->Execute()) {
    LogError(L"note " + std::to_wstring(id) + L" not removed");
    return false;
  }
  return sqlite3_changes(m_db.get()) > 0;
}

std::string FormatMoment(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t h = seconds / 3600;
  const int64_t m = seconds / 60 % 60;
  const int64_t s = seconds % 60;
  char text[32];
  if (h > 0)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(h), static_cast<long long>(m),
                  static_cast<long long>(s));
  else
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(m), static_cast<long long>(s));
  return text;
}

std::string CutUtf8(const std::string& text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // A byte that starts a character (not 10xxxxxx).
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == maxChars) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}
