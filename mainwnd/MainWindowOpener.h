// The login frame's way to the main window: opens it over the program's model (the
// download centre, the catalogue, the session's offline state and the lesson player).
#pragma once

#include <functional>
#include <string>

#include "account/LoginDelegate.h"

class CourseCatalogue;
class DownloadCenter;
class LessonPlayer;
class OfflineState;

class MainWindowOpener : public LoginDelegate {
 public:
  // Each null model part makes the main window use its own (tests leave out what they
  // do not need).
  explicit MainWindowOpener(DownloadCenter* downloads = nullptr, CourseCatalogue* catalogue = nullptr,
                            OfflineState* offline = nullptr, LessonPlayer* player = nullptr)
      : m_downloads(downloads), m_catalogue(catalogue), m_offline(offline), m_player(player) {}

  // What an offline start runs (the program's catch-up); without one an offline start
  // only opens the main window.
  using OfflineStarter = std::function<void(const std::string& account, const std::string& password)>;
  void SetOfflineStarter(OfflineStarter starter) { m_offlineStarter = std::move(starter); }

  bool MainWindowExists() const override;
  void ShowMainWindow() override;
  void StartOffline(const std::string& account, const std::string& password) override;

 private:
  DownloadCenter* m_downloads;
  CourseCatalogue* m_catalogue;
  OfflineState* m_offline;
  LessonPlayer* m_player;
  OfflineStarter m_offlineStarter;
};
