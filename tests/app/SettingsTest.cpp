// The settings store's limits, results and file safety.
#include <thread>
#include <vector>

#include "TempHome.h"
#include "app/Settings.h"

namespace {

using SettingsTest = TempHome;

TEST_F(SettingsTest, ValuesUpTo127CharactersAreRead) {
  struct Case {
    const char* name;
    std::wstring value;
    int readResult;
  };
  const Case cases[] = {
      {"empty", L"", 0},
      {"short", L"13800138000", 0},
      {"127 characters", std::wstring(127, L'x'), 0},
      {"128 characters", std::wstring(128, L'x'), 1},
      {"Chinese", L"\u5f20\u4e09", 0},
      {"126 + one outside the basic plane counts as 128",
       std::wstring(126, L'x') + static_cast<wchar_t>(0x1F600), 1},
      {"line breaks and brackets", L"a\nb=[c]\\", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(WriteRegString(L"user", c.value), 0);
    std::wstring read = L"unchanged";
    EXPECT_EQ(ReadRegString(L"user", read), c.readResult);
    EXPECT_EQ(read, c.readResult == 0 ? c.value : L"unchanged");
  }
}

TEST_F(SettingsTest, MissingValuesAndStoreGiveOne) {
  std::wstring value;
  EXPECT_EQ(ReadRegString(L"user", value), 1);
  ASSERT_EQ(WriteRegString(L"autoLogin", L"1"), 0);
  EXPECT_EQ(ReadRegString(L"user", value), 1);
  EXPECT_EQ(WriteRegString(L"bad=name", L"x"), 1);
  EXPECT_EQ(WriteRegString(L"", L"x"), 1);
  EXPECT_EQ(WriteRegString(L"user", std::wstring(1, static_cast<wchar_t>(0xD800))), 1);
  EXPECT_TRUE(std::filesystem::exists(m_root / "config/tavo/registry.ini"));
}

TEST_F(SettingsTest, AMalformedStoreIsReplacedOnWrite) {
  WriteAll(m_root / "config/tavo/registry.ini", "not [ a key file\n\x01");
  std::wstring value;
  EXPECT_EQ(ReadRegString(L"user", value), 1);
  ASSERT_EQ(WriteRegString(L"user", L"abc"), 0);
  EXPECT_EQ(ReadRegString(L"user", value), 0);
  EXPECT_EQ(value, L"abc");
}

TEST_F(SettingsTest, ConcurrentWritersKeepEveryValue) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) {
        WriteRegString(L"v" + std::to_wstring(t) + L"_" + std::to_wstring(i), std::to_wstring(i));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) {
      std::wstring value;
      ASSERT_EQ(ReadRegString(L"v" + std::to_wstring(t) + L"_" + std::to_wstring(i), value), 0);
      EXPECT_EQ(value, std::to_wstring(i));
    }
  }
  // No temporary files are left next to the store.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(m_root / "config/tavo")) {
    files += entry.path().filename() != "registry.ini.lock";
  }
  EXPECT_EQ(files, 1);
}

}  // namespace
