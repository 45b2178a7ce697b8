// The offline start's wiring.
#include "app/main/OfflineSetup.h"

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/AccountParsers.h"
#include "service/Endpoints.h"
#include "study/CourseCatalogue.h"
#include "study/DownloadCenter.h"
#include "study/LessonPlayer.h"
#include "study/OfflineState.h"

OfflineSetup::OfflineSetup(OfflineState& state, CourseCatalogue& catalogue, DownloadCenter& downloads,
                           LessonPlayer& player)
    : m_state(state),
      m_catalogue(catalogue),
      m_downloads(downloads),
      m_player(player),
      m_catchUp(state, NetworkMonitor::System()) {
  // A sign-out (or a new online sign-in) ends the session's offline time: nothing is tried.
  m_observer = m_state.AddObserver([this](bool offline) {
    if (!offline) m_catchUp.Stop();
  });
}

OfflineSetup::~OfflineSetup() {
  m_state.RemoveObserver(m_observer);
}

void OfflineSetup::Begin(const std::string& account, const std::string& password) {
  CatchUpSteps steps;
  steps.signIn = [account, password](std::string& message) {
    const ServiceReply reply = LoginUsrNameReply(account, password);
    if (!IsServiceAnswer(reply)) return SilentSignIn::Unreachable;
    // The parser keeps the new session token on success.
    message = ParseLoginUsrNameAnswer(reply.body);
    return message == kLoginSuccessMsg ? SilentSignIn::Accepted : SilentSignIn::Refused;
  };
  steps.refreshCatalogue = [this] { m_catalogue.Refresh(); };
  steps.sendProgress = [this] { m_player.SendKeptProgress(); };
  steps.resumeDownloads = [this] { m_downloads.ResumeUnfinished(); };
  steps.refused = [this](const std::string& message) {
    // Downloads and the kept progress stay on disk for the next sign-in.
    m_state.ReportSignInRefused(message);
  };
  m_catchUp.Begin(std::move(steps));
}
