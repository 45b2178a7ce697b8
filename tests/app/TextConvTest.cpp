// Conversions between wide, UTF-8 and the locale's text, including hostile input.
#include <gtest/gtest.h>

#include <clocale>

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

// A locale with a legacy character set, where one is installed.
TEST(TextConvTest, LegacyLocaleCharacterSet) {
  const char* previous = setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  if (setlocale(LC_ALL, "zh_CN.GB18030") == nullptr && setlocale(LC_ALL, "zh_CN.GBK") == nullptr &&
      setlocale(LC_ALL, "en_US.ISO-8859-1") == nullptr) {
    GTEST_SKIP() << "no legacy locale installed";
  }
  std::wstring text = L"caf\u00e9";
  std::string ansi = WideToAnsi(text);
  EXPECT_NE(ansi, WideToUtf8(text));
  EXPECT_EQ(AnsiToWide(ansi), text);
  setlocale(LC_ALL, saved.c_str());
}

}  // namespace
