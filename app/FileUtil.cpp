// File and folder operations over POSIX directory listings.
#include "app/FileUtil.h"

#include <dirent.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

std::string WithSlash(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

}  // namespace

std::uint64_t GetFileSize64(const std::string& path) {
  if (path.empty()) return 0;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return S_ISREG(info.st_mode) ? info.st_size : 0;
  // Not a plain path: look for the first match of the text as a wildcard pattern.
  glob_t matches{};
  std::uint64_t size = 0;
  if (glob(path.c_str(), GLOB_NOSORT, nullptr, &matches) == 0 && matches.gl_pathc > 0 &&
      stat(matches.gl_pathv[0], &info) == 0 && S_ISREG(info.st_mode)) {
    size = info.st_size;
  }
  globfree(&matches);
  return size;
}

std::string FileNameOf(const std::string& pathOrUrl) {
  size_t cut = pathOrUrl.rfind('/');
  if (cut == std::string::npos) cut = pathOrUrl.rfind('\\');
  return cut == std::string::npos ? pathOrUrl : pathOrUrl.substr(cut + 1);
}

bool DeleteFolderExcept(const std::string& folder, const std::string& keep) {
  std::string base = WithSlash(folder);
  DirPtr dir(opendir(base.c_str()));
  if (!dir) return false;
  while (dirent* entry = readdir(dir.get())) {
    if (IsDotEntry(entry->d_name)) continue;
    std::string path = base + entry->d_name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      DeleteFolderExcept(path, keep);
    } else if (path.find(keep) == std::string::npos) {
      unlink(path.c_str());
    }
  }
  dir.reset();
  rmdir(base.c_str());  // fails quietly when something was kept
  return true;
}

std::string FindFirstFileIn(const std::string& folder) {
  std::string base = WithSlash(folder);
  DirPtr dir(opendir(base.c_str()));
  if (!dir) return {};
  while (dirent* entry = readdir(dir.get())) {
    if (IsDotEntry(entry->d_name)) continue;
    std::string path = base + entry->d_name;
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return path;
  }
  return {};
}

std::string MoveAsideDamaged(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, ".damaged-%Y%m%d-%H%M%S", &local);
  std::string target = path + stamp;
  struct stat info {};
  for (int n = 2; lstat(target.c_str(), &info) == 0; ++n) target = path + stamp + "-" + std::to_string(n);
  if (std::rename(path.c_str(), target.c_str()) != 0) {
    LogError(L"damaged file could not be moved aside: " + AnsiToWide(path) + L" (" +
             Utf8ToWide(std::strerror(errno)) + L")");
    return {};
  }
  for (const char* side : {"-journal", "-wal", "-shm"}) {
    if (lstat((path + side).c_str(), &info) == 0) std::rename((path + side).c_str(), (target + side).c_str());
  }
  LogError(L"damaged file moved aside: " + AnsiToWide(path) + L" -> " + AnsiToWide(target));
  return target;
}
