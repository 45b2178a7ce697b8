// Folder layout under the XDG base folders.
#include <unistd.h>

#include "TempHome.h"
#include "app/Folders.h"
#include "app/TextConv.h"

namespace {

using FoldersTest = TempHome;

std::wstring W(const std::filesystem::path& path) { return AnsiToWide(path.string()); }

TEST_F(FoldersTest, ProgramFolderIsTheExecutables) {
  std::wstring exe = GetExePath();
  EXPECT_EQ(exe, W(std::filesystem::read_symlink("/proc/self/exe")));
  std::wstring folder = GetExeFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), L'/');
  EXPECT_EQ(exe.substr(0, folder.size()), folder);
}

TEST_F(FoldersTest, FoldersAreMadeUnderTheBaseFolders) {
  SetSignedInAccount("\xE5\xBC\xA0" "user");  // a Chinese account name
  const std::wstring account = L"\u5f20user";
  const std::wstring data = W(m_root / "data");
  struct Case {
    const char* name;
    std::wstring got;
    std::wstring expected;
  };
  const Case cases[] = {
      {"data root", GetDataRoot(), data},
      {"program data", GetProgramDataFolder(), data + L"/tavo/"},
      {"user", GetUserFolder(L"other"), data + L"/tavo/other"},
      {"download", GetDownloadFolder(), data + L"/tavo/" + account + L"/download/"},
      {"header", GetHeaderFolder(), data + L"/tavo/" + account + L"/header/"},
      {"header of another", GetHeaderFolder(L"other"), data + L"/tavo/other/header/"},
      {"db", GetDbFolder(), data + L"/tavo/" + account + L"/db/"},
      {"password store", GetPasswordStoreFolder(), data + L"/tavo/SqUserDB/"},
      {"log", GetLogFolder(), W(m_root / "state/tavo/log/")},
      {"state", GetStateFolder(), W(m_root / "state/tavo/")},
      {"config", GetConfigFolder(), W(m_root / "config/tavo/")},
      {"cache", GetCacheFolder(), W(m_root / "cache/tavo/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got, c.expected);
    EXPECT_TRUE(std::filesystem::is_directory(WideToAnsi(c.got)));
  }
  SetSignedInAccount("");
}

TEST_F(FoldersTest, RelativeOrMissingBaseFallsBackToHome) {
  setenv("HOME", (m_root / "home").c_str(), 1);
  setenv("XDG_DATA_HOME", "relative/data", 1);
  unsetenv("XDG_STATE_HOME");
  EXPECT_EQ(GetDataRoot(), W(m_root / "home/.local/share"));
  EXPECT_EQ(GetLogFolder(), W(m_root / "home/.local/state/tavo/log/"));
  EXPECT_TRUE(std::filesystem::is_directory(m_root / "home/.local/state/tavo/log"));
}

}  // namespace
