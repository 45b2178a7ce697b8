// CFile on POSIX descriptors.
#include "app/CFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/Assert.h"
#include "app/TextConv.h"

CFile::~CFile() { Close(); }

std::uint64_t CFile::GetPosition() const {
  if (!IsOpen()) return 0;
  off_t pos = lseek(m_hFile, 0, SEEK_CUR);
  return pos < 0 ? 0 : static_cast<std::uint64_t>(pos);
}

bool CFile::Open(const std::wstring& path, unsigned nOpenFlags) {
  if (!TAVO_ASSERT(m_hFile == kInvalid, "m_hFile == INVALID_HANDLE_VALUE")) return false;
  if (!TAVO_ASSERT((nOpenFlags & (osRandomAccess | osSequentialScan)) !=
                       (osRandomAccess | osSequentialScan),
                   "(nOpenFlags&(osRandomAccess | osSequentialScan)) != "
                   "(osRandomAccess | osSequentialScan)")) {
    return false;
  }
  int flags = O_CLOEXEC;  // children started by the program never get our files
  switch (nOpenFlags & kAccessMask) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: TAVO_ASSERT(false, "bad access mode"); return false;
  }
  unsigned share = nOpenFlags & kShareMask;
  if (!TAVO_ASSERT(share <= shareDenyNone, "bad share mode")) return false;
  int lockMode = (share == 0 || share == shareExclusive) ? LOCK_EX : LOCK_SH;
  // Truncation waits until the lock is held, so a refused opener never cuts the file.
  bool truncate = (nOpenFlags & modeCreate) != 0;
  if (nOpenFlags & (modeCreate | modeNoTruncate)) flags |= O_CREAT;
  if (nOpenFlags & osWriteThrough) flags |= O_DSYNC;
  // osNoBuffer is not mapped: O_DIRECT would demand aligned buffers from every caller.

  std::string native = WideToAnsi(path);
  if (native.empty()) return false;
  int fd;
  do {
    fd = ::open(native.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  int r;
  do {
    r = flock(fd, lockMode | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0 || (truncate && ftruncate(fd, 0) != 0)) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return false;
  }
  if (nOpenFlags & osRandomAccess) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  if (nOpenFlags & osSequentialScan) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  m_hFile = fd;
  return true;
}

unsigned CFile::Read(void* buffer, unsigned count) {
  if (count == 0 || buffer == nullptr || !IsOpen()) return 0;
  ssize_t n;
  do {
    n = ::read(m_hFile, buffer, count);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<unsigned>(n);
}

bool CFile::Write(const void* buffer, unsigned count) {
  if (count == 0 || buffer == nullptr || !IsOpen()) return false;
  const char* p = static_cast<const char*>(buffer);
  size_t left = count;
  while (left > 0) {
    ssize_t n = ::write(m_hFile, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool CFile::Flush() { return IsOpen() && fsync(m_hFile) == 0; }

void CFile::Close() {
  if (!IsOpen()) return;
  ::close(m_hFile);  // also drops the lock
  m_hFile = kInvalid;
}

std::uint64_t CFile::Seek(std::int32_t low, std::int32_t high, unsigned nFrom) {
  if (!TAVO_ASSERT(nFrom == FILE_BEGIN || nFrom == FILE_END || nFrom == FILE_CURRENT,
                   "nFrom == FILE_BEGIN || nFrom == FILE_END || nFrom == FILE_CURRENT")) {
    return 0;
  }
  if (!IsOpen()) return 0;
  std::int64_t distance = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
      static_cast<std::uint32_t>(low));
  int whence = nFrom == FILE_BEGIN ? SEEK_SET : nFrom == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t pos = lseek(m_hFile, distance, whence);
  return pos < 0 ? 0 : static_cast<std::uint64_t>(pos);
}

bool CFile::SetLength(std::int32_t low, std::int32_t high) {
  if (!IsOpen()) return false;
  std::int64_t length = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
      static_cast<std::uint32_t>(low));
  if (length < 0 || lseek(m_hFile, length, SEEK_SET) < 0) return false;
  return ftruncate(m_hFile, length) == 0;
}

std::uint64_t CFile::GetLength() const {
  if (!IsOpen()) return 0;
  struct stat info;
  return fstat(m_hFile, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}
