// The login frame's link to the main window.
#include "mainwnd/MainWindowOpener.h"

#include "account/MainWindowLink.h"
#include "mainwnd/MainDlg.h"

void InstallMainWindowLink(DownloadCenter* downloads, CourseCatalogue* catalogue, OfflineState* offline) {
  SetMainWindowLink({[] { return GetMainDlg() != nullptr; },
                     [downloads, catalogue, offline] { OpenMainWindow(downloads, catalogue, offline); }});
}
