// Where the desktop keeps a user's downloads, and the program's own folder inside it: the
// default home of new accounts' downloads, a folder the student finds in a file manager.
#pragma once

#include <string>

// "<downloads>/Tavo/", where <downloads> is $XDG_DOWNLOAD_DIR when it holds an absolute
// path, else the desktop's configured download folder (user-dirs.dirs) unless that is the
// home folder itself, else "~/Downloads". Not created. Empty without a home folder.
std::wstring DesktopDownloadFolder();
