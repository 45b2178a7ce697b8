// A download's partial and final files: sizes, completeness, free names and the move into place.
#include "downloads/TaskFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

// How many numbered names are tried before giving up.
constexpr int kMostNumbers = 9999;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

// File systems without the no-replace flag get a hard link plus unlink, and those without
// links a checked rename.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (Exists(to)) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

std::int64_t FileSizeOnDisk(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<std::int64_t>(info.st_size);
}

const std::string& TransferFile(const DownloadTask& task) {
  return task.partFile.empty() ? task.localFile : task.partFile;
}

bool IsCompleteOnDisk(const DownloadTask& task) {
  struct stat info {};
  if (task.localFile.empty() || ::stat(task.localFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  const auto size = static_cast<std::int64_t>(info.st_size);
  // What the finished transfer stored wins over what the catalogue announced when the
  // download began: the school's copy may have changed size in between.
  if (task.fullSize > 0) return size == task.fullSize;
  if (task.total <= 0) return false;
  return size >= (task.kind == TaskKind::Document ? task.total * 1024 : task.total);
}

std::int64_t DownloadedOnDisk(const DownloadTask& task) {
  const std::int64_t bytes =
      IsCompleteOnDisk(task) ? FileSizeOnDisk(task.localFile) : FileSizeOnDisk(TransferFile(task));
  return task.kind == TaskKind::Document ? bytes / 1024 : bytes;
}

std::string FreeFileName(const std::string& wanted, const std::function<bool(const std::string&)>& taken) {
  if (!taken(wanted)) return wanted;
  // The number goes before the extension of the file name (not of a folder).
  const std::size_t slash = wanted.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = wanted.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = wanted.size();
  const std::string stem = wanted.substr(0, dot);
  const std::string extension = wanted.substr(dot);
  for (int number = 2; number <= kMostNumbers; ++number) {
    std::string candidate = stem + " (" + std::to_string(number) + ")" + extension;
    if (!taken(candidate)) return candidate;
  }
  return {};
}

std::string PartFileOf(const std::string& finalPath) { return finalPath + ".part"; }

bool CreateNewFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool MoveIntoPlace(const std::string& from, std::string& to) {
  if (RenameNoReplace(from, to)) return true;
  if (errno != EEXIST) return false;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string free = FreeFileName(to, Exists);
    if (free.empty()) break;
    if (RenameNoReplace(from, free)) {
      to = free;
      return true;
    }
    if (errno != EEXIST) return false;  // a file took the free name meanwhile: look again
  }
  errno = EEXIST;
  return false;
}

void DiscardPartFile(const DownloadTask& task) {
  if (task.partFile.empty()) return;
  if (::unlink(task.partFile.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR)
    LogError(L"cannot delete " + AnsiToWide(task.partFile) + L": " + AnsiToWide(std::strerror(errno)));
}

void DiscardFinishedFile(const DownloadTask& task) {
  struct stat info {};
  // Only a regular file under the task's own name; a link there is not the task's bytes.
  if (task.localFile.empty() || ::lstat(task.localFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (::unlink(task.localFile.c_str()) != 0)
    LogError(L"cannot delete " + AnsiToWide(task.localFile) + L": " + AnsiToWide(std::strerror(errno)));
  else
    LogNormal(L"deleted the file " + AnsiToWide(task.localFile) + L" with its download");
}
