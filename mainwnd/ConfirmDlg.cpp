// The confirmation dialog: OK ends with 1 (the box's state kept), cancel and close with 2.
#include "mainwnd/ConfirmDlg.h"

#include "app/Log.h"
#include "ui/CheckBox.h"
#include "ui/Control.h"

void ConfirmDlg::InitWindow() {
  if (CControlUI* title = FindControl(L"lbConfirmTitle")) title->SetText(m_question.title);
  if (CControlUI* text = FindControl(L"lbConfirmText")) text->SetText(m_question.text);
  if (auto* box = FindControlAs<CCheckBoxUI>(L"chkConfirmChoice")) {
    box->SetVisible(!m_question.choice.empty());
    box->SetText(m_question.choice);
    box->SetCheck(m_question.choiceChecked, false);
  }
}

void ConfirmDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"btnOk") {
    auto* box = FindControlAs<CCheckBoxUI>(L"chkConfirmChoice");
    m_checked = box != nullptr && box->GetCheck();
    Close(1);
  } else if (name == L"btnCancel" || name == L"closebtn") {
    Close(2);
  }
}

ConfirmAnswer AskWithConfirmDlg(HWND owner, const ConfirmQuestion& question) {
  ConfirmDlg dialog(question);
  CDuiRect area{0, 0, ConfirmDlg::kWidth, ConfirmDlg::kHeight};
  if (CWindowWnd* window = CWindowWnd::FromHandle(owner)) area = window->GetWindowRect();
  const int x = area.left + (area.GetWidth() - ConfirmDlg::kWidth) / 2;
  const int y = area.top + (area.GetHeight() - ConfirmDlg::kHeight) / 2;
  if (dialog.Create(owner, question.title, WS_POPUP, 0, x, y, ConfirmDlg::kWidth, ConfirmDlg::kHeight) ==
      kNoWindow) {
    LogError(L"the question \"" + question.title + L"\" could not be asked");
    return {};
  }
  LogNormal(L"asked: " + question.title);
  const bool confirmed = dialog.ShowModal() == 1;
  return {confirmed, confirmed && dialog.ChoiceChecked()};
}
