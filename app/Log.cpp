// The day log: one UTF-16LE file per role and day, held exclusively while the process runs.
#include "app/Log.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <new>

#include "app/CFile.h"
#include "app/Folders.h"
#include "app/LogClock.h"
#include "app/TextConv.h"

namespace {

using Clock = std::chrono::system_clock;

struct LogSink {
  std::mutex mutex;  // guards every member and every write to the file
  CFile file;
  std::wstring path;
  std::optional<Clock::time_point> fixedNow;
};

// The sink is never destroyed: objects torn down at exit may still log, and the kernel
// closes the file (and drops its lock) when the process ends.
LogSink& Sink() {
  alignas(LogSink) static unsigned char storage[sizeof(LogSink)];
  static LogSink* sink = ::new (storage) LogSink();
  return *sink;
}

Clock::time_point Now() {
  LogSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  return sink.fixedNow.value_or(Clock::now());
}

std::tm LocalTime(Clock::time_point when) {
  std::time_t seconds = Clock::to_time_t(when);
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

// "<folder><base><year><month><day>.txt" with plain decimal numbers, as "%s%d%d%d.txt".
std::wstring DayFileName(const std::wstring& basePath, Clock::time_point when) {
  std::tm t = LocalTime(when);
  char digits[64];
  std::snprintf(digits, sizeof(digits), "%d%d%d.txt", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return basePath + Utf8ToWide(digits);
}

void AppendUtf16(std::u16string& out, std::wstring_view text) {
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
}

void AppendAscii(std::u16string& out, const char* text) {
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
}

// Little-endian bytes of UTF-16 units, whatever the host order.
std::string LittleEndianBytes(const std::u16string& units) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

void WriteLine(const char* severity, const std::wstring& text) {
  // The time stamp is taken before the lock, so stamps in a file need not increase.
  Clock::time_point now = Now();
  std::tm t = LocalTime(now);
  int millis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  char prefix[128];
  std::snprintf(prefix, sizeof(prefix), "%04d/%02d/%02d %02d:%02d:%02d:%03d%s%ld]:",
                t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis,
                severity, static_cast<long>(gettid()));
  std::wstring_view message = text;
  if (!message.empty() && message.back() == L'\n') message.remove_suffix(1);

  std::u16string line;
  line.reserve(64 + message.size());
  AppendAscii(line, prefix);
  AppendUtf16(line, message);
  AppendAscii(line, "\r\n");
  std::string bytes = LittleEndianBytes(line);

  LogSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  if (!sink.file.IsOpen()) return;
  sink.file.Write(bytes.data(), static_cast<unsigned>(bytes.size()));
}

}  // namespace

void LogNormal(const std::wstring& text) { WriteLine("[normal][", text); }

void LogError(const std::wstring& text) { WriteLine("[error][", text); }

bool OpenLog(const std::wstring& baseName) {
  std::wstring folder = GetLogFolder();
  Clock::time_point now = Now();
  std::wstring basePath = folder + baseName;
  std::wstring today = DayFileName(basePath, now);
  std::wstring yesterday = DayFileName(basePath, now - std::chrono::seconds(86400));

  LogSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  sink.file.Close();
  // Only yesterday's file goes; older files are not looked for. Late on a day that is 25 hours
  // long (the clocks went back), 86400 s back is still today: today's file stays.
  std::string yesterdayNative = WideToAnsi(yesterday);
  if (yesterday != today && !yesterdayNative.empty()) unlink(yesterdayNative.c_str());

  sink.path = today;
  // Write access, open or create, shared with no one: a second process of the same role on
  // the same day cannot open the file and its lines are dropped.
  if (folder.empty() || !sink.file.Open(today, CFile::modeWrite | CFile::modeNoTruncate)) {
    std::fprintf(stderr, "Open(%s) false code:%d\n", WideToUtf8(today).c_str(), errno);
    return false;
  }
  sink.file.Seek(0, 0, CFile::FILE_END);
  static const unsigned char kByteOrderMark[] = {0xFF, 0xFE};
  static const unsigned char kLineBreak[] = {'\r', 0, '\n', 0};
  sink.file.Write(kByteOrderMark, sizeof(kByteOrderMark));
  sink.file.Write(kLineBreak, sizeof(kLineBreak));
  return true;
}

void CloseLog() {
  LogSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  sink.file.Close();
}

void SetLogTimeForTest(std::optional<Clock::time_point> now) {
  LogSink& sink = Sink();
  std::lock_guard lock(sink.mutex);
  sink.fixedNow = now;
}
