// Number reading and the duration and size formats.
#include <gtest/gtest.h>

#include "app/Values.h"

namespace {

TEST(ValuesTest, IsNumber) {
  struct Case {
    const char* text;
    bool number;
  };
  const Case cases[] = {
      {"13800138000", true}, {" 42 ", true},  {"1e5", true},    {"-3.25", true},
      {".5", true},          {"12a", false},  {"", false},      {"   ", false},
      {"1 2", false},        {"abc", false},  {"0x1A", false},  {"1e999", false},
      {"+", false},          {"1.2.3", false}, {"\t7\n", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsNumber(c.text), c.number) << '"' << c.text << '"';
}

TEST(ValuesTest, FormatDuration) {
  struct Case {
    std::int64_t seconds;
    const wchar_t* text;
  };
  const Case cases[] = {
      {0, L"00:00"},         {5, L"00:05"},        {60, L"01:00"},
      {65, L"01:05"},        {3599, L"59:59"},     {3600, L"01:00:00"},
      {3725, L"01:02:05"},   {100 * 3600, L"100:00:00"}, {36000 + 61, L"10:01:01"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}

TEST(ValuesTest, SizeInUnits) {
  constexpr std::int64_t K = 1024, M = K * K, G = M * K, T = G * K;
  struct Case {
    std::int64_t bytes;
    SizeInUnitsResult result;
  };
  const Case cases[] = {
      {-5, {1, SizeUnit::Kilobytes}},       {0, {1, SizeUnit::Kilobytes}},
      {500, {1, SizeUnit::Kilobytes}},      {1023, {1, SizeUnit::Kilobytes}},
      {1024, {1, SizeUnit::Kilobytes}},     {1536, {1, SizeUnit::Kilobytes}},
      {M - 1, {1023, SizeUnit::Kilobytes}}, {M, {1, SizeUnit::Megabytes}},
      {3 * G, {3, SizeUnit::Gigabytes}},    {T - 1, {1023, SizeUnit::Gigabytes}},
      {5 * T + G, {5, SizeUnit::Terabytes}},
  };
  for (const Case& c : cases) EXPECT_EQ(SizeInUnits(c.bytes), c.result) << c.bytes;
}

}  // namespace
