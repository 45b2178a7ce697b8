// The main window's offline behaviour.
#include "mainwnd/OfflineSession.h"

#include "account/MessageBoxDlg.h"
#include "app/Log.h"
#include "mainwnd/OfflineBanner.h"
#include "study/OfflineState.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

namespace {
// Where the tips show: as the course lists' tips, wide enough for the longer text.
constexpr int kTipDistance = 553;
constexpr int kTipWidth = 300;
}  // namespace

const wchar_t* OfflineTipOf(OnlineAction action) {
  switch (action) {
    case OnlineAction::PlayOnline:
      return L"离线模式：该课程未下载，联网后才能播放";
    case OnlineAction::QuestionPage:
      return L"离线模式：题库需要联网使用";
    case OnlineAction::ProfileEdit:
      return L"离线模式：联网后才能修改个人信息";
    case OnlineAction::NewDownload:
      return L"离线模式：联网后才能下载";
  }
  return L"";
}

OfflineSession::OfflineSession(WindowImplBase& window, OfflineState& state) : m_window(window), m_state(state) {
  m_observer = m_state.AddObserver([this](bool offline) { OnChanged(offline); });
  if (m_state.IsOffline()) OnChanged(true);
}

OfflineSession::~OfflineSession() { m_state.RemoveObserver(m_observer); }

bool OfflineSession::IsOffline() const { return m_state.IsOffline(); }

bool OfflineSession::Refuse(OnlineAction action) const {
  if (!IsOffline()) return false;
  const std::wstring tip = OfflineTipOf(action);
  LogNormal(L"offline tip: " + tip);
  ShowTip(m_window.GetHWND(), kTipDistance, kTipWidth, tip);
  return true;
}

void OfflineSession::OnChanged(bool offline) {
  OfflineBanner(m_window.GetPaintManager()).Show(offline);
  LogNormal(offline ? L"offline banner shown: 离线模式" : L"offline banner gone: back online");
}
