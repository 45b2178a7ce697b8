// The bookmark dialog: save ends with 1 (the answer kept), cancel and close with 2.
#include "mainwnd/NoteEditDlg.h"

#include "app/Log.h"
#include "app/TextConv.h"
#include "ui/Control.h"

std::optional<int64_t> ReadPage(const std::wstring& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int64_t page = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    page = page * 10 + (c - L'0');
  }
  if (page < 1) return std::nullopt;
  return page;
}

void NoteEditDlg::InitWindow() {
  if (CControlUI* place = FindControl(L"lbNotePlace")) place->SetText(m_question.place);
  if (CControlUI* pageRow = FindControl(L"hLayNotePage")) pageRow->SetVisible(m_question.asksPage);
  if (CControlUI* page = FindControl(L"edNotePage")) page->SetText(std::to_wstring(m_question.page));
  if (CControlUI* text = FindControl(L"edNoteText")) text->SetFocus();
}

void NoteEditDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"btnOk") {
    m_answer.page = m_question.page;
    if (m_question.asksPage) {
      CControlUI* pageEdit = FindControl(L"edNotePage");
      const std::optional<int64_t> page = pageEdit ? ReadPage(pageEdit->GetText()) : std::nullopt;
      if (!page) {
        // Not a page: the student corrects it; nothing is kept yet.
        if (pageEdit) pageEdit->SetFocus();
        return;
      }
      m_answer.page = *page;
    }
    if (CControlUI* text = FindControl(L"edNoteText")) m_answer.text = WideToUtf8(text->GetText());
    Close(1);
  } else if (name == L"btnCancel" || name == L"closebtn") {
    Close(2);
  }
}

std::optional<NoteAnswer> AskWithNoteEditDlg(HWND owner, const NoteQuestion& question) {
  NoteEditDlg dialog(question);
  CDuiRect area{0, 0, NoteEditDlg::kWidth, NoteEditDlg::kHeight};
  if (CWindowWnd* window = CWindowWnd::FromHandle(owner)) area = window->GetWindowRect();
  const int x = area.left + (area.GetWidth() - NoteEditDlg::kWidth) / 2;
  const int y = area.top + (area.GetHeight() - NoteEditDlg::kHeight) / 2;
  if (dialog.Create(owner, L"添加书签", WS_POPUP, 0, x, y, NoteEditDlg::kWidth, NoteEditDlg::kHeight) ==
      kNoWindow) {
    LogError(L"the bookmark dialog could not be opened");
    return std::nullopt;
  }
  if (dialog.ShowModal() != 1) return std::nullopt;
  return dialog.Answer();
}
