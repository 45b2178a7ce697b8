// The file object: open flags, sharing locks, positions and lengths.
#include "TempHome.h"
#include "app/CFile.h"

namespace {

class CFileTest : public TempHome {
 protected:
  std::wstring PathOf(const char* name) const { return (m_root / name).wstring(); }
};

TEST_F(CFileTest, CreationFlags) {
  const std::wstring path = PathOf("f.bin");
  CFile file;
  // Neither create bit: an existing file only.
  EXPECT_FALSE(file.Open(path, CFile::modeRead));
  // Open-or-create makes the file and keeps what is there.
  WriteAll(m_root / "f.bin", "abc");
  ASSERT_TRUE(file.Open(path, CFile::modeReadWrite | CFile::modeNoTruncate));
  EXPECT_EQ(file.GetLength(), 3u);
  file.Close();
  // Create truncates.
  ASSERT_TRUE(file.Open(path, CFile::modeWrite | CFile::modeCreate));
  EXPECT_EQ(file.GetLength(), 0u);
  file.Close();
  ASSERT_TRUE(file.Open(PathOf("new.bin"), CFile::modeWrite | CFile::modeNoTruncate | 0x8000));
  EXPECT_TRUE(std::filesystem::exists(m_root / "new.bin"));
}

TEST_F(CFileTest, AccessModesAreEnforced) {
  const std::wstring path = PathOf("f.bin");
  WriteAll(m_root / "f.bin", "hello");
  CFile reader;
  ASSERT_TRUE(reader.Open(path, CFile::modeRead | CFile::shareDenyNone));
  EXPECT_FALSE(reader.Write("x", 1));
  char buffer[16] = {};
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 5u);
  EXPECT_EQ(std::string(buffer), "hello");
  EXPECT_EQ(reader.Read(buffer, sizeof(buffer)), 0u);  // end of file
  EXPECT_EQ(reader.Read(nullptr, 4), 0u);
  EXPECT_EQ(reader.Read(buffer, 0), 0u);

  CFile writer;
  ASSERT_TRUE(writer.Open(path, CFile::modeWrite | CFile::shareDenyNone));
  EXPECT_EQ(writer.Read(buffer, sizeof(buffer)), 0u);
  EXPECT_FALSE(writer.Write(nullptr, 3));
  EXPECT_FALSE(writer.Write("x", 0));
  EXPECT_TRUE(writer.Write("HE", 2));
  EXPECT_TRUE(writer.Flush());
  writer.Close();
  EXPECT_FALSE(writer.Flush());
  EXPECT_EQ(ReadAll(m_root / "f.bin"), "HEllo");
}

TEST_F(CFileTest, SharingModesBecomeLocks) {
  const std::wstring path = PathOf("shared.bin");
  WriteAll(m_root / "shared.bin", "precious");
  struct Case {
    const char* name;
    unsigned first, second;
    bool secondOpens;
  };
  const unsigned rw = CFile::modeReadWrite;
  const Case cases[] = {
      {"exclusive then shared", rw | CFile::shareExclusive, CFile::modeRead | CFile::shareDenyNone, false},
      {"share nothing (0) then exclusive", rw, rw, false},
      {"shared then exclusive", CFile::modeRead | CFile::shareDenyWrite, rw | CFile::shareExclusive, false},
      {"shared then shared", CFile::modeRead | CFile::shareDenyWrite, CFile::modeRead | CFile::shareDenyNone, true},
      // A refused opener that asked to create must not cut the holder's file.
      {"exclusive then create", rw | CFile::shareExclusive, CFile::modeWrite | CFile::modeCreate, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CFile first, second;
    ASSERT_TRUE(first.Open(path, c.first));
    EXPECT_EQ(second.Open(path, c.second), c.secondOpens);
    EXPECT_EQ(second.IsOpen(), c.secondOpens);
    first.Close();
    EXPECT_EQ(ReadAll(m_root / "shared.bin"), "precious");
  }
  // Closing drops the lock.
  CFile again;
  EXPECT_TRUE(again.Open(path, rw | CFile::shareExclusive));
}

TEST_F(CFileTest, PositionsAndLengths) {
  CFile file;
  EXPECT_EQ(file.GetPosition(), 0u);
  EXPECT_EQ(file.GetLength(), 0u);
  EXPECT_EQ(file.Seek(1, 0, CFile::FILE_BEGIN), 0u);
  EXPECT_FALSE(file.SetLength(1, 0));
  ASSERT_TRUE(file.Open(PathOf("f.bin"), CFile::modeReadWrite | CFile::modeCreate));
  ASSERT_TRUE(file.Write("0123456789", 10));
  EXPECT_EQ(file.GetPosition(), 10u);
  EXPECT_EQ(file.Seek(2, 0, CFile::FILE_BEGIN), 2u);
  EXPECT_EQ(file.Seek(3, 0, CFile::FILE_CURRENT), 5u);
  EXPECT_EQ(file.Seek(-1, -1, CFile::FILE_END), 9u);  // high:low = -1
  EXPECT_EQ(file.Seek(-20, -1, CFile::FILE_CURRENT), 0u);  // before the start: error
  // Lengths beyond 4 GiB through the high part (sparse).
  ASSERT_TRUE(file.SetLength(5, 1));
  EXPECT_EQ(file.GetLength(), (1ULL << 32) + 5);
  EXPECT_EQ(file.GetPosition(), (1ULL << 32) + 5);
  ASSERT_TRUE(file.SetLength(4, 0));
  EXPECT_EQ(file.GetLength(), 4u);
  EXPECT_EQ(ReadAll(m_root / "f.bin"), "0123");
}

TEST_F(CFileTest, ProgrammingErrorsAreCaught) {
  const std::wstring path = PathOf("f.bin");
  CFile file;
#ifdef NDEBUG
  // Release builds log the failed check and refuse the call.
  EXPECT_FALSE(file.Open(path, CFile::modeReadWrite | CFile::modeCreate | CFile::osRandomAccess |
                                   CFile::osSequentialScan));
  EXPECT_FALSE(file.Open(path, 3 | CFile::modeCreate));
  EXPECT_FALSE(file.Open(path, CFile::modeWrite | CFile::modeCreate | 0x50));
  ASSERT_TRUE(file.Open(path, CFile::modeReadWrite | CFile::modeCreate));
  EXPECT_FALSE(file.Open(path, CFile::modeRead));
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(file.Seek(0, 0, 7), 0u);
#else
  EXPECT_DEATH(file.Open(path, CFile::modeWrite | CFile::modeCreate | CFile::osRandomAccess |
                                   CFile::osSequentialScan),
               "osRandomAccess");
  ASSERT_TRUE(file.Open(path, CFile::modeReadWrite | CFile::modeCreate));
  EXPECT_DEATH(file.Open(path, CFile::modeRead), "m_hFile == INVALID_HANDLE_VALUE");
  EXPECT_DEATH(file.Seek(0, 0, 7), "nFrom == FILE_BEGIN");
#endif
}

}  // namespace
