// The program's offline start, wired to its model: the login form's offline start marks the
// session offline and begins the catch-up, whose steps are the program's own (sign in
// again, refresh the catalogue, send the kept progress, resume downloads, or back to the
// sign-in windows when the school refuses). Lives as long as the windows do.
#pragma once

#include "study/CatchUp.h"

class CourseCatalogue;
class DownloadCenter;
class LessonPlayer;
class OfflineState;

class OfflineSetup {
 public:
  OfflineSetup(OfflineState& state, CourseCatalogue& catalogue, DownloadCenter& downloads, LessonPlayer& player);
  ~OfflineSetup();
  OfflineSetup(const OfflineSetup&) = delete;
  OfflineSetup& operator=(const OfflineSetup&) = delete;

  // The login form's offline start: the catch-up begins with these credentials.
  void Begin(const std::string& account, const std::string& password);

 private:
  OfflineState& m_state;
  CourseCatalogue& m_catalogue;
  DownloadCenter& m_downloads;
  LessonPlayer& m_player;
  CatchUp m_catchUp;
  int m_observer = 0;
};
