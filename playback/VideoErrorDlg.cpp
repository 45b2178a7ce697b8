#include "playback/VideoErrorDlg.h"

#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "ui/Control.h"

void VideoErrorDlg::InitWindow() { m_code = FindControl(L"lbErrorCode"); }

void VideoErrorDlg::SetCode(const std::wstring& code) {
  if (m_code) m_code->SetText(code);
}

std::wstring VideoErrorDlg::GetCode() const { return m_code ? m_code->GetText() : L""; }

void VideoErrorDlg::OnClick(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender->GetName() == L"btnRepeatPlay") SendMessage(m_hOwner, WM_PLAYER_RETRY);
}
