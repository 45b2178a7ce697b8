// Folder layout on Linux: the program folder from /proc/self/exe, per-user folders under the
// XDG base directories. Nothing is cached, so a changed environment (tests) takes effect.
#include "app/Folders.h"

#include <glib.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "app/TextConv.h"

namespace {

std::mutex g_accountMutex;
std::string g_signedInAccount;

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd pw;
  struct passwd* result = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && result->pw_dir[0] == '/') {
    return result->pw_dir;
  }
  return {};
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are invalid
// by the XDG rules), otherwise the default under the home folder. No trailing "/".
std::wstring XdgFolder(const char* variable, const char* fallback) {
  const char* value = getenv(variable);
  std::string path;
  if (value != nullptr && value[0] == '/') {
    path = value;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return {};
    path = home + "/" + fallback;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return AnsiToWide(path);
}

// A created folder with a trailing "/", or empty when the base is unknown.
std::wstring Created(const std::wstring& base, const std::wstring& tail) {
  if (base.empty()) return {};
  std::wstring path = base + tail;
  EnsureFolder(path);
  return path;
}

}  // namespace

bool EnsureFolder(const std::wstring& path) {
  std::string native = WideToAnsi(path);
  if (native.empty()) return false;
  return g_mkdir_with_parents(native.c_str(), 0700) == 0;
}

std::wstring GetExePath() {
  std::vector<char> buffer(4096);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return {};
  return AnsiToWide(std::string_view(buffer.data(), static_cast<size_t>(n)));
}

std::wstring GetExeFolder() {
  std::wstring path = GetExePath();
  size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1);
}

std::wstring GetDataRoot() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

std::wstring GetLogFolder() { return Created(XdgFolder("XDG_STATE_HOME", ".local/state"), L"/tavo/log/"); }

std::wstring GetStateFolder() { return Created(XdgFolder("XDG_STATE_HOME", ".local/state"), L"/tavo/"); }

std::wstring GetConfigFolder() { return Created(XdgFolder("XDG_CONFIG_HOME", ".config"), L"/tavo/"); }

std::wstring GetCacheFolder() { return Created(XdgFolder("XDG_CACHE_HOME", ".cache"), L"/tavo/"); }

std::wstring GetProgramDataFolder() { return Created(GetDataRoot(), L"/tavo/"); }

std::wstring GetUserFolder(const std::wstring& account) {
  std::wstring root = GetDataRoot();
  if (root.empty()) return {};
  std::wstring path = root + L"/tavo";
  if (!account.empty()) path += L"/" + account;
  EnsureFolder(path);
  return path;
}

namespace {
std::wstring SignedInUserFolder() { return GetUserFolder(AnsiToWide(GetSignedInAccount())); }
}  // namespace

std::wstring GetDownloadFolder() { return Created(SignedInUserFolder(), L"/download/"); }

std::wstring GetHeaderFolder(const std::wstring& account) {
  std::wstring user = account.empty() ? SignedInUserFolder() : GetUserFolder(account);
  return Created(user, L"/header/");
}

std::wstring GetDbFolder() { return Created(SignedInUserFolder(), L"/db/"); }

std::wstring GetPasswordStoreFolder() { return Created(GetDataRoot(), L"/tavo/SqUserDB/"); }

void SetSignedInAccount(const std::string& account) {
  std::lock_guard lock(g_accountMutex);
  g_signedInAccount = account;
}

std::string GetSignedInAccount() {
  std::lock_guard lock(g_accountMutex);
  return g_signedInAccount;
}
