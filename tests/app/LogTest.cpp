// The day log's file names and exact bytes.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <thread>
#include <vector>

#include "TempHome.h"
#include "app/Log.h"
#include "app/LogClock.h"

namespace {

using Clock = std::chrono::system_clock;

// A UTC time as a clock value; the tests run in UTC unless they say otherwise.
Clock::time_point At(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                     int millis = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return Clock::from_time_t(timegm(&t)) + std::chrono::milliseconds(millis);
}

// UTF-16LE bytes of an ASCII/BMP text.
std::string U16(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// Back from UTF-16LE, BMP only (enough for the texts these tests write).
std::u16string FromU16(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

const std::string kOpening = "\xFF\xFE" + U16(u"\r\n");

class LogTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    CloseLog();
    SetLogTimeForTest(std::nullopt);
    TempHome::TearDown();
  }
  std::filesystem::path LogFolder() const { return m_root / "state/tavo/log"; }
  std::string Tid() const { return std::to_string(gettid()); }
};

TEST_F(LogTest, LinesBeforeOpenAreDroppedAndEachOpenAddsAMark) {
  SetLogTimeForTest(At(2020, 5, 25, 16, 19, 56, 123));
  LogNormal(L"before open");  // no file, no failure
  EXPECT_FALSE(std::filesystem::exists(LogFolder()));

  ASSERT_TRUE(OpenLog(L"browserlog"));
  LogNormal(L"*****_tWinMain start*****");
  LogError(L"ends with a line feed\n");
  LogNormal(L"keeps its carriage return\r\n");
  LogNormal(L"two feeds\n\n");
  LogNormal(L"");
  CloseLog();
  LogNormal(L"after close");
  ASSERT_TRUE(OpenLog(L"browserlog"));
  LogError(L"second run \u4e2d\u6587");
  CloseLog();

  const std::u16string stamp = u"2020/05/25 16:19:56:123";
  const std::string narrowTid = Tid();
  const std::u16string tid(narrowTid.begin(), narrowTid.end());
  std::string expected = kOpening +
      U16(stamp + u"[normal][" + tid + u"]:*****_tWinMain start*****\r\n") +
      U16(stamp + u"[error][" + tid + u"]:ends with a line feed\r\n") +
      U16(stamp + u"[normal][" + tid + u"]:keeps its carriage return\r\r\n") +
      U16(stamp + u"[normal][" + tid + u"]:two feeds\n\r\n") +
      U16(stamp + u"[normal][" + tid + u"]:\r\n") + kOpening +
      U16(stamp + u"[error][" + tid + u"]:second run \u4e2d\u6587\r\n");
  EXPECT_EQ(ReadAll(LogFolder() / "browserlog2020525.txt"), expected);
}

TEST_F(LogTest, CharactersBeyondTheBasicPlaneBecomeSurrogatePairs) {
  SetLogTimeForTest(At(2021, 1, 2));
  ASSERT_TRUE(OpenLog(L"renderlog"));
  LogNormal(std::wstring(L"x") + static_cast<wchar_t>(0x1F600) + static_cast<wchar_t>(0xD800));
  CloseLog();
  std::string bytes = ReadAll(LogFolder() / "renderlog202112.txt");
  EXPECT_TRUE(bytes.ends_with(U16(u"x\U0001F600\uFFFD\r\n")));
}

TEST_F(LogTest, TimeStampIsZeroPadded) {
  SetLogTimeForTest(At(2009, 3, 4, 5, 6, 7, 8));
  ASSERT_TRUE(OpenLog(L"browserlog"));
  LogNormal(L"x");
  CloseLog();
  std::u16string text = FromU16(ReadAll(LogFolder() / "browserlog200934.txt").substr(6));
  EXPECT_EQ(text.substr(0, 32), u"2009/03/04 05:06:07:008[normal][");
}

struct DayNameCase {
  const char* name;
  int year, month, day;
  const char* file;
};

TEST_F(LogTest, DayFileNamesRunTheDigitsTogether) {
  const DayNameCase cases[] = {
      {"May 25", 2020, 5, 25, "browserlog2020525.txt"},
      {"January 15", 2020, 1, 15, "browserlog2020115.txt"},
      {"November 5", 2020, 11, 5, "browserlog2020115.txt"},
      {"December 31", 1999, 12, 31, "browserlog19991231.txt"},
  };
  for (const DayNameCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetLogTimeForTest(At(c.year, c.month, c.day));
    ASSERT_TRUE(OpenLog(L"browserlog"));
    CloseLog();
    EXPECT_TRUE(std::filesystem::exists(LogFolder() / c.file));
  }
  // 15 January and 5 November share one file: two openings, two marks.
  EXPECT_EQ(ReadAll(LogFolder() / "browserlog2020115.txt"), kOpening + kOpening);
}

TEST_F(LogTest, OpeningDeletesYesterdaysFileOnly) {
  // Yesterday is 86400 s back, across a month and a year boundary.
  const std::filesystem::path folder = LogFolder();
  WriteAll(folder / "browserlog20191230.txt", "two days ago");
  WriteAll(folder / "browserlog20191231.txt", "yesterday");
  WriteAll(folder / "renderlog20191231.txt", "other role");
  SetLogTimeForTest(At(2020, 1, 1, 0, 30));
  ASSERT_TRUE(OpenLog(L"browserlog"));
  CloseLog();
  EXPECT_FALSE(std::filesystem::exists(folder / "browserlog20191231.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder / "browserlog20191230.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder / "renderlog20191231.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder / "browserlog202011.txt"));
}

TEST_F(LogTest, LateOnALongDayTodaysFileIsKept) {
  // US Eastern time went back one hour early on 1 November 2020: at 23:30 that day, 86400 s
  // earlier is 00:30 the same day.
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  WriteAll(LogFolder() / "browserlog2020111.txt", "earlier today");
  SetLogTimeForTest(At(2020, 11, 2, 4, 30));  // 23:30 EST on 1 November
  ASSERT_TRUE(OpenLog(L"browserlog"));
  CloseLog();
  EXPECT_EQ(ReadAll(LogFolder() / "browserlog2020111.txt"), "earlier today" + kOpening);
}

TEST_F(LogTest, SecondProcessOfTheSameRoleLosesItsLines) {
  SetLogTimeForTest(At(2022, 6, 7));
  ASSERT_TRUE(OpenLog(L"renderlog"));
  LogNormal(L"first");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child's inherited descriptor shares the parent's lock, so drop it and open anew
    // as a separate process would.
    CloseLog();
    bool opened = OpenLog(L"renderlog");
    LogNormal(L"second");
    CloseLog();
    _exit(opened ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the second opener got the file";
  LogNormal(L"third");
  CloseLog();
  std::u16string text = FromU16(ReadAll(LogFolder() / "renderlog202267.txt"));
  EXPECT_NE(text.find(u"]:first\r\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"]:third\r\n"), std::u16string::npos);
  EXPECT_EQ(text.find(u"second"), std::u16string::npos);
  // The other role has a file of its own.
  ASSERT_TRUE(OpenLog(L"browserlog"));
}

TEST_F(LogTest, ConcurrentWritersNeverInterleave) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  constexpr int kThreads = 8;
  constexpr int kLines = 500;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &go] {
      while (!go) std::this_thread::yield();
      std::wstring body(200 + t, static_cast<wchar_t>(L'a' + t));
      for (int i = 0; i < kLines; ++i) (t % 2 ? LogError : LogNormal)(body);
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  CloseLog();

  std::filesystem::path file;
  for (const auto& entry : std::filesystem::directory_iterator(LogFolder())) file = entry.path();
  std::u16string text = FromU16(ReadAll(file).substr(kOpening.size()));
  std::string narrow(text.begin(), text.end());
  const std::regex line(
      R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d:\d{3}\[(normal|error)\]\[\d+\]:([a-h])\2*)");
  int lines = 0;
  size_t start = 0;
  while (start < narrow.size()) {
    size_t end = narrow.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    std::string one = narrow.substr(start, end - start);
    ASSERT_TRUE(std::regex_match(one, line)) << one;
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(lines, kThreads * kLines);
}

TEST_F(LogTest, OpenFailsWhenTheFolderCannotBeMade) {
  WriteAll(m_root / "state", "a file where the folder should be");
  EXPECT_FALSE(OpenLog(L"browserlog"));
  LogNormal(L"dropped");  // the sink stays closed
}

}  // namespace
