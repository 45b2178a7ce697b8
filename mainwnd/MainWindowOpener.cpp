// The login frame's link to the main window.
#include "mainwnd/MainWindowOpener.h"

#include "account/MainWindowLink.h"
#include "mainwnd/MainDlg.h"

void InstallMainWindowLink(DownloadCenter* downloads) {
  SetMainWindowLink({[] { return GetMainDlg() != nullptr; }, [downloads] { OpenMainWindow(downloads); }});
}
