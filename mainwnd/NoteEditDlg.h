// The small modal dialog that keeps a bookmark: it says where the bookmark goes (a moment
// of a lesson, or a page of a document, which the student may correct) and takes an
// optional short note. Tests answer through a NoteAsker instead of the window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Types.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

struct NoteQuestion {
  std::wstring place;      // "第3讲 · 12:05", or the document's title
  bool asksPage = false;   // a document: the page is asked for, starting at `page`
  int64_t page = 1;
};

struct NoteAnswer {
  std::string text;  // UTF-8, may be empty
  int64_t page = 1;  // for a document: 1 or more
};

// Asks over `owner`; nothing when the student cancelled.
using NoteAsker = std::function<std::optional<NoteAnswer>(HWND owner, const NoteQuestion& question)>;
std::optional<NoteAnswer> AskWithNoteEditDlg(HWND owner, const NoteQuestion& question);

// The page the student typed; nothing unless it is a whole number from 1 to 99999.
std::optional<int64_t> ReadPage(const std::wstring& text);

class NoteEditDlg : public WindowImplBase {
 public:
  explicit NoteEditDlg(NoteQuestion question) : m_question(std::move(question)) {}
  std::wstring GetWindowClassName() const override { return L"NoteEditDlgClass"; }
  const NoteAnswer& Answer() const { return m_answer; }

  static constexpr int kWidth = 440;
  static constexpr int kHeight = 260;

 protected:
  std::wstring GetSkinFile() override { return L"note_edit_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;

 private:
  NoteQuestion m_question;
  NoteAnswer m_answer;
};
