// The account's search index in its course.db: classes, lessons and documents by title (from
// the kept catalogue), notes by text and the text of downloaded PDFs page by page, in an
// FTS5 table with the trigram tokenizer, so a query finds parts of Chinese words. A query
// shorter than three characters cannot use trigrams; it scans the entries instead.
//
// The index is derived: Update rebuilds what changed from the kept catalogue, the notes and
// the stored PDF pages, so a merged or damaged index is rebuilt rather than carried over.
// One object holds one connection: use it on one thread at a time (workers make their own).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// The kinds of results, in the order their groups are shown.
enum class SearchKind { Class = 0, Lesson = 1, Document = 2, Note = 3, Page = 4 };

struct SearchHit {
  SearchKind kind = SearchKind::Class;
  std::string itemId;   // class, lesson or document id; a note's row id
  std::string classId;  // the class it belongs to (empty for a class itself)
  std::string title;    // what the result is called: its title, a note's or a page's document
  int page = 0;         // the PDF page (from 1) of a page hit; a note's position
  std::string excerpt;  // notes and pages: the text around the first match
  std::string noteOf;   // a note's kind as the notes keep it (what itemId names)
};

// Hits grouped by kind (SearchKind order), the best first within a group.
using SearchResults = std::vector<SearchHit>;

class SearchIndex {
 public:
  // The index of `account` in the course database at `dbPath` (created when missing).
  SearchIndex(const std::wstring& dbPath, std::string account);
  // The signed-in account's.
  static SearchIndex OfSignedInAccount();
  ~SearchIndex();
  SearchIndex(SearchIndex&&) noexcept;
  SearchIndex& operator=(SearchIndex&&) noexcept;

  // Whether the database and the index tables are usable.
  bool IsOpen() const { return m_db != nullptr; }

  // Brings the index in line with the kept catalogue, the notes and the stored pages;
  // false (and a log line) when it could not.
  bool Update();

  // Keeps the text of a downloaded document's pages (page 1 first) for the next Update.
  bool StorePages(const std::string& docId, const std::string& classId, const std::string& title,
                  const std::vector<std::string>& pages);
  // Whether the document's text was extracted already.
  bool HasPages(const std::string& docId);
  // Forgets a document's pages (its download was removed).
  bool ForgetPages(const std::string& docId);

  // The hits of `query` (any text the student typed: FTS syntax in it is searched for as
  // text), at most `perKind` of each kind; none for an empty query. Nothing (and a log
  // line) when the database failed.
  std::optional<SearchResults> Search(std::string_view query, int perKind = 20);

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> m_db;
  std::string m_account;
};

// The words of a query as searched: split at white space and double quotes (so a quoted
// phrase is its words), control characters and broken UTF-8 dropped, at most a few words
// of bounded length.
std::vector<std::string> SearchTerms(std::string_view query);
