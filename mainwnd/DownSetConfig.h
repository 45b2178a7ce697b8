// The download settings of one account and their store "DownSetConfig.ini": one section
// per account, key "data", the 1048-byte record as hexadecimal text followed by its
// checksum byte (the sum of the record's bytes, modulo 256). Several accounts share the
// file. Any thread; writes replace the file atomically.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Record layout (offsets in bytes, integers little-endian): 0 prevDown, 1 specifyDown,
// 2 prevDownDir and 522 specifyDownDir (UTF-16LE, 260 units, NUL-terminated), 1042 two
// bytes of padding, 1044 downAck (32-bit: 0 ask every time, 1 never ask).
struct DownSetConfig {
  static constexpr std::size_t kRecordSize = 1048;
  // Code units a folder may have: the field holds 260 with the terminator.
  static constexpr std::size_t kMaxFolderUnits = 259;
  using Record = std::array<std::uint8_t, kRecordSize>;

  bool prevDown = true;
  bool specifyDown = false;
  std::wstring prevDownDir;
  std::wstring specifyDownDir;
  std::int32_t downAck = 0;
  // Kept beside the record under keys of their own ("autoresume", "metereddownload", 1 or
  // 0): unfinished downloads go on by themselves after a restart or a network's return, and
  // downloads may use a metered connection.
  bool autoResume = true;
  bool meteredDownload = false;

  // The record's bytes; folders longer than the field are cut at kMaxFolderUnits (callers
  // refuse such folders before they get here).
  Record ToRecord() const;
  // Nothing when the bytes cannot be a record (a folder without its terminator).
  static std::optional<DownSetConfig> FromRecord(const Record& record);
};

// UTF-16 code units of a text (characters beyond the basic plane count two).
std::size_t Utf16Units(const std::wstring& text);

// The record as the store writes it: upper-case hex of every byte, then the checksum byte.
std::string EncodeDownSetRecord(const DownSetConfig::Record& record);
// Reads that text back (either case of hex digits); nothing when the length, a digit or
// the checksum is wrong.
std::optional<DownSetConfig::Record> DecodeDownSetRecord(const std::string& text);

// "<data folder>DownSetConfig.ini".
std::string DownSetConfigPath();

// The account's record from the store; nothing when the file, the section or the key is
// missing, or the value is damaged (which leaves a log line). The flags keep their defaults
// where their keys are missing or hold neither 0 nor 1.
std::optional<DownSetConfig> ReadDownSet(const std::string& path, const std::string& account);
// Writes the account's section, keeping every other line of the file. False (with a log
// line) when the account name cannot be a section name or the file cannot be written.
bool WriteDownSet(const std::string& path, const std::string& account, const DownSetConfig& config);
