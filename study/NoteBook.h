// The student's bookmarks and short notes: a moment of a lesson or a page of a document,
// kept in the account's course.db (table notes). A note carries the title its lesson or
// document had when it was taken, so it still reads after the class leaves the catalogue
// or the student signs out. Main thread only (like the other stores of course.db).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "downloads/CourseStore.h"

struct sqlite3;

enum class NoteKind { Lesson, Document };

struct Note {
  int64_t id = 0;  // given by the store
  NoteKind kind = NoteKind::Lesson;
  std::string itemId;   // the lesson's or the document's id
  std::string classId;
  std::string title;    // of the lesson or document, when the note was taken
  int64_t position = 0; // seconds into the lesson, or the document's page (from 1)
  std::string text;     // the student's words; may be empty (a plain bookmark)
  int64_t createdAt = 0;  // seconds since the epoch
};

class NoteBook {
 public:
  // Longest note kept, in characters; longer text is cut (at a character boundary).
  static constexpr size_t kMaxTextChars = 200;

  // The notes in the course database at `path`; without a usable file every call fails
  // (with a log line) and nothing is kept.
  explicit NoteBook(const std::wstring& path);
  ~NoteBook();
  NoteBook(const NoteBook&) = delete;
  NoteBook& operator=(const NoteBook&) = delete;

  bool IsOpen() const { return m_db != nullptr; }

  // Keeps the note (a zero createdAt becomes now, a negative position 0) and returns its id;
  // nothing when it has no item id or could not be written.
  std::optional<int64_t> Add(Note note);
  // Every note, newest first (the later of two taken in the same second first).
  std::vector<Note> All() const;
  bool Remove(int64_t id);

 private:
  CourseStoreConnection m_db;
};

// "12:05" or "1:02:03" for a position in a lesson.
std::string FormatMoment(int64_t seconds);
// `text` cut to at most `maxChars` UTF-8 characters, never inside one.
std::string CutUtf8(const std::string& text, size_t maxChars);
