// Origins of page addresses, parsed with GLib's URI parser.
#include "browser/renderer/OriginPolicy.h"

#include <glib.h>

#include <memory>

std::string OriginOf(std::string_view url) {
  const std::string text(url);
  std::unique_ptr<GUri, decltype(&g_uri_unref)> uri(g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr),
                                                    &g_uri_unref);
  if (!uri) return {};
  std::unique_ptr<char, decltype(&g_free)> scheme(g_ascii_strdown(g_uri_get_scheme(uri.get()), -1), &g_free);
  const std::string_view name = scheme.get();
  if (name == "file") {
    // Only files of this machine; a file address with a host names a remote share.
    const char* host = g_uri_get_host(uri.get());
    const bool local = !host || !*host || g_ascii_strcasecmp(host, "localhost") == 0;
    return local ? "file://" : std::string();
  }
  if (name != "http" && name != "https") return {};
  const char* rawHost = g_uri_get_host(uri.get());
  if (!rawHost || !*rawHost) return {};
  std::unique_ptr<char, decltype(&g_free)> host(g_ascii_strdown(rawHost, -1), &g_free);
  std::string origin = std::string(name) + "://";
  // An IPv6 address keeps its brackets, as in the address itself.
  const bool ipv6 = std::string_view(host.get()).find(':') != std::string_view::npos;
  origin += ipv6 ? "[" + std::string(host.get()) + "]" : std::string(host.get());
  const int port = g_uri_get_port(uri.get());
  const int defaultPort = name == "http" ? 80 : 443;
  if (port > 0 && port != defaultPort) origin += ":" + std::to_string(port);
  return origin;
}

std::string OriginForLog(std::string_view url) {
  std::string origin = OriginOf(url);
  if (!origin.empty()) return origin;
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon > 16) return "(no address)";
  return std::string(url.substr(0, colon + 1));
}

std::string LocalFilePathOf(std::string_view url) {
  if (OriginOf(url) != "file://") return {};
  const std::string text(url);
  std::unique_ptr<GUri, decltype(&g_uri_unref)> uri(g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr),
                                                    &g_uri_unref);
  if (!uri) return {};
  std::unique_ptr<char, decltype(&g_free)> path(g_uri_unescape_string(g_uri_get_path(uri.get()), nullptr),
                                                &g_free);
  if (!path || path.get()[0] != '/') return {};
  const std::string_view decoded = path.get();
  // A folder is never one file; "." and ".." segments are never a file's own address.
  if (decoded.back() == '/' || decoded.find("/./") != std::string_view::npos ||
      decoded.find("/../") != std::string_view::npos || decoded.ends_with("/.") || decoded.ends_with("/.."))
    return {};
  return std::string(decoded);
}

bool IsTrustedUrl(const std::vector<std::string>& trusted, std::string_view url) {
  const std::string origin = OriginOf(url);
  if (origin.empty()) return false;
  if (origin == "file://") {
    // Local files are trusted one by one, by their exact path: a file next to a trusted one
    // (a downloaded document, say) is not.
    const std::string path = LocalFilePathOf(url);
    if (path.empty()) return false;
    for (const std::string& entry : trusted) {
      if (LocalFilePathOf(entry) == path) return true;
    }
    return false;
  }
  for (const std::string& entry : trusted) {
    if (OriginOf(entry) == origin) return true;
  }
  return false;
}
