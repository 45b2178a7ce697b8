// A thin file object over a POSIX descriptor, opened with Win32-style flags. Sharing modes
// become advisory locks (flock): "share nothing" takes an exclusive lock, every other mode a
// shared one, both without waiting, so an open that the sharing rules forbid fails.
#pragma once

#include <cstdint>
#include <string>

class CFile {
 public:
  // Bits of nOpenFlags.
  static constexpr unsigned kAccessMask = 0x3;  // 0 read, 1 write, 2 read and write
  static constexpr unsigned modeRead = 0x0;
  static constexpr unsigned modeWrite = 0x1;
  static constexpr unsigned modeReadWrite = 0x2;
  static constexpr unsigned kShareMask = 0x70;
  static constexpr unsigned shareExclusive = 0x10;
  static constexpr unsigned shareDenyWrite = 0x20;  // others may read
  static constexpr unsigned shareDenyRead = 0x30;   // others may write
  static constexpr unsigned shareDenyNone = 0x40;   // others may read and write
  static constexpr unsigned modeNoInherit = 0x80;
  static constexpr unsigned modeCreate = 0x1000;    // create, truncating an existing file
  static constexpr unsigned modeNoTruncate = 0x2000;  // alone: open, creating a missing file
  static constexpr unsigned typeIgnored = 0x8000;
  static constexpr unsigned osNoBuffer = 0x10000;
  static constexpr unsigned osWriteThrough = 0x20000;
  static constexpr unsigned osRandomAccess = 0x40000;
  static constexpr unsigned osSequentialScan = 0x80000;

  // Origins of Seek.
  static constexpr unsigned FILE_BEGIN = 0;
  static constexpr unsigned FILE_CURRENT = 1;
  static constexpr unsigned FILE_END = 2;

  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  virtual ~CFile();

  // Current position; 0 on error.
  virtual std::uint64_t GetPosition() const;
  // True when the file was opened. The object must be closed before (assertion).
  virtual bool Open(const std::wstring& path, unsigned nOpenFlags);
  // Bytes read; 0 for an empty request, a null buffer or an error.
  virtual unsigned Read(void* buffer, unsigned count);
  // True only when all `count` bytes were written; false for an empty request or null buffer.
  virtual bool Write(const void* buffer, unsigned count);
  // Pushes written data to the disk; false when closed.
  virtual bool Flush();
  virtual void Close();
  // Moves by the signed 64-bit distance (high:low) from nFrom; the new position, 0 on error.
  virtual std::uint64_t Seek(std::int32_t low, std::int32_t high, unsigned nFrom);
  // Cuts or extends the file to (high:low) bytes.
  virtual bool SetLength(std::int32_t low, std::int32_t high);
  // Size in bytes; 0 on error.
  virtual std::uint64_t GetLength() const;

  bool IsOpen() const { return m_hFile != kInvalid; }
  int Handle() const { return m_hFile; }

 private:
  static constexpr int kInvalid = -1;
  int m_hFile = kInvalid;
};
