#include "playback/VideoPlayEndDlg.h"

#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "ui/Control.h"

namespace {
constexpr const wchar_t* kButtonNames[3] = {L"btnPlayPrev", L"btnPlayRepeat", L"btnPlayNext"};
}

void VideoPlayEndDlg::InitWindow() {
  for (int i = 0; i < 3; ++i) m_buttons[i] = FindControl(kButtonNames[i]);
}

void VideoPlayEndDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  for (int i = 0; i < 3; ++i) {
    if (msg.pSender == m_buttons[i]) PostMessage(m_hOwner, WM_PLAYER_END_CHOICE, static_cast<WPARAM>(i));
  }
}

int VideoPlayEndDlg::HitTest(int screenX, int screenY) const {
  CDuiRect rc = GetWindowRect();
  CDuiPoint pt{screenX - rc.left, screenY - rc.top};
  for (int i = 0; i < 3; ++i) {
    if (m_buttons[i] && m_buttons[i]->IsEnabled() && m_buttons[i]->IsVisible() &&
        m_buttons[i]->GetPos().Contains(pt))
      return i;
  }
  return -1;
}
