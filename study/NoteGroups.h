// The notes as the student reads them: by class, then by lesson or document, each group
// led by its newest note; and the same as a Markdown text to keep outside the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "study/NoteBook.h"

struct NoteItemGroup {
  NoteKind kind = NoteKind::Lesson;
  std::string itemId;
  std::string title;  // of the newest note
  std::vector<Note> notes;  // newest first
};

struct NoteClassGroup {
  std::string classId;
  std::vector<NoteItemGroup> items;  // the one with the newest note first
};

// Groups notes given newest first (NoteBook::All); the class with the newest note first.
std::vector<NoteClassGroup> GroupNotes(const std::vector<Note>& newestFirst);

// The class's name for a heading; empty when the program no longer knows the class.
using ClassNamer = std::function<std::string(const std::string& classId)>;
// The name shown for a class the program no longer knows.
std::string UnknownClassName(const std::string& classId);

// "# 我的笔记", a "##" heading per class, a "###" heading per lesson ("视频：") or document
// ("讲义："), and a list item per note with its moment or page and when it was taken (local
// time). The student's words are escaped so they cannot turn into headings or links.
std::string NotesMarkdown(const std::vector<NoteClassGroup>& groups, const ClassNamer& className);
// "第 3 页" or the moment ("12:05") of a note.
std::string NotePlace(const Note& note);
// "2026-12-11 09:30" in local time.
std::string NoteTime(int64_t createdAt);
