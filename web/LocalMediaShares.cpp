// Lent video files of the local web server.
#include "web/LocalMediaShares.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

namespace {

std::string RandomToken() {
  std::random_device device;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
    token += part;
  }
  return token;
}

// The file's extension in lower case, with its dot; kept only when it is a plain word, so
// nothing of the name but its type reaches the address.
std::string PlainExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  if (ext.size() < 2 || ext.size() > 8) return "";
  for (std::size_t i = 1; i < ext.size(); ++i) {
    const auto c = static_cast<unsigned char>(ext[i]);
    if (!std::isalnum(c)) return "";
    ext[i] = static_cast<char>(std::tolower(c));
  }
  return ext;
}

}  // namespace

std::string LocalMediaShares::Share(const std::string& path) {
  std::string address = std::string(kPrefix) + RandomToken() + PlainExtension(path);
  std::lock_guard lock(m_mutex);
  m_files[address] = path;
  return address;
}

void LocalMediaShares::Unshare(const std::string& address) {
  std::lock_guard lock(m_mutex);
  m_files.erase(address);
}

std::optional<std::string> LocalMediaShares::Find(std::string_view address) const {
  std::lock_guard lock(m_mutex);
  auto it = m_files.find(address);
  if (it == m_files.end()) return std::nullopt;
  return it->second;
}

LocalMediaShares& ServedLocalMedia() {
  static LocalMediaShares shares;
  return shares;
}

const char* MediaTypeForPath(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == ".mp4" || ext == ".m4v") return "video/mp4";
  if (ext == ".mov") return "video/quicktime";
  if (ext == ".mkv") return "video/x-matroska";
  if (ext == ".webm") return "video/webm";
  if (ext == ".flv") return "video/x-flv";
  if (ext == ".ts") return "video/mp2t";
  return "application/octet-stream";
}
