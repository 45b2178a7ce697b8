// Keeping a bookmark from a window that shows a lesson or a document: the student is asked
// for an optional note (and, for a document, the page), then it goes to the signed-in
// account's notes and a toast says so.
#pragma once

#include "mainwnd/NoteEditDlg.h"
#include "study/NoteBook.h"

enum class NoteTaken { Kept, Cancelled, Failed };

// `draft` names the lesson (position: seconds) or document (position: the page shown).
NoteTaken TakeNote(HWND owner, Note draft, const NoteAsker& ask = &AskWithNoteEditDlg);

// Where the notes of the signed-in account are kept.
std::wstring NotesDbPath();
