// File addresses for the browser.
#include "browser/LocalFileUrl.h"

#include <glib.h>

#include "app/TextConv.h"

std::wstring LocalFileUrl(const std::string& path) {
  if (path.empty() || path.front() != '/') return {};
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  if (!uri) return {};
  std::wstring url = Utf8ToWide(uri);
  g_free(uri);
  return url;
}
