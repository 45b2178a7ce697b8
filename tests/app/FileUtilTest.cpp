// File and folder operations, and starting a program.
#include <fcntl.h>

#include "TempHome.h"
#include "app/FileUtil.h"
#include "app/Process.h"

namespace {

using FileUtilTest = TempHome;
namespace fs = std::filesystem;

TEST(FileNameOfTest, TakesTheLastPart) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"http://h/a/b.mp4", "b.mp4"}, {"C:\\x\\y.pdf", "y.pdf"}, {"plain.txt", "plain.txt"},
      {"/a\\b/c\\d", "c\\d"},        {"dir/", ""},              {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameOf(c.in), c.out) << c.in;
}

TEST_F(FileUtilTest, GetFileSize64) {
  WriteAll(m_root / "f.bin", std::string(1234, 'x'));
  EXPECT_EQ(GetFileSize64((m_root / "f.bin").string()), 1234u);
  EXPECT_EQ(GetFileSize64((m_root / "f.b*").string()), 1234u);
  EXPECT_EQ(GetFileSize64((m_root / "missing").string()), 0u);
  EXPECT_EQ(GetFileSize64(m_root.string()), 0u);
  EXPECT_EQ(GetFileSize64(""), 0u);
  // Beyond 4 GiB without writing it: a sparse file.
  int fd = open((m_root / "big").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, (1LL << 32) + 7), 0);
  close(fd);
  EXPECT_EQ(GetFileSize64((m_root / "big").string()), (1ULL << 32) + 7);
}

class DeleteFolderExceptTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    m_folder = m_root / "course";
    for (const char* file : {"a.mp4", "keep-me.mp4", "sub/b.pdf", "sub/keep-me.pdf", "sub2/c.txt"}) {
      WriteAll(m_folder / file, "x");
    }
    fs::create_directories(m_folder / "empty");
    WriteAll(m_root / "outside/precious.txt", "x");
    fs::create_directory_symlink(m_root / "outside", m_folder / "link");
  }
  std::vector<std::string> Left() const {
    std::vector<std::string> left;
    if (!fs::exists(m_folder)) return left;
    for (const auto& entry : fs::recursive_directory_iterator(m_folder)) {
      left.push_back(entry.path().lexically_relative(m_folder).string());
    }
    std::sort(left.begin(), left.end());
    return left;
  }
  fs::path m_folder;
};

TEST_F(DeleteFolderExceptTest, KeepsFilesWhosePathHoldsTheKeepText) {
  ASSERT_TRUE(DeleteFolderExcept(m_folder.string(), "keep-me"));
  EXPECT_EQ(Left(), (std::vector<std::string>{"keep-me.mp4", "sub", "sub/keep-me.pdf"}));
  // The link went as a link; what it pointed at is untouched.
  EXPECT_TRUE(fs::exists(m_root / "outside/precious.txt"));
}

TEST_F(DeleteFolderExceptTest, EmptyKeepTextDeletesNoFile) {
  ASSERT_TRUE(DeleteFolderExcept(m_folder.string() + "/", ""));
  // Only the folder that was empty already goes.
  EXPECT_EQ(Left(), (std::vector<std::string>{"a.mp4", "keep-me.mp4", "link", "sub", "sub/b.pdf",
                                              "sub/keep-me.pdf", "sub2", "sub2/c.txt"}));
}

TEST_F(DeleteFolderExceptTest, NothingKeptRemovesTheFolder) {
  ASSERT_TRUE(DeleteFolderExcept(m_folder.string(), "no such text"));
  EXPECT_FALSE(fs::exists(m_folder));
  EXPECT_TRUE(fs::exists(m_root / "outside/precious.txt"));
  EXPECT_FALSE(DeleteFolderExcept((m_root / "missing").string(), "x"));
}

TEST_F(FileUtilTest, FindFirstFileInSkipsFolders) {
  fs::create_directories(m_root / "d/sub");
  WriteAll(m_root / "d/sub/inner.txt", "x");
  EXPECT_EQ(FindFirstFileIn((m_root / "d").string()), "");
  WriteAll(m_root / "d/only.mp4", "x");
  EXPECT_EQ(FindFirstFileIn((m_root / "d").string()), (m_root / "d/only.mp4").string());
  EXPECT_EQ(FindFirstFileIn((m_root / "d/").string()), (m_root / "d/only.mp4").string());
  EXPECT_EQ(FindFirstFileIn((m_root / "missing").string()), "");
}

TEST_F(FileUtilTest, StartProcessWaitsForTheProgram) {
  // The program writes its argument count and first argument only after a pause, so the
  // file exists on return only when StartProcess waited.
  const fs::path script = m_root / "prog.sh";
  WriteAll(script, "#!/bin/sh\nsleep 0.3\nprintf '%s|%s' \"$#\" \"$1\" > \"$(dirname \"$0\")/out.txt\"\n");
  fs::permissions(script, fs::perms::owner_all);
  ASSERT_TRUE(StartProcess(script.wstring(), L"a b \"c\" \u4e2d"));
  EXPECT_EQ(ReadAll(m_root / "out.txt"), "1|a b \"c\" \xE4\xB8\xAD");
  EXPECT_FALSE(StartProcess(L"tavo-no-such-program", L"x"));
}

}  // namespace
