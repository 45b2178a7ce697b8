// The settings store: one group of string values in a key file. Every write reloads the file,
// changes one value and replaces the file atomically (temporary file + rename), under a
// process-wide mutex and an advisory lock on a side file, so neither a crash mid-write nor a
// second writer (thread or process) loses or tears values. A damaged file is moved aside,
// never overwritten.
#include "app/Settings.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <mutex>

#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace {

constexpr const char* kGroup = "tavo";
// The value buffer holds 256 bytes of UTF-16: 127 characters and the terminator.
constexpr size_t kMaxValueUnits = 127;

std::mutex g_mutex;

struct KeyFileDeleter {
  void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct ErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};

// Holds an flock on "<store>.lock" for the life of the object.
class StoreLock {
 public:
  explicit StoreLock(const std::string& storePath)
      : m_fd(open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (m_fd >= 0) flock(m_fd, LOCK_EX);
  }
  ~StoreLock() {
    if (m_fd >= 0) close(m_fd);
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  int m_fd;
};

std::string StorePath() {
  std::wstring folder = GetConfigFolder();
  if (folder.empty()) return {};
  return WideToAnsi(folder + L"registry.ini");
}

// A name the key file can hold as a key.
bool IsValidName(const std::string& key) {
  if (key.empty() || key.front() == ' ' || key.back() == ' ') return false;
  for (unsigned char c : key) {
    if (c < 0x20 || c == '=' || c == '[' || c == ']') return false;
  }
  return true;
}

size_t Utf16Units(const std::wstring& text) {
  size_t units = 0;
  for (wchar_t c : text) units += static_cast<char32_t>(c) >= 0x10000 ? 2 : 1;
  return units;
}

// Loads the store; a missing file is an empty store. False for an unreadable or malformed file.
bool Load(GKeyFile* file, const std::string& path, bool& missing) {
  GError* raw = nullptr;
  missing = false;
  if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &raw)) return true;
  ErrorPtr error(raw);
  if (error && error->domain == G_FILE_ERROR && error->code == G_FILE_ERROR_NOENT) {
    missing = true;
    return true;
  }
  LogError(L"registry.ini unreadable: " + Utf8ToWide(error ? error->message : ""));
  return false;
}

}  // namespace

int ReadRegString(const std::wstring& name, std::wstring& value) {
  std::string path = StorePath();
  std::string key = WideToUtf8(name);
  if (path.empty() || !IsValidName(key)) return 1;
  std::lock_guard lock(g_mutex);
  KeyFilePtr file(g_key_file_new());
  bool missing = false;
  if (!Load(file.get(), path, missing) || missing) return 1;
  std::unique_ptr<char, GFreeDeleter> text(
      g_key_file_get_string(file.get(), kGroup, key.c_str(), nullptr));
  if (!text) return 1;
  std::wstring wide = Utf8ToWide(text.get());
  if (wide.empty() && text.get()[0] != '\0') return 1;
  if (Utf16Units(wide) > kMaxValueUnits) return 1;
  value = wide;
  return 0;
}

int WriteRegString(const std::wstring& name, const std::wstring& value) {
  std::string path = StorePath();
  std::string key = WideToUtf8(name);
  std::string text = WideToUtf8(value);
  if (path.empty() || !IsValidName(key) || (text.empty() && !value.empty())) return 1;
  std::lock_guard lock(g_mutex);
  StoreLock storeLock(path);
  KeyFilePtr file(g_key_file_new());
  bool missing = false;
  // A malformed store is replaced rather than left to block every later write; the old
  // file is kept beside it, since the values in it may still be recovered by hand.
  if (!Load(file.get(), path, missing)) {
    MoveAsideDamaged(path);
    file.reset(g_key_file_new());
  }
  g_key_file_set_string(file.get(), kGroup, key.c_str(), text.c_str());
  gsize length = 0;
  std::unique_ptr<char, GFreeDeleter> data(g_key_file_to_data(file.get(), &length, nullptr));
  GError* raw = nullptr;
  if (!data || !g_file_set_contents_full(path.c_str(), data.get(), static_cast<gssize>(length),
                                         G_FILE_SET_CONTENTS_CONSISTENT, 0600, &raw)) {
    ErrorPtr error(raw);
    LogError(L"registry.ini write failed: " + Utf8ToWide(error ? error->message : ""));
    return 1;
  }
  return 0;
}
