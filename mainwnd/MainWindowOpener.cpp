// The login frame's link to the main window.
#include "mainwnd/MainWindowOpener.h"

#include "account/MainWindowLink.h"
#include "mainwnd/MainDlg.h"

void InstallMainWindowLink() {
  SetMainWindowLink({[] { return GetMainDlg() != nullptr; }, [] { OpenMainWindow(); }});
}
