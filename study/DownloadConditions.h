// What a download needs from the machine before it may run: room on the disk of its folder
// and a network the student lets it use, and the student's choices about both (go on by
// itself after a restart, use a metered connection). The probes are seams: tests hand in
// their own free space and their own network.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Room kept free on the disk beyond what the downloads still bring, so that a batch does
// not leave the system without space for everything else.
inline constexpr std::int64_t kDiskReserveBytes = 256LL * 1024 * 1024;

// The disk cannot take what a download still brings: `needed` is that plus the reserve,
// `available` what the file system gives an unprivileged writer now.
struct SpaceShortfall {
  std::int64_t needed = 0;
  std::int64_t available = 0;
};

class DownloadConditions {
 public:
  // Free bytes for an ordinary user on the file system holding `folder`; none when the
  // folder cannot be examined.
  using FreeSpaceProbe = std::function<std::optional<std::int64_t>(const std::string& folder)>;
  // Whether the connection in use is metered (paid by the amount).
  using MeteredProbe = std::function<bool()>;

  // statvfs for the free space; the network counts as not metered until a probe is set.
  DownloadConditions();

  void SetFreeSpaceProbe(FreeSpaceProbe probe);
  void SetMeteredProbe(MeteredProbe probe);
  void SetReserveBytes(std::int64_t bytes) { m_reserve = bytes; }
  std::int64_t ReserveBytes() const { return m_reserve; }

  // The student's settings (kept in "下载设置"); the defaults are the settings' defaults.
  void SetAutoResume(bool on) { m_autoResume = on; }
  bool AutoResume() const { return m_autoResume; }
  void SetMeteredAllowed(bool on) { m_meteredAllowed = on; }
  bool MeteredAllowed() const { return m_meteredAllowed; }

  // The shortfall when `bytesToCome` plus the reserve do not fit in the free space of
  // `folder`; none when they fit or the free space is unknown (the transfer then finds out).
  std::optional<SpaceShortfall> CheckRoom(const std::string& folder, std::int64_t bytesToCome) const;
  // A download must wait: the connection is metered and the student did not allow it.
  bool HoldForNetwork() const;

 private:
  FreeSpaceProbe m_freeSpace;
  MeteredProbe m_metered;
  std::int64_t m_reserve = kDiskReserveBytes;
  bool m_autoResume = true;
  bool m_meteredAllowed = false;
};

// statvfs on `folder`, or on the nearest existing folder above it (a download folder is
// created only when the first download goes there).
std::optional<std::int64_t> FreeBytesOnDisk(const std::string& folder);

// The folder part of a path ("/a/b/c.mp4" -> "/a/b/").
std::string FolderOf(const std::string& path);

// The tip of a shortfall: "磁盘空间不足：需要 <needed>，可用 <available>".
std::wstring ShortfallTip(const SpaceShortfall& shortfall);
