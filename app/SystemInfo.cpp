// System facts from the kernel, os-release, CPUID and GIO.
#include "app/SystemInfo.h"

#include <gio/gio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "app/Log.h"
#include "app/TextConv.h"

#ifndef TAVO_VERSION_TEXT
#define TAVO_VERSION_TEXT ""
#endif

namespace {

// Leaf 1 (EDX, EAX) then leaf 3 (EDX, ECX) as 32 hexadecimal digits; zeros for a leaf the
// processor does not have.
std::string ProcessorId() {
  unsigned a1 = 0, b1 = 0, c1 = 0, d1 = 0, a3 = 0, b3 = 0, c3 = 0, d3 = 0;
#if defined(__x86_64__) || defined(__i386__)
  __get_cpuid(1, &a1, &b1, &c1, &d1);
  if (__get_cpuid_max(0, nullptr) >= 3) __cpuid_count(3, 0, a3, b3, c3, d3);
#endif
  char text[40];
  std::snprintf(text, sizeof(text), "%08X%08X%08X%08X", d1, a1, d3, c3);
  return text;
}

// The root file system's id, standing in for the system volume's serial number.
std::string DiskId() {
  struct statvfs info;
  if (statvfs("/", &info) != 0) {
    LogError(L"disk_id catch error!");
    return {};
  }
  char text[16];
  std::snprintf(text, sizeof(text), "%08X", static_cast<std::uint32_t>(info.f_fsid));
  return text;
}

bool IsAsciiAlnum(int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// 32-bit two's-complement left shift: the count's low 5 bits, bits shifted out dropped.
std::int32_t Shl(std::int32_t value, std::int32_t count) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << (count & 31));
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) ++i;
    out.push_back(value[i]);
  }
  return out;
}

}  // namespace

bool IsNetworkConnected() {
  GNetworkMonitor* monitor = g_network_monitor_get_default();  // owned by GIO
  return monitor != nullptr && g_network_monitor_get_network_available(monitor);
}

std::string OsNameFromRelease(std::string_view text) {
  std::string id, version;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.starts_with("ID=")) id = Unquote(line.substr(3));
    if (line.starts_with("VERSION_ID=")) version = Unquote(line.substr(11));
  }
  return id + version;
}

std::string GetOsName() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(path);
    if (!in) continue;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return OsNameFromRelease(text);
  }
  return {};
}

std::string GetComputerNameText() {
  char name[500] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return {};
  return name;
}

std::string MachineIdFromRaw(const std::string& raw) {
  std::string s;
  for (size_t i = 0; i < raw.size(); ++i) {
    s.push_back(raw[i]);
    if ((i + 1) % 5 == 0 && i + 1 < raw.size()) s.push_back('-');
  }
  const std::int32_t length = static_cast<std::int32_t>(s.size());
  std::int32_t k = 1;
  for (std::int32_t i = 0; i < length; ++i) {
    char& c = s[static_cast<size_t>(i)];
    if (c >= 'A' && c <= 'P') {
      c = static_cast<char>(c + ((length + 8) ^ i) % 10);
      if (!IsAsciiAlnum(c)) c = 'R';
    }
    if (c < '0' || c > '9') continue;
    std::int32_t v = c - '0';
    if (v >= 2) v = (Shl(v - 2, i) ^ v) % 10;
    if (v == 1) v = Shl(1, length / 9) % 7;
    if (v == 0) {
      if (k >= 10) k = 2;
      // The count wraps like the 32-bit product it is.
      std::int32_t count = static_cast<std::int32_t>(static_cast<std::uint32_t>(length) *
                                                     static_cast<std::uint32_t>(i));
      v = Shl(static_cast<std::int32_t>(c) ^ k, count) % 9;
      ++k;
    }
    int code = v + '0';
    c = IsAsciiAlnum(code) ? static_cast<char>(code) : '5';
  }
  return s;
}

std::string GetMachineId() { return MachineIdFromRaw(ProcessorId() + DiskId()); }

std::wstring FileVersionTextFrom(std::string_view version) {
  if (version.empty()) return L"None VerSion Supprot";
  return Utf8ToWide(version);
}

std::wstring GetFileVersionText() { return FileVersionTextFrom(TAVO_VERSION_TEXT); }
