// The search index over the account's course.db.
#include "study/SearchIndex.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"

namespace {

// pdfPage keeps what extraction produced (costly to make again); the search* tables are
// derived from the kept catalogue, the notes and pdfPage. The notes table is the notes'
// own and is read only once they made it.
constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS pdfPage(docId TEXT NOT NULL, classId TEXT NOT NULL DEFAULT '',"
    " title TEXT NOT NULL DEFAULT '', page INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY(docId, page));"
    "CREATE TABLE IF NOT EXISTS searchEntry(id INTEGER PRIMARY KEY, kind INTEGER NOT NULL,"
    " itemId TEXT NOT NULL, classId TEXT NOT NULL, page INTEGER NOT NULL, title TEXT NOT NULL,"
    " body TEXT NOT NULL, detail TEXT NOT NULL, source TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS searchEntryBySource ON searchEntry(source);"
    "CREATE INDEX IF NOT EXISTS searchEntryByKind ON searchEntry(kind);"
    "CREATE TABLE IF NOT EXISTS searchSource(source TEXT PRIMARY KEY, version TEXT NOT NULL);";

// One full-text table per kind, so a word common in lesson titles does not slow finding
// the few classes that have it: each kind's matches come from its own table in the order
// they were indexed, and a search stops at the last one it shows. Classes, lessons and
// documents are found by title, notes and pages by their text.
constexpr const char* kKindTables[] = {"searchClassText", "searchLessonText", "searchDocumentText",
                                       "searchNoteText", "searchPageText"};

std::string KindTableSchema(int kind) {
  const std::string table = kKindTables[kind];
  const std::string column = kind < 3 ? "title" : "body";
  const auto with = [&](const char* row) { return std::string(" WHEN ") + row + ".kind = " + std::to_string(kind); };
  return "CREATE VIRTUAL TABLE IF NOT EXISTS " + table + " USING fts5(" + column +
         ", content='searchEntry', content_rowid='id', tokenize='trigram');"
         "CREATE TRIGGER IF NOT EXISTS " + table + "Added AFTER INSERT ON searchEntry" + with("new") +
         " BEGIN INSERT INTO " + table + "(rowid, " + column + ") VALUES(new.id, new." + column + "); END;"
         "CREATE TRIGGER IF NOT EXISTS " + table + "Removed AFTER DELETE ON searchEntry" + with("old") +
         " BEGIN INSERT INTO " + table + "(" + table + ", rowid, " + column + ") VALUES('delete', old.id, old." +
         column + "); END;";
}

constexpr size_t kMaxTerms = 8;
constexpr size_t kMaxTermCodePoints = 64;
// Trigrams need three characters; shorter words are looked for with LIKE.
constexpr size_t kTrigram = 3;
constexpr size_t kExcerptBefore = 16;
constexpr size_t kExcerptAfter = 48;

// A prepared statement that can be run many times.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
      LogError(L"search index: statement not prepared: " + Utf8ToWide(sqlite3_errmsg(db)));
      m_stmt = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  explicit operator bool() const { return m_stmt != nullptr; }
  Statement& Bind(int position, std::string_view text) {
    sqlite3_bind_text(m_stmt, position, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int position, int64_t value) {
    sqlite3_bind_int64(m_stmt, position, value);
    return *this;
  }
  bool Next() {
    m_rc = m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR;
    return m_rc == SQLITE_ROW;
  }
  // Whether the last step failed (rather than reaching the end).
  bool Failed() const { return m_rc != SQLITE_ROW && m_rc != SQLITE_DONE; }
  // Runs to the end and makes the statement ready for the next values.
  bool Run() {
    const bool done = m_stmt && sqlite3_step(m_stmt) == SQLITE_DONE;
    Reset();
    return done;
  }
  void Reset() {
    if (!m_stmt) return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
  std::string Text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
  }
  int64_t Integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

 private:
  sqlite3_stmt* m_stmt = nullptr;
  int m_rc = SQLITE_DONE;
};

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool HasTable(sqlite3* db, const char* table) {
  Statement find(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1");
  return find && find.Bind(1, table).Next();
}

// FNV-1a: a version of a source's text that stays the same between runs.
void Mix(uint64_t& hash, std::string_view text) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  hash ^= 0xFF;  // a separator, so "ab"+"c" and "a"+"bc" differ
  hash *= 1099511628211ull;
}
constexpr uint64_t kFnvStart = 14695981039346656037ull;

// The length of the UTF-8 sequence starting at text[i] and its code point, or 0 when the
// bytes there are not a well-formed sequence.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not text.
  if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return length;
}

bool IsSeparator(char32_t cp) {
  return cp < 0x20 || cp == ' ' || cp == '"' || cp == 0x7F || cp == 0xA0 || cp == 0x3000 || (cp >= 0x80 && cp < 0xA0) ||
         (cp >= 0x2000 && cp <= 0x200B) || cp == 0x2028 || cp == 0x2029 || cp == 0xFEFF;
}

size_t CodePoints(std::string_view text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// A word as one FTS5 string: inside double quotes every character is literal but the
// quote itself, which is doubled.
std::string Phrase(std::string_view term) {
  std::string phrase = "\"";
  for (char c : term) {
    phrase += c;
    if (c == '"') phrase += '"';
  }
  return phrase + "\"";
}

// A LIKE pattern that finds `term` anywhere, with the pattern characters escaped.
std::string ContainsPattern(std::string_view term) {
  std::string pattern = "%";
  for (char c : term) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

// Moves `at` back or forward by `count` code points within `text`.
size_t StepBack(std::string_view text, size_t at, size_t count) {
  while (at > 0 && count > 0) {
    --at;
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) --count;
  }
  return at;
}
size_t StepForward(std::string_view text, size_t at, size_t count) {
  while (at < text.size() && count > 0) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    --count;
  }
  return at;
}

// The text around the first word found, white space runs as one space.
std::string Excerpt(std::string_view body, const std::vector<std::string>& terms) {
  std::string flat;
  flat.reserve(body.size());
  bool space = false;
  for (char c : body) {
    const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
    if (blank) {
      space = !flat.empty();
      continue;
    }
    if (space) flat += ' ';
    space = false;
    flat += c;
  }
  const std::string lower = AsciiLower(flat);
  size_t hit = std::string::npos;
  for (const std::string& term : terms) {
    hit = std::min(hit, lower.find(AsciiLower(term)));
  }
  if (hit == std::string::npos) hit = 0;
  const size_t from = StepBack(flat, hit, kExcerptBefore);
  const size_t to = StepForward(flat, hit, kExcerptAfter);
  std::string excerpt = from > 0 ? "…" : "";
  excerpt += flat.substr(from, to - from);
  if (to < flat.size()) excerpt += "…";
  return excerpt;
}

struct Entry {
  SearchKind kind;
  std::string itemId;
  std::string classId;
  int64_t page = 0;
  std::string title;
  std::string body;
  std::string detail;
};

// The classes and their documents of the kept subject tree, each once.
std::vector<Entry> SubjectEntries(const std::string& answer) {
  SubjectList list;
  if (!ParseMyCourseAnswerInto(answer, list)) {
    LogError(L"search index: the kept subject tree does not read, not indexed");
    return {};
  }
  std::vector<const ClassRecord*> classes;
  for (const ClassRecord& record : list.Classes) classes.push_back(&record);
  for (const auto& [exam, packages] : list.PackagesByExam) {
    for (const GroupPackageRecord& package : packages) {
      for (const SubjectEntry& subject : package.classes) {
        for (const ClassRecord& record : subject.classes) classes.push_back(&record);
      }
    }
  }
  std::vector<Entry> entries;
  std::set<std::string> seenClasses;
  std::set<std::string> seenDocs;
  for (const ClassRecord* record : classes) {
    if (record->id.empty()) continue;
    if (seenClasses.insert(record->id).second)
      entries.push_back({SearchKind::Class, record->id, "", 0, record->name, "", ""});
    // A class listed twice may carry its documents in one place only.
    for (const DocumentRecord& doc : record->jiangyi) {
      if (doc.id.empty() || !seenDocs.insert(doc.id).second) continue;
      entries.push_back({SearchKind::Document, doc.id, doc.class_id.empty() ? record->id : doc.class_id, 0,
                         doc.name, "", ""});
    }
  }
  return entries;
}

std::vector<Entry> LessonEntries(const std::string& classId, const std::string& answer) {
  ClassDetail detail;
  if (ParseClassDetailAnswer(answer, detail) != ClassDetailResult::Filled) {
    LogError(L"search index: the kept lessons of class " + AnsiToWide(classId) + L" do not read, not indexed");
    return {};
  }
  std::vector<Entry> entries;
  for (const LessonRecord& lesson : detail.lessons) {
    if (lesson.id.empty()) continue;
    entries.push_back({SearchKind::Lesson, lesson.id, classId, 0, lesson.name, "", ""});
  }
  return entries;
}

}  // namespace

