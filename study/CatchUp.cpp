// Catching up with the school after an offline start.
#include "study/CatchUp.h"

#include <algorithm>

#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/Messages.h"
#include "study/OfflineState.h"

namespace {
constexpr UINT kRetryTimer = 1;

struct Answer {
  SilentSignIn outcome = SilentSignIn::Unreachable;
  std::string message;
};
}  // namespace

CatchUp::CatchUp(OfflineState& state, NetworkMonitor& monitor, std::vector<unsigned> pauses)
    : m_state(state), m_monitor(monitor), m_pauses(std::move(pauses)) {
  if (m_pauses.empty()) m_pauses = DefaultPauses();
  m_timer.SetHandler([this](UINT msg, WPARAM wParam, LPARAM, const Payload&) -> LRESULT {
    if (msg == WM_TIMER && wParam == kRetryTimer) {
      ::KillTimer(m_timer.GetHWND(), kRetryTimer);
      Attempt();
    }
    return 0;
  });
}

CatchUp::~CatchUp() { Stop(); }

void CatchUp::Begin(CatchUpSteps steps) {
  Stop();
  m_steps = std::move(steps);
  m_active = true;
  m_attempts = 0;
  m_state.SetOffline(true);
  // A network that comes back is tried at once, whatever the pause still says.
  m_watch = m_monitor.Watch([this] {
    LogNormal(L"catch-up: the network is back");
    Attempt();
  });
  ScheduleNext();
}

void CatchUp::Stop() {
  m_active = false;
  // The credentials go with the steps: nothing keeps them once nothing is tried.
  m_steps = {};
  m_signingIn = false;
  m_signIn.Cancel();
  m_watch.reset();
  ::KillTimer(m_timer.GetHWND(), kRetryTimer);
}

void CatchUp::ScheduleNext() {
  if (!m_active) return;
  const size_t index = std::min(static_cast<size_t>(m_attempts), m_pauses.size() - 1);
  ::SetTimer(m_timer.GetHWND(), kRetryTimer, m_pauses[index]);
}

void CatchUp::Attempt() {
  if (!m_active || m_signingIn || !m_steps.signIn) return;
  ::KillTimer(m_timer.GetHWND(), kRetryTimer);
  m_signingIn = true;
  ++m_attempts;
  auto signIn = m_steps.signIn;
  m_signIn = BackgroundTask::Run(
      [signIn](const CancelToken&) {
        Answer answer;
        answer.outcome = signIn(answer.message);
        return answer;
      },
      [this](Answer answer) { OnAnswer(answer.outcome, answer.message); });
}

void CatchUp::OnAnswer(SilentSignIn outcome, const std::string& message) {
  m_signingIn = false;
  if (!m_active) return;
  if (outcome == SilentSignIn::Unreachable) {
    LogNormal(L"catch-up: the school is still out of reach (try " + std::to_wstring(m_attempts) + L")");
    ScheduleNext();
    return;
  }
  // Either way nothing more is tried: the school has spoken.
  const CatchUpSteps steps = m_steps;
  Stop();
  if (outcome == SilentSignIn::Refused) {
    LogNormal(L"catch-up: the school refused the sign-in: " + AnsiToWide(message));
    if (steps.refused) steps.refused(message);
    return;
  }
  LogNormal(L"catch-up: signed in again, back online");
  m_state.SetOffline(false);
  if (steps.refreshCatalogue) steps.refreshCatalogue();
  if (steps.sendProgress) steps.sendProgress();
  if (steps.resumeDownloads) steps.resumeDownloads();
}
