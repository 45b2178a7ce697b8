// Conversions between wide, UTF-8 and the locale's text, including hostile input.
#include <clocale>
#include <cstdlib>

#include "TempHome.h"

#include "app/TextConv.h"

namespace {

const std::wstring kWide = L"A\u00e9\u4e2d\U0001F600";
const std::string kUtf8 = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";

TEST(TextConvTest, RoundTripsValidText) {
  EXPECT_EQ(WideToUtf8(kWide), kUtf8);
  EXPECT_EQ(Utf8ToWide(kUtf8), kWide);
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(""), L"");
  // The test process runs in the C locale, whose text is taken as UTF-8.
  EXPECT_EQ(AnsiToWide(kUtf8), kWide);
  EXPECT_EQ(WideToAnsi(kWide), kUtf8);
  EXPECT_EQ(AnsiToUtf8(kUtf8), kUtf8);
  EXPECT_EQ(Utf8ToAnsi(kUtf8), kUtf8);
}

struct BadUtf8 {
  const char* name;
  std::string bytes;
};

TEST(TextConvTest, MalformedUtf8GivesEmptyText) {
  const BadUtf8 cases[] = {
      {"lone continuation byte", "a\x80"},
      {"cut-off sequence", "\xE4\xB8"},
      {"overlong slash", "\xC0\xAF"},
      {"overlong three-byte NUL", "\xE0\x80\x80"},
      {"encoded surrogate", "\xED\xA0\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80"},
      {"five-byte lead", "\xF8\x88\x80\x80\x80"},
      {"invalid byte FF", "ok\xFF"},
      {"continuation missing", "\xC3("},
  };
  for (const BadUtf8& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToWide(c.bytes), L"");
    EXPECT_EQ(AnsiToWide(c.bytes), L"");
    EXPECT_EQ(Utf8ToAnsi(c.bytes), "");
    EXPECT_EQ(AnsiToUtf8(c.bytes), "");
  }
}

TEST(TextConvTest, WideTextOutsideUnicodeGivesEmptyText) {
  const std::wstring cases[] = {
      std::wstring(L"a") + static_cast<wchar_t>(0xD800),            // lone high surrogate
      std::wstring(1, static_cast<wchar_t>(0xDFFF)) + L"b",         // lone low surrogate
      std::wstring(L"x") + static_cast<wchar_t>(0x110000),          // above the last plane
      std::wstring(1, static_cast<wchar_t>(-1)),                    // negative wchar_t
  };
  for (const std::wstring& c : cases) {
    EXPECT_EQ(WideToUtf8(c), "");
    EXPECT_EQ(WideToAnsi(c), "");
  }
}

TEST(TextConvTest, EmbeddedNulIsKept) {
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

// A legacy single-byte character set, built into a private locale folder for the test.
class LegacyLocaleTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    const std::string target = (m_root / "en_US.ISO-8859-1").string();
    const std::string command = "localedef -i en_US -f ISO-8859-1 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(target)) {
      GTEST_SKIP() << "localedef cannot build a legacy locale here";
    }
    setenv("LOCPATH", m_root.c_str(), 1);
    if (setlocale(LC_ALL, "en_US.ISO-8859-1") == nullptr) GTEST_SKIP() << "locale not loaded";
  }
  void TearDown() override {
    setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
    TempHome::TearDown();
  }
};

TEST_F(LegacyLocaleTest, AnsiIsTheLocalesCharacterSet) {
  EXPECT_EQ(WideToAnsi(L"caf\u00e9"), "caf\xE9");
  EXPECT_EQ(AnsiToWide("caf\xE9"), L"caf\u00e9");
  EXPECT_EQ(AnsiToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9"), "caf\xE9");
  // A character the set cannot hold becomes "?", as the system conversion does.
  EXPECT_EQ(WideToAnsi(L"a\u4e2db"), "a?b");
  EXPECT_EQ(Utf8ToAnsi("a\xE4\xB8\xAD" "b"), "a?b");
  // Invalid input still gives empty text.
  EXPECT_EQ(Utf8ToAnsi("a\xFF"), "");
  EXPECT_EQ(WideToAnsi(std::wstring(1, static_cast<wchar_t>(0xD800))), "");
}

}  // namespace
