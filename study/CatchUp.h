// Bringing a session that started offline back to the school once it can be reached: a
// silent sign-in with the credentials of the offline start, then (in this order) the
// session counts as online again, the catalogue is refreshed, the kept progress is sent
// oldest first and unfinished downloads resume. It tries at once when the network comes
// back and otherwise again after growing pauses, until the school answers. Main thread
// only; the sign-in runs on a worker.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/BackgroundTask.h"
#include "platform/MessageWindow.h"
#include "platform/NetworkMonitor.h"

class OfflineState;

// How a silent sign-in ended.
enum class SilentSignIn { Accepted, Refused, Unreachable };

struct CatchUpSteps {
  // On a worker: signs in again; on a refusal `message` is the school's word.
  std::function<SilentSignIn(std::string& message)> signIn;
  // On the main thread after an accepted sign-in, in this order.
  std::function<void()> refreshCatalogue;
  std::function<void()> sendProgress;
  std::function<void()> resumeDownloads;
  // The school refused the credentials of the offline start (the password changed
  // meanwhile); the session stays offline until the student signs in again.
  std::function<void(const std::string& message)> refused;
};

class CatchUp {
 public:
  // Pauses between tries, in milliseconds; the last one repeats.
  static std::vector<unsigned> DefaultPauses() { return {2000, 4000, 8000, 15000, 30000}; }

  CatchUp(OfflineState& state, NetworkMonitor& monitor, std::vector<unsigned> pauses = DefaultPauses());
  ~CatchUp();
  CatchUp(const CatchUp&) = delete;
  CatchUp& operator=(const CatchUp&) = delete;

  // The session is offline from now on: tries with `steps` until one is accepted or refused.
  void Begin(CatchUpSteps steps);
  // Gives up (sign-out, exit); the state stays as it is.
  void Stop();
  bool IsWaiting() const { return m_active; }
  // Tries made since Begin.
  int Attempts() const { return m_attempts; }

 private:
  void Attempt();
  void OnAnswer(SilentSignIn outcome, const std::string& message);
  void ScheduleNext();

  OfflineState& m_state;
  NetworkMonitor& m_monitor;
  std::vector<unsigned> m_pauses;
  CatchUpSteps m_steps;
  MessageWindow m_timer;
  std::unique_ptr<NetworkWatch> m_watch;
  BackgroundTask m_signIn;
  bool m_active = false;
  bool m_signingIn = false;
  int m_attempts = 0;
};
