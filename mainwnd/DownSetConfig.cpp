// The download settings record and its store.
#include "mainwnd/DownSetConfig.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"

namespace {

constexpr std::size_t kPrevDownDirAt = 2;
constexpr std::size_t kSpecifyDownDirAt = 522;
constexpr std::size_t kFolderUnits = 260;
constexpr std::size_t kDownAckAt = 1044;
constexpr const char* kKey = "data";
constexpr const char* kAutoResumeKey = "autoresume";
constexpr const char* kMeteredKey = "metereddownload";

std::mutex g_storeMutex;

void PutFolder(DownSetConfig::Record& record, std::size_t at, const std::wstring& folder) {
  std::size_t unit = 0;
  auto put = [&](std::uint16_t value) {
    record[at + 2 * unit] = static_cast<std::uint8_t>(value & 0xFF);
    record[at + 2 * unit + 1] = static_cast<std::uint8_t>(value >> 8);
    ++unit;
  };
  for (wchar_t c : folder) {
    const auto code = static_cast<std::uint32_t>(c);
    const std::size_t need = code > 0xFFFF ? 2 : 1;
    if (unit + need > DownSetConfig::kMaxFolderUnits) break;
    if (need == 2) {
      put(static_cast<std::uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
      put(static_cast<std::uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      put(static_cast<std::uint16_t>(code));
    }
  }
  // The rest of the field is zero: the terminator and what follows it.
}

std::optional<std::wstring> GetFolder(const DownSetConfig::Record& record, std::size_t at) {
  std::wstring folder;
  for (std::size_t unit = 0; unit < kFolderUnits; ++unit) {
    const std::uint32_t value = record[at + 2 * unit] | (record[at + 2 * unit + 1] << 8);
    if (value == 0) return folder;
    if (value >= 0xD800 && value <= 0xDBFF && unit + 1 < kFolderUnits) {
      const std::uint32_t low = record[at + 2 * unit + 2] | (record[at + 2 * unit + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        folder.push_back(static_cast<wchar_t>(0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00)));
        ++unit;
        continue;
      }
    }
    // A lone surrogate cannot be a character of a folder name.
    if (value >= 0xD800 && value <= 0xDFFF) return std::nullopt;
    folder.push_back(static_cast<wchar_t>(value));
  }
  return std::nullopt;  // no terminator
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool SameKey(const std::string& a, const char* b) {
  std::string lower;
  for (char c : a) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  return lower == b;
}

// The section name of a "[name]" line, or nothing.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string text = Trim(line);
  if (text.size() < 2 || text.front() != '[') return std::nullopt;
  const auto close = text.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(text.substr(1, close - 1));
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream file(path, std::ios::binary);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A section name must stay one line and one header.
bool UsableSection(const std::string& account) {
  if (account.empty() || Trim(account) != account) return false;
  for (char c : account)
    if (c == ']' || c == '[' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

// Replaces the first `key` line of the account's section with `value`, or adds `value`
// after the section's last setting (a new section at the end when there is none).
void SetKey(std::vector<std::string>& lines, const std::string& account, const char* key,
            const std::string& value) {
  std::optional<std::string> section;
  std::optional<std::size_t> header;
  std::size_t last = 0;  // the section's last line with a setting (or its header)
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionOf(lines[i])) {
      if (header) break;  // the account's section ended
      section = std::move(name);
      if (section == account) header = last = i;
      continue;
    }
    if (!header) continue;
    const auto equals = lines[i].find('=');
    if (equals == std::string::npos) continue;
    last = i;
    if (SameKey(Trim(lines[i].substr(0, equals)), key)) {
      lines[i] = value;
      return;
    }
  }
  if (header) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1), value);
  } else {
    lines.push_back("[" + account + "]");
    lines.push_back(value);
  }
}

}  // namespace

DownSetConfig::Record DownSetConfig::ToRecord() const {
  Record record{};
  record[0] = prevDown ? 1 : 0;
  record[1] = specifyDown ? 1 : 0;
  PutFolder(record, kPrevDownDirAt, prevDownDir);
  PutFolder(record, kSpecifyDownDirAt, specifyDownDir);
  const auto ack = static_cast<std::uint32_t>(downAck);
  for (int i = 0; i < 4; ++i) record[kDownAckAt + i] = static_cast<std::uint8_t>(ack >> (8 * i));
  return record;
}