std::vector<std::string> SearchTerms(std::string_view query) {
  std::vector<std::string> terms;
  std::string term;
  size_t termCodePoints = 0;
  const auto finish = [&] {
    if (!term.empty() && terms.size() < kMaxTerms) terms.push_back(term);
    term.clear();
    termCodePoints = 0;
  };
  for (size_t i = 0; i < query.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8(query, i, cp);
    if (length == 0) {
      ++i;  // a broken byte is dropped
      continue;
    }
    if (IsSeparator(cp)) {
      finish();
    } else if (termCodePoints < kMaxTermCodePoints) {
      term.append(query.substr(i, length));
      ++termCodePoints;
    }
    i += length;
  }
  finish();
  return terms;
}

void SearchIndex::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

SearchIndex::SearchIndex(const std::wstring& dbPath, std::string account) : m_account(std::move(account)) {
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(WideToUtf8(dbPath).c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  m_db.reset(raw);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(raw, 2000);  // the other writers of course.db hold it briefly
  bool schema = rc == SQLITE_OK && Exec(raw, kSchema);
  for (int kind = 0; schema && kind < 5; ++kind) schema = Exec(raw, KindTableSchema(kind).c_str());
  if (!schema) {
    LogError(L"search index not opened: " + dbPath + L": " + Utf8ToWide(raw ? sqlite3_errmsg(raw) : "no memory"));
    m_db.reset();
  }
}

SearchIndex SearchIndex::OfSignedInAccount() { return SearchIndex(GetDbFolder() + L"course.db", GetSignedInAccount()); }

SearchIndex::~SearchIndex() = default;
SearchIndex::SearchIndex(SearchIndex&&) noexcept = default;
SearchIndex& SearchIndex::operator=(SearchIndex&&) noexcept = default;

bool SearchIndex::Update() {
  if (!m_db) return false;
  sqlite3* db = m_db.get();
  if (!Exec(db, "BEGIN IMMEDIATE")) {
    LogError(L"search index: course.db is busy, not updated");
    return false;
  }
  std::map<std::string, std::string> stored;
  {
    Statement versions(db, "SELECT source, version FROM searchSource");
    while (versions.Next()) stored[versions.Text(0)] = versions.Text(1);
  }
  Statement drop(db, "DELETE FROM searchEntry WHERE source=?1");
  Statement insert(db,
                   "INSERT INTO searchEntry(kind, itemId, classId, page, title, body, detail, source)"
                   " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  Statement keep(db,
                 "INSERT INTO searchSource(source, version) VALUES(?1, ?2)"
                 " ON CONFLICT(source) DO UPDATE SET version=excluded.version");
  bool ok = drop && insert && keep;
  std::set<std::string> current;
  // Replaces a source's entries when its version changed.
  const auto refresh = [&](const std::string& source, const std::string& version, auto entries) {
    current.insert(source);
    if (!ok) return;
    if (auto it = stored.find(source); it != stored.end() && it->second == version) return;
    ok = drop.Bind(1, source).Run();
    for (const Entry& e : entries()) {
      if (!ok) break;
      ok = insert.Bind(1, static_cast<int64_t>(e.kind))
               .Bind(2, e.itemId)
               .Bind(3, e.classId)
               .Bind(4, e.page)
               .Bind(5, e.title)
               .Bind(6, e.body)
               .Bind(7, e.detail)
               .Bind(8, source)
               .Run();
    }
    ok = ok && keep.Bind(1, source).Bind(2, version).Run();
  };

  // The kept catalogue of the account.
  if (HasTable(db, "catalogueCache")) {
    Statement kept(db, "SELECT item, answer FROM catalogueCache WHERE account=?1");
    kept.Bind(1, m_account);
    while (ok && kept.Next()) {
      const std::string item = kept.Text(0);
      const std::string answer = kept.Text(1);
      uint64_t hash = kFnvStart;
      Mix(hash, answer);
      const std::string version = std::to_string(hash);
      if (item == "subjects") {
        refresh("catalogue:subjects", version, [&] { return SubjectEntries(answer); });
      } else if (item.rfind("class:", 0) == 0) {
        const std::string classId = item.substr(6);
        refresh("catalogue:" + item, version, [&] { return LessonEntries(classId, answer); });
      }
    }
  }
  // The notes, as one source: they are few.
  if (HasTable(db, "notes")) {
    std::vector<Entry> notes;
    uint64_t hash = kFnvStart;
    Statement read(db, "SELECT id, kind, itemId, classId, title, position, text FROM notes ORDER BY id");
    while (ok && read.Next()) {
      Entry e{SearchKind::Note, read.Text(2), read.Text(3), read.Integer(5), read.Text(4), read.Text(6), read.Text(1)};
      for (int column = 0; column < 7; ++column) Mix(hash, read.Text(column));
      notes.push_back(std::move(e));
    }
    refresh("notes", std::to_string(hash), [&] { return std::move(notes); });
  }
  // The pages of every extracted document.
  {
    Statement documents(db, "SELECT docId, count(*), total(length(text)), max(rowid) FROM pdfPage GROUP BY docId");
    Statement pages(db, "SELECT classId, title, page, text FROM pdfPage WHERE docId=?1 ORDER BY page");
    while (ok && documents.Next()) {
      const std::string docId = documents.Text(0);
      const std::string version = documents.Text(1) + ":" + documents.Text(2) + ":" + documents.Text(3);
      refresh("pdf:" + docId, version, [&] {
        std::vector<Entry> entries;
        pages.Bind(1, docId);
        while (pages.Next())
          entries.push_back({SearchKind::Page, docId, pages.Text(0), pages.Integer(2), pages.Text(1), pages.Text(3), ""});
        pages.Reset();
        return entries;
      });
    }
  }
  // Sources that are gone (a class no longer kept, pages forgotten) take their entries along.
  for (const auto& [source, version] : stored) {
    if (!ok) break;
    if (current.count(source)) continue;
    Statement forget(db, "DELETE FROM searchSource WHERE source=?1");
    ok = drop.Bind(1, source).Run() && forget.Bind(1, source).Run();
  }
  if (!ok || !Exec(db, "COMMIT")) {
    LogError(L"search index not updated: " + Utf8ToWide(sqlite3_errmsg(db)));
    Exec(db, "ROLLBACK");
    return false;
  }
  return true;
}

bool SearchIndex::StorePages(const std::string& docId, const std::string& classId, const std::string& title,
                             const std::vector<std::string>& pages) {
  if (!m_db) return false;
  sqlite3* db = m_db.get();
  if (!Exec(db, "BEGIN IMMEDIATE")) return false;
  bool ok;
  {
    Statement forget(db, "DELETE FROM pdfPage WHERE docId=?1");
    Statement insert(db, "INSERT INTO pdfPage(docId, classId, title, page, text) VALUES(?1, ?2, ?3, ?4, ?5)");
    ok = forget && insert && forget.Bind(1, docId).Run();
    for (size_t i = 0; ok && i < pages.size(); ++i) {
      ok = insert.Bind(1, docId)
               .Bind(2, classId)
               .Bind(3, title)
               .Bind(4, static_cast<int64_t>(i + 1))
               .Bind(5, pages[i])
               .Run();
    }
  }
  if (!ok || !Exec(db, "COMMIT")) {
    LogError(L"search index: pages of document " + AnsiToWide(docId) + L" not kept");
    Exec(db, "ROLLBACK");
    return false;
  }
  return true;
}

bool SearchIndex::HasPages(const std::string& docId) {
  if (!m_db) return false;
  Statement any(m_db.get(), "SELECT 1 FROM pdfPage WHERE docId=?1 LIMIT 1");
  return any && any.Bind(1, docId).Next();
}

bool SearchIndex::ForgetPages(const std::string& docId) {
  if (!m_db) return false;
  Statement forget(m_db.get(), "DELETE FROM pdfPage WHERE docId=?1");
  return forget && forget.Bind(1, docId).Run();
}

std::optional<SearchResults> SearchIndex::Search(std::string_view query, int perKind) {
  if (!m_db) return std::nullopt;
  SearchResults results;
  const std::vector<std::string> terms = SearchTerms(query);
  if (terms.empty() || perKind <= 0) return results;

  std::vector<std::string> longTerms;
  std::vector<std::string> shortTerms;
  for (const std::string& term : terms) (CodePoints(term) >= kTrigram ? longTerms : shortTerms).push_back(term);

  // Titles name classes, lessons and documents; notes and pages are found by their text.
  const auto readHit = [&](Statement& select, SearchKind kind) {
    const bool byText = kind == SearchKind::Note || kind == SearchKind::Page;
    SearchHit hit;
    hit.kind = kind;
    hit.itemId = select.Text(1);
    hit.classId = select.Text(2);
    hit.page = static_cast<int>(select.Integer(3));
    hit.title = select.Text(4);
    if (byText) hit.excerpt = Excerpt(select.Text(5), terms);
    hit.noteOf = select.Text(6);
    return hit;
  };
  const auto failed = [&](const Statement& select) {
    if (!select.Failed()) return false;
    LogError(L"search failed: " + Utf8ToWide(sqlite3_errmsg(m_db.get())));
    return true;
  };
  std::map<SearchKind, SearchResults> groups;
  const char* const kColumns = "SELECT e.kind, e.itemId, e.classId, e.page, e.title, e.body, e.detail FROM ";
  for (const bool byText : {false, true}) {
    const std::string column = byText ? "body" : "title";
    const std::vector<SearchKind> kinds = byText ? std::vector<SearchKind>{SearchKind::Note, SearchKind::Page}
                                                 : std::vector<SearchKind>{SearchKind::Class, SearchKind::Lesson,
                                                                           SearchKind::Document};
    std::string likes;
    for (size_t i = 0; i < shortTerms.size(); ++i)
      likes += " AND e." + column + " LIKE ?" + std::to_string(i + 4) + " ESCAPE '\\'";
    const auto bindLikes = [&](Statement& select) {
      for (size_t i = 0; i < shortTerms.size(); ++i)
        select.Bind(static_cast<int>(i + 4), ContainsPattern(shortTerms[i]));
    };
    if (longTerms.empty()) {
      // No trigram to look up: a scan per kind, which stops at the kind's last hit wanted.
      for (const SearchKind kind : kinds) {
        Statement select(m_db.get(), std::string(kColumns) + "searchEntry e WHERE e.kind = ?2" + likes +
                                         " ORDER BY e.id LIMIT ?3");
        if (!select) return std::nullopt;
        select.Bind(2, static_cast<int64_t>(kind)).Bind(3, static_cast<int64_t>(perKind));
        bindLikes(select);
        while (select.Next()) groups[kind].push_back(readHit(select, kind));
        if (failed(select)) return std::nullopt;
      }
      continue;
    }
    std::string match;
    for (const std::string& term : longTerms) match += (match.empty() ? "" : " AND ") + Phrase(term);
    for (const SearchKind kind : kinds) {
      const std::string table = kKindTables[static_cast<int>(kind)];
      Statement select(m_db.get(), std::string(kColumns) + table + " t JOIN searchEntry e ON e.id = t.rowid WHERE " +
                                       table + " MATCH ?1" + likes + " LIMIT ?3");
      if (!select) return std::nullopt;
      select.Bind(1, match).Bind(3, static_cast<int64_t>(perKind));
      bindLikes(select);
      while (select.Next()) groups[kind].push_back(readHit(select, kind));
      if (failed(select)) return std::nullopt;
    }
  }
  for (auto& [kind, hits] : groups) {
    for (SearchHit& hit : hits) results.push_back(std::move(hit));
  }
  return results;
}
