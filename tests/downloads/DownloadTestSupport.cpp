// Helpers of the download tests.
#include "DownloadTestSupport.h"

#include <glib.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/MessageCore.h"
#include "support/XdgFolders.h"

TempFolder::TempFolder() {
  char pattern[] = "/tmp/tavo-downloads-test-XXXXXX";
  if (mkdtemp(pattern)) m_path = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

void TempFolder::UseForXdg() const {
  PointXdgFoldersInto(m_path);
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  static const char* kHex = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string ReadDayLogs() {
  const char* state = getenv("XDG_STATE_HOME");
  std::string text;
  if (!state) return text;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(state) / "tavo/log", ec)) {
    const std::string bytes = ReadFile(entry.path());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i + 1] == 0) text.push_back(bytes[i]);
    }
  }
  return text;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds guard) {
  bool timedOut = false;
  const guint guardId = g_timeout_add(
      static_cast<guint>(guard.count()),
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &timedOut);
  // A short tick re-checks conditions that other threads make true.
  const guint tickId = g_timeout_add(
      5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  RunNestedLoopUntil([&] { return timedOut || done(); });
  g_source_remove(tickId);
  if (!timedOut) g_source_remove(guardId);
  EXPECT_FALSE(timedOut) << "guard time-out";
  return !timedOut;
}