std::optional<DownSetConfig> DownSetConfig::FromRecord(const Record& record) {
  auto prev = GetFolder(record, kPrevDownDirAt);
  auto specify = GetFolder(record, kSpecifyDownDirAt);
  if (!prev || !specify) return std::nullopt;
  DownSetConfig config;
  config.prevDown = record[0] != 0;
  config.specifyDown = record[1] != 0;
  config.prevDownDir = std::move(*prev);
  config.specifyDownDir = std::move(*specify);
  std::uint32_t ack = 0;
  for (int i = 0; i < 4; ++i) ack |= static_cast<std::uint32_t>(record[kDownAckAt + i]) << (8 * i);
  config.downAck = static_cast<std::int32_t>(ack);
  return config;
}

std::size_t Utf16Units(const std::wstring& text) {
  std::size_t units = 0;
  for (wchar_t c : text) units += static_cast<std::uint32_t>(c) > 0xFFFF ? 2 : 1;
  return units;
}

std::string EncodeDownSetRecord(const DownSetConfig::Record& record) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(record.size() * 2 + 2);
  std::uint8_t sum = 0;
  for (std::uint8_t byte : record) {
    sum = static_cast<std::uint8_t>(sum + byte);
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 0xF]);
  }
  text.push_back(kHex[sum >> 4]);
  text.push_back(kHex[sum & 0xF]);
  return text;
}

std::optional<DownSetConfig::Record> DecodeDownSetRecord(const std::string& text) {
  DownSetConfig::Record record{};
  if (text.size() != record.size() * 2 + 2) return std::nullopt;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i <= record.size(); ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(high * 16 + low);
    if (i == record.size()) return byte == sum ? std::optional(record) : std::nullopt;
    record[i] = byte;
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  return std::nullopt;
}

std::string DownSetConfigPath() { return WideToAnsi(GetProgramDataFolder()) + "DownSetConfig.ini"; }

std::optional<DownSetConfig> ReadDownSet(const std::string& path, const std::string& account) {
  std::lock_guard lock(g_storeMutex);
  std::optional<std::string> section;
  std::optional<std::string> data;
  std::optional<std::string> autoResume;
  std::optional<std::string> metered;
  for (const std::string& line : ReadLines(path)) {
    if (auto name = SectionOf(line)) {
      section = std::move(name);
      continue;
    }
    if (section != account) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    if (SameKey(key, kKey) && !data) data = std::move(value);
    if (SameKey(key, kAutoResumeKey)) autoResume = std::move(value);
    if (SameKey(key, kMeteredKey)) metered = std::move(value);
  }
  if (!data) return std::nullopt;
  auto record = DecodeDownSetRecord(*data);
  auto config = record ? DownSetConfig::FromRecord(*record) : std::nullopt;
  if (!config) {
    LogError(L"DownSetConfig.ini: the settings of " + AnsiToWide(account) +
             L" are damaged (length, hex digits, checksum or folder text); the defaults stay");
    return std::nullopt;
  }
  if (autoResume == "0" || autoResume == "1") config->autoResume = *autoResume == "1";
  if (metered == "0" || metered == "1") config->meteredDownload = *metered == "1";
  return config;
}

bool WriteDownSet(const std::string& path, const std::string& account, const DownSetConfig& config) {
  if (!UsableSection(account)) {
    LogError(L"DownSetConfig.ini: the account name " + AnsiToWide(account) + L" cannot name a section");
    return false;
  }
  std::lock_guard lock(g_storeMutex);
  std::vector<std::string> lines = ReadLines(path);
  const std::pair<const char*, std::string> values[] = {
      {kKey, EncodeDownSetRecord(config.ToRecord())},
      {kAutoResumeKey, config.autoResume ? "1" : "0"},
      {kMeteredKey, config.meteredDownload ? "1" : "0"},
  };
  for (const auto& [key, text] : values) SetKey(lines, account, key, std::string(key) + "=" + text);
  std::ostringstream text;
  for (const std::string& line : lines) text << line << "\n";
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << text.str();
    file.flush();
    if (!file) {
      LogError(L"DownSetConfig.ini: cannot write " + AnsiToWide(temporary));
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    LogError(L"DownSetConfig.ini: cannot replace " + AnsiToWide(path));
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
