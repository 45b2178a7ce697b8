#include "playback/VideoTitleDlg.h"

#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "ui/Control.h"

namespace {
// How close to an edge the pointer was last seen when it counts as leaving through it.
constexpr int kEdgeSlack = 4;
}  // namespace

void VideoTitleDlg::InitWindow() {
  m_label = FindControl(L"lbVideoTitle");
  m_min = FindControl(L"minbtn");
  m_max = FindControl(L"maxbtn");
  m_close = FindControl(L"closebtn");
  SetTitle(m_title);
  m_maximiseNext = true;
}

void VideoTitleDlg::SetTitle(const std::wstring& title) {
  m_title = title;
  if (!m_label) return;
  m_label->SetText(title);
  m_label->SetToolTip(title);
}

void VideoTitleDlg::ShowLabel(bool show) {
  if (m_label) m_label->SetVisible(show);
}

void VideoTitleDlg::ShowButtons(bool show) {
  for (CControlUI* button : {m_min, m_max, m_close}) {
    if (button) button->SetVisible(show);
  }
}

bool VideoTitleDlg::IsLabelShown() const { return m_label && m_label->IsVisible(); }
bool VideoTitleDlg::AreButtonsShown() const { return m_close && m_close->IsVisible(); }

void VideoTitleDlg::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"closebtn") {
    PostMessage(m_hOwner, WM_PLAYER_CLOSE, 0);
  } else if (name == L"minbtn") {
    PostMessage(m_hOwner, WM_PLAYER_MINIMIZE);
  } else if (name == L"maxbtn") {
    if (m_maximiseNext) {
      PostMessage(m_hOwner, WM_PLAYER_MAXIMIZE);
      m_max->ApplyAttributeList(L"normalimage=\"icon_restore_white.png\"");
      m_max->SetToolTip(L"向下还原");
    } else {
      PostMessage(m_hOwner, WM_PLAYER_RESTORE);
      m_max->ApplyAttributeList(L"normalimage=\"icon_max_white.png\"");
      m_max->SetToolTip(L"最大化");
    }
    m_maximiseNext = !m_maximiseNext;
  }
}

bool VideoTitleDlg::OverButton(int x, int y) const {
  for (CControlUI* button : {m_min, m_max, m_close}) {
    if (button && button->IsVisible() && button->GetPos().Contains({x, y})) return true;
  }
  return false;
}

void VideoTitleDlg::OnHostMouse(const HostMouseEvent& event) {
  if (event.type == HostMouseType::Leave) {
    m_hovering = false;
    CDuiRect rc = GetWindowRect();
    bool throughEdge =
        m_lastX <= kEdgeSlack || m_lastY <= kEdgeSlack || m_lastX >= rc.GetWidth() - kEdgeSlack;
    if (throughEdge) PostMessage(m_hOwner, WM_PLAYER_MOUSE_LEFT);
  } else {
    m_lastX = event.x;
    m_lastY = event.y;
    if (!m_hovering) {
      m_hovering = true;
      PostMessage(m_hOwner, WM_PLAYER_MOUSE_HOVER);
    }
    // The bar is the player's caption: a press outside the buttons drags the player.
    if (event.type == HostMouseType::Down && event.button == 1 && !OverButton(event.x, event.y)) {
      if (CWindowWnd* player = CWindowWnd::FromHandle(m_hOwner); player && player->GetHostWindow()) {
        player->GetHostWindow()->BeginMoveDrag();
        return;
      }
    }
  }
  WindowImplBase::OnHostMouse(event);
}
