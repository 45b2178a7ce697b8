// The desktop's download folder.
#include "app/DesktopDownloads.h"

#include <glib.h>

#include <cstdlib>

#include "app/TextConv.h"

std::wstring DesktopDownloadFolder() {
  std::string folder;
  if (const char* variable = std::getenv("XDG_DOWNLOAD_DIR"); variable != nullptr && variable[0] == '/') {
    folder = variable;
  } else {
    const char* home = std::getenv("HOME");
    const std::string homeFolder = home != nullptr && home[0] == '/' ? home : g_get_home_dir();
    if (homeFolder.empty() || homeFolder[0] != '/') return {};
    // The configuration may have changed since the last look (another account's session).
    g_reload_user_special_dirs_cache();
    const gchar* configured = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    std::string configuredText = configured != nullptr ? configured : "";
    while (configuredText.size() > 1 && configuredText.back() == '/') configuredText.pop_back();
    std::string homeText = homeFolder;
    while (homeText.size() > 1 && homeText.back() == '/') homeText.pop_back();
    // A desktop without a download folder names the home folder: the program's files would
    // then spread over it.
    folder = !configuredText.empty() && configuredText[0] == '/' && configuredText != homeText
                 ? configuredText
                 : homeText + "/Downloads";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return Utf8ToWide(folder) + L"/Tavo/";
}
