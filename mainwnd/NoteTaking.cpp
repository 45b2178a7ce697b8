// Taking a bookmark.
#include "mainwnd/NoteTaking.h"

#include "account/MessageBoxDlg.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace {
constexpr int kTipDistance = 120;
constexpr int kTipWidth = 160;
}  // namespace

std::wstring NotesDbPath() { return GetDbFolder() + L"course.db"; }

NoteTaken TakeNote(HWND owner, Note draft, const NoteAsker& ask) {
  NoteQuestion question;
  const std::wstring title = Utf8ToWide(draft.title);
  if (draft.kind == NoteKind::Document) {
    question.place = title;
    question.asksPage = true;
    question.page = draft.position < 1 ? 1 : draft.position;
  } else {
    question.place = title + L" · " + Utf8ToWide(FormatMoment(draft.position));
  }
  const std::optional<NoteAnswer> answer = ask ? ask(owner, question) : std::nullopt;
  if (!answer) return NoteTaken::Cancelled;
  draft.text = answer->text;
  if (draft.kind == NoteKind::Document) draft.position = answer->page;
  NoteBook book(NotesDbPath());
  if (!book.Add(draft)) {
    ShowTip(owner, kTipDistance, kTipWidth, L"书签没有保存");
    return NoteTaken::Failed;
  }
  LogNormal(L"note kept on " + Utf8ToWide(draft.itemId) + L" at " + std::to_wstring(draft.position));
  ShowTip(owner, kTipDistance, kTipWidth, L"已添加书签");
  return NoteTaken::Kept;
}
