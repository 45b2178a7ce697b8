// Free space and network checks of downloads.
#include "study/DownloadConditions.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>

#include "downloads/SizeText.h"

DownloadConditions::DownloadConditions() : m_freeSpace(&FreeBytesOnDisk) {}

void DownloadConditions::SetFreeSpaceProbe(FreeSpaceProbe probe) {
  m_freeSpace = probe ? std::move(probe) : FreeSpaceProbe(&FreeBytesOnDisk);
}

void DownloadConditions::SetMeteredProbe(MeteredProbe probe) { m_metered = std::move(probe); }

std::optional<SpaceShortfall> DownloadConditions::CheckRoom(const std::string& folder,
                                                            std::int64_t bytesToCome) const {
  const std::optional<std::int64_t> available = m_freeSpace(folder);
  if (!available) return std::nullopt;
  const std::int64_t needed = std::max<std::int64_t>(bytesToCome, 0) + m_reserve;
  if (*available >= needed) return std::nullopt;
  return SpaceShortfall{needed, *available};
}

bool DownloadConditions::HoldForNetwork() const { return !m_meteredAllowed && m_metered && m_metered(); }

std::optional<std::int64_t> FreeBytesOnDisk(const std::string& folder) {
  std::string at = folder;
  for (;;) {
    struct statvfs info {};
    if (!at.empty() && ::statvfs(at.c_str(), &info) == 0)
      return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
    if (!at.empty() && errno != ENOENT) return std::nullopt;
    while (!at.empty() && at.back() == '/') at.pop_back();
    const auto slash = at.rfind('/');
    if (slash == std::string::npos) return std::nullopt;
    at = at.substr(0, slash + 1);
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::wstring ShortfallTip(const SpaceShortfall& shortfall) {
  return L"磁盘空间不足：需要 " + SizeText(shortfall.needed) + L"，可用 " + SizeText(shortfall.available);
}
