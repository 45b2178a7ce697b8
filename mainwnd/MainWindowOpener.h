// Connects the login frame to the main window: the program calls this at start-up.
#pragma once

class CourseCatalogue;
class DownloadCenter;
class OfflineState;

// Installs the link whose exists() tells whether the main window is open and whose
// open() creates it (or brings it to the front) over `downloads`, `catalogue` and the
// session's `offline` state (its own when null).
void InstallMainWindowLink(DownloadCenter* downloads = nullptr, CourseCatalogue* catalogue = nullptr,
                           OfflineState* offline = nullptr);
