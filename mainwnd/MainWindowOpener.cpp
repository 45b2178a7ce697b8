// The login frame's way to the main window.
#include "mainwnd/MainWindowOpener.h"

#include "mainwnd/MainDlg.h"

bool MainWindowOpener::MainWindowExists() const { return GetMainDlg() != nullptr; }

void MainWindowOpener::ShowMainWindow() { OpenMainWindow(m_downloads, m_catalogue, m_offline, m_player); }

void MainWindowOpener::StartOffline(const std::string& account, const std::string& password) {
  if (m_offlineStarter) m_offlineStarter(account, password);
}
