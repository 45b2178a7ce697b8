// The download settings: the record's bytes and the store's hex+checksum text (read back by
// an implementation of the format of this test's own), accounts side by side in one file,
// damaged sections, and the panel in the main window (first start, option rules, choosing
// a folder, saving, refusing folders that cannot be used, answering without asking).
// Screenshot: <build>/screenshots/down-set-panel.png.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "account/WindowTestKit.h"
#include "app/DesktopDownloads.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/DownSetConfig.h"
#include "mainwnd/DownSetPanel.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "service/Records.h"
#include "ui/Combo.h"
#include "ui/Label.h"
#include "ui/Option.h"

namespace {

// The store's format written out once more, independently: every byte as two hex digits,
// then the byte sum modulo 256. Answers the record's bytes, or nothing.
std::optional<std::vector<uint8_t>> ReadHexStruct(const std::string& text, size_t size) {
  if (text.size() != 2 * size + 2) return std::nullopt;
  std::vector<uint8_t> bytes;
  unsigned sum = 0;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const unsigned value = static_cast<unsigned>(std::stoul(text.substr(i, 2), nullptr, 16));
    if (i / 2 == size) return (sum & 0xFF) == value ? std::optional(bytes) : std::nullopt;
    bytes.push_back(static_cast<uint8_t>(value));
    sum += value;
  }
  return std::nullopt;
}

// The "data" value of `section` in an INI text.
std::string ValueOf(const std::string& ini, const std::string& section, const std::string& name = "data") {
  const std::string header = "[" + section + "]\n";
  const size_t at = ini.find(header);
  if (at == std::string::npos) return {};
  const size_t key = ini.find(name + "=", at + header.size());
  if (key == std::string::npos) return {};
  const size_t value = key + name.size() + 1;
  return ini.substr(value, ini.find('\n', key) - value);
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::u16string Utf16At(const std::vector<uint8_t>& bytes, size_t at) {
  std::u16string text;
  for (size_t i = at; bytes[i] || bytes[i + 1]; i += 2)
    text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
  return text;
}

class DownSetStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-downset-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    path = (root / "DownSetConfig.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(root); }
  std::filesystem::path root;
  std::string path;
};

TEST_F(DownSetStoreTest, RecordBytesRoundTripAndReadIndependently) {
  DownSetConfig config;
  config.prevDown = false;
  config.specifyDown = true;
  config.prevDownDir = L"/home/学生/下载/";
  config.specifyDownDir = L"/媒体/课程 𝄞/";  // a character beyond the basic plane: two units
  config.downAck = 1;
  ASSERT_TRUE(WriteDownSet(path, "student", config));

  const std::string text = ReadAll(path);
  auto bytes = ReadHexStruct(ValueOf(text, "student"), 1048);
  ASSERT_TRUE(bytes) << text;
  EXPECT_EQ((*bytes)[0], 0);
  EXPECT_EQ((*bytes)[1], 1);
  EXPECT_EQ(Utf16At(*bytes, 2), u"/home/学生/下载/");
  EXPECT_EQ(Utf16At(*bytes, 522), u"/媒体/课程 𝄞/");
  EXPECT_EQ((*bytes)[1044], 1);
  EXPECT_EQ((*bytes)[1045] | (*bytes)[1046] | (*bytes)[1047] | (*bytes)[1042] | (*bytes)[1043], 0);

  auto read = ReadDownSet(path, "student");
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->prevDown);
  EXPECT_TRUE(read->specifyDown);
  EXPECT_EQ(read->prevDownDir, config.prevDownDir);
  EXPECT_EQ(read->specifyDownDir, config.specifyDownDir);
  EXPECT_EQ(read->downAck, 1);
  // Lower-case hex, as other writers may leave it, reads the same.
  std::string lower = EncodeDownSetRecord(config.ToRecord());
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DecodeDownSetRecord(lower), config.ToRecord());
}

TEST_F(DownSetStoreTest, AccountsKeepTheirOwnSections) {
  DownSetConfig first;
  first.prevDownDir = L"/a/";
  DownSetConfig second;
  second.prevDownDir = L"/b/";
  second.downAck = 1;
  ASSERT_TRUE(WriteDownSet(path, "lixiaoming", first));
  ASSERT_TRUE(WriteDownSet(path, "13800138001", second));
  first.prevDownDir = L"/a2/";
  ASSERT_TRUE(WriteDownSet(path, "lixiaoming", first));
  EXPECT_EQ(ReadDownSet(path, "lixiaoming")->prevDownDir, L"/a2/");
  EXPECT_EQ(ReadDownSet(path, "13800138001")->prevDownDir, L"/b/");
  EXPECT_EQ(ReadDownSet(path, "13800138001")->downAck, 1);
  EXPECT_FALSE(ReadDownSet(path, "nobody"));
  const std::string text = ReadAll(path);
  EXPECT_EQ(text.find("[lixiaoming]"), text.rfind("[lixiaoming]"));
  // A name that cannot head a section is not written.
  EXPECT_FALSE(WriteDownSet(path, "bad]name", first));
  EXPECT_FALSE(WriteDownSet(path, "two\nlines", first));
}

// The two switches live beside the record under their own lower-case keys: on and off by
// default (also for a section written before they existed), kept per account, and a value
// other than 0 or 1 leaves the default.
TEST_F(DownSetStoreTest, ResumeAndMeteredSwitchesHaveTheirKeysAndDefaults) {
  DownSetConfig plain;
  plain.prevDownDir = L"/a/";
  {
    std::ofstream old(path);
    old << "[old]\ndata=" << EncodeDownSetRecord(plain.ToRecord()) << "\n";
  }
  auto old = ReadDownSet(path, "old");
  ASSERT_TRUE(old);
  EXPECT_TRUE(old->autoResume);
  EXPECT_FALSE(old->meteredDownload);

  DownSetConfig changed = plain;
  changed.autoResume = false;
  changed.meteredDownload = true;
  ASSERT_TRUE(WriteDownSet(path, "student", changed));
  ASSERT_TRUE(WriteDownSet(path, "student", changed));
  const std::string text = ReadAll(path);
  EXPECT_NE(text.find("[student]\ndata="), std::string::npos) << text;
  EXPECT_EQ(ValueOf(text, "student", "autoresume"), "0") << text;
  EXPECT_EQ(ValueOf(text, "student", "metereddownload"), "1") << text;
  EXPECT_EQ(text.find("autoresume"), text.rfind("autoresume")) << text;
  auto read = ReadDownSet(path, "student");
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->autoResume);
  EXPECT_TRUE(read->meteredDownload);
  EXPECT_TRUE(ReadDownSet(path, "old")->autoResume);

  {
    std::ofstream odd(path);
    odd << "[odd]\ndata=" << EncodeDownSetRecord(plain.ToRecord()) << "\nautoresume=yes\nmetereddownload=2\n";
  }
  auto odd = ReadDownSet(path, "odd");
  ASSERT_TRUE(odd);
  EXPECT_TRUE(odd->autoResume);
  EXPECT_FALSE(odd->meteredDownload);
}

TEST_F(DownSetStoreTest, DamagedSectionsAreIgnored) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  DownSetConfig config;
  config.prevDownDir = L"/ok/";
  const std::string good = EncodeDownSetRecord(config.ToRecord());
  std::string badChecksum = good;
  badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
  std::string badHex = good;
  badHex[10] = 'G';
  // A folder field without its terminator: 260 non-zero units.
  DownSetConfig::Record full = config.ToRecord();
  for (size_t i = 2; i < 522; ++i) full[i] = 'a';
  const struct {
    const char* name;
    std::string value;
  } cases[] = {
      {"wrong checksum", badChecksum},
      {"not hex", badHex},
      {"too short", good.substr(2)},
      {"too long", good + "00"},
      {"empty", ""},
      {"folder without terminator", EncodeDownSetRecord(full)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(path) << "[other]\ndata=" << good << "\n[student]\ndata=" << c.value << "\n";
    EXPECT_FALSE(ReadDownSet(path, "student"));
    EXPECT_TRUE(ReadDownSet(path, "other"));
  }
  CloseLog();
}

// ---- the panel in the main window -------------------------------------------------------------

class DownSetPanelTest : public WindowTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  void SetUp() override {
    WindowTestKit::SetUp();
    ASSERT_TRUE(OpenLog(L"browserlog"));
    gSubjectList.Clear();
    SetSignedInAccount("student");
  }
  void TearDown() override {
    if (MainDlg* main = GetMainDlg()) {
      main->SetQuitOnFinal(false);
      main->DestroyWindow();
    }
    PumpPendingMessages();
    CloseLog();
    WindowTestKit::TearDown();
  }
  MainDlg* Open() {
    m_opener.ShowMainWindow();
    main = GetMainDlg();
    main->GetDownSetPanel()->SetFolderAsker([this](TaskKind, int64_t, const std::wstring&, std::wstring&) {
      ++asked;
      return false;
    });
    main->ShowDownSetPanel();
    main->GetPaintManager().DoLayout();
    return main;
  }
  CControlUI* Find(const wchar_t* name) { return main->FindControl(name); }
  COptionUI* Option(const wchar_t* name) { return static_cast<COptionUI*>(Find(name)); }
  void Click(const wchar_t* name) {
    main->GetPaintManager().DoLayout();
    const CDuiRect r = Find(name)->GetPos();
    HostOf(main)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PumpPendingMessages();
  }
  std::string TempFolder(const std::string& leaf) { return (m_root / leaf).string(); }

  MainDlg* main = nullptr;
  int asked = 0;
};

TEST_F(DownSetPanelTest, FirstStartChangeSaveAndAnswerWithoutAsking) {
  Open();
  // A new account: the desktop's download folder, a folder of the program's own in it.
  const std::wstring downloads = DesktopDownloadFolder();
  EXPECT_EQ(downloads, AnsiToWide(std::string(getenv("XDG_DOWNLOAD_DIR"))) + L"/Tavo/");
  EXPECT_TRUE(Find(L"vlDownSetInfo")->IsVisible());
  EXPECT_FALSE(Find(L"vlMain")->IsVisible());
  EXPECT_TRUE(Option(L"optPrevDownDir")->IsSelected());
  EXPECT_FALSE(Option(L"optSelectDownDir")->IsSelected());
  EXPECT_EQ(Find(L"lbPreDownDir")->GetText(), downloads);
  EXPECT_EQ(Find(L"lbSpecifyDownDir")->GetText(), downloads);
  EXPECT_EQ(static_cast<CLabelUI*>(Find(L"lbSpecifyDownDir"))->GetTextColor(), 0xFF999999u);
  EXPECT_FALSE(Find(L"btnChangeDir")->IsEnabled());
  EXPECT_EQ(static_cast<CComboUI*>(Find(L"cbDownAsk"))->GetCurSel(), 0);
  SaveScreenshot(main, "down-set-panel.png");

  // Asking every time: a cancelled question is a cancelled download.
  std::wstring folder;
  EXPECT_FALSE(main->ChooseDownloadFolder(TaskKind::Video, 10, folder));
  EXPECT_EQ(asked, 1);

  Click(L"optSelectDownDir");
  EXPECT_EQ(static_cast<CLabelUI*>(Find(L"lbSpecifyDownDir"))->GetTextColor(), 0xFF292929u);
  EXPECT_TRUE(Find(L"btnChangeDir")->IsEnabled());
  const std::string picked = TempFolder("课程下载");
  std::filesystem::create_directories(picked);  // a chooser answers folders that exist
  testHost->nextChosenPath = picked;
  Click(L"btnChangeDir");
  EXPECT_EQ(Find(L"lbSpecifyDownDir")->GetText(), AnsiToWide(picked) + L"/");
  // Leaving without saving keeps the stored choice.
  main->ShowDownSetPanel();
  EXPECT_EQ(Find(L"lbSpecifyDownDir")->GetText(), downloads);
  EXPECT_TRUE(Option(L"optPrevDownDir")->IsSelected());

  Click(L"optSelectDownDir");
  testHost->nextChosenPath = picked;
  Click(L"btnChangeDir");
  static_cast<CComboUI*>(Find(L"cbDownAsk"))->SelectItem(1, true);
  // Going on by itself starts ticked, downloads on a metered network do not.
  EXPECT_TRUE(Option(L"chkAutoResume")->IsSelected());
  EXPECT_FALSE(Option(L"chkMeteredDownload")->IsSelected());
  EXPECT_TRUE(main->GetDownloads().Conditions().AutoResume());
  EXPECT_FALSE(main->GetDownloads().Conditions().MeteredAllowed());
  Click(L"chkAutoResume");
  Click(L"chkMeteredDownload");
  main->GetPaintManager().DoLayout();
  SaveScreenshot(main, "down-set-panel-specified.png");
  Click(L"btnDownSetSave");
  EXPECT_FALSE(Find(L"vlDownSetInfo")->IsVisible());
  auto stored = ReadDownSet(DownSetConfigPath(), "student");
  ASSERT_TRUE(stored);
  EXPECT_TRUE(stored->specifyDown);
  EXPECT_FALSE(stored->prevDown);
  EXPECT_EQ(stored->specifyDownDir, AnsiToWide(picked) + L"/");
  EXPECT_EQ(stored->downAck, 1);
  EXPECT_FALSE(stored->autoResume);
  EXPECT_TRUE(stored->meteredDownload);
  EXPECT_FALSE(main->GetDownloads().Conditions().AutoResume());
  EXPECT_TRUE(main->GetDownloads().Conditions().MeteredAllowed());

  // Never asking: straight into the specified folder.
  ASSERT_TRUE(main->ChooseDownloadFolder(TaskKind::Document, 3, folder));
  EXPECT_EQ(folder, AnsiToWide(picked) + L"/");
  EXPECT_EQ(asked, 1);
  // A remembered download folder changes only the previous folder.
  main->SavePrevDownDir(AnsiToWide(TempFolder("上次")) + L"/");
  stored = ReadDownSet(DownSetConfigPath(), "student");
  EXPECT_EQ(stored->prevDownDir, AnsiToWide(TempFolder("上次")) + L"/");
  EXPECT_EQ(stored->specifyDownDir, AnsiToWide(picked) + L"/");
  EXPECT_TRUE(stored->specifyDown);
}

TEST_F(DownSetPanelTest, FoldersThatCannotBeUsedAreRefusedWithATip) {
  Open();
  std::ofstream(m_root / "a-file") << "x";
  const struct {
    const char* name;
    std::wstring folder;
  } cases[] = {
      {"longer than the record", L"/tmp/" + std::wstring(260, L'长') + L"/"},
      {"under a plain file", AnsiToWide((m_root / "a-file" / "sub").string()) + L"/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Click(L"optSelectDownDir");
    Find(L"lbSpecifyDownDir")->SetText(c.folder);
    Click(L"btnDownSetSave");
    EXPECT_TRUE(Find(L"vlDownSetInfo")->IsVisible());
    EXPECT_FALSE(ReadDownSet(DownSetConfigPath(), "student"));
    HWND tip = FindWindow(L"MessageBoxDlgClass", L"");
    EXPECT_NE(tip, kNoWindow);
    main->ShowDownSetPanel();
  }
  // A folder from a download that does not fit the record is not remembered.
  main->SavePrevDownDir(cases[0].folder);
  EXPECT_EQ(main->GetDownSetPanel()->Config().prevDownDir, DesktopDownloadFolder());
}

// A changed folder offers to move the account's files there; a yes moves a finished file
// and a partial one (the rows say so while they move), a no leaves them, and a plan left
// by a quit is finished when the panel loads at the next start.
TEST_F(DownSetPanelTest, AChangedFolderOffersToMoveTheDownloadsAndAStoredMoveGoesOn) {
  Open();
  const std::string old = WideToAnsi(DesktopDownloadFolder());
  std::filesystem::create_directories(old);
  auto addLesson = [&](const std::string& id, const std::string& bytes, bool finished) {
    DownloadTask task;
    task.kind = TaskKind::Video;
    task.classId = "c9";
    task.className = "class";
    task.id = id;
    task.name = id + ".mp4";
    task.localFile = old + task.name;
    task.partFile = task.localFile + ".part";
    task.total = 100000;
    task.state = TaskState::Paused;
    std::ofstream(finished ? task.localFile : task.partFile, std::ios::binary) << bytes;
    CourseDB::Get()->InsertLesson("c9", id, task.name, "http://school.test/v", "100000", task.localFile);
    CourseDB::Get()->SaveResumeInfo(task);
    DownloadTaskList::Get().AddTask(task, TaskKind::Video);
  };
  addLesson("m1", std::string(100000, 'a'), true);
  addLesson("m2", std::string(4000, 'b'), false);
  std::vector<ConfirmQuestion> questions;
  bool yes = false;
  main->GetDownSetPanel()->SetConfirmer([&](HWND, const ConfirmQuestion& question) {
    questions.push_back(question);
    return ConfirmAnswer{yes, false};
  });
  main->GetDownSetPanel()->SetMoveMode(MoveMode::Copy);
  std::vector<std::wstring> rowTexts;
  main->GetDownloads().SetRowTexter(
      TaskKind::Video, [&](const DownloadTask&, const std::wstring& text) { rowTexts.push_back(text); });
  auto changeTo = [&](const std::string& folder) {
    std::filesystem::create_directories(folder);
    Click(L"optSelectDownDir");
    testHost->nextChosenPath = folder;
    Click(L"btnChangeDir");
    Click(L"btnDownSetSave");
  };

  const std::string refused = TempFolder("not-moved");
  changeTo(refused);
  ASSERT_TRUE(RunUntil([&] { return questions.size() == 1; }));
  EXPECT_NE(questions[0].text.find(L"2 个"), std::wstring::npos);
  EXPECT_TRUE(std::filesystem::exists(old + "m1.mp4"));
  EXPECT_TRUE(std::filesystem::is_empty(refused));

  // Back to the first folder: nothing of the account is in the refused one, so no question.
  ASSERT_TRUE(RunUntil([&] { return !main->GetDownSetPanel()->IsMovingFiles(); }));
  main->ShowDownSetPanel();
  changeTo(old);
  ASSERT_TRUE(RunUntil([&] { return !main->GetDownSetPanel()->IsMovingFiles(); }));
  EXPECT_EQ(questions.size(), 1u);
  yes = true;
  main->ShowDownSetPanel();
  const std::string target = TempFolder("moved");
  changeTo(target);
  ASSERT_TRUE(RunUntil([&] { return questions.size() == 2; }));
  ASSERT_TRUE(RunUntil([&] { return !main->GetDownSetPanel()->IsMovingFiles(); }));
  EXPECT_EQ(DownloadTaskList::Get().FindTask("c9", "m1", TaskKind::Video)->localFile, target + "/m1.mp4");
  EXPECT_EQ(DownloadTaskList::Get().FindTask("c9", "m2", TaskKind::Video)->partFile, target + "/m2.mp4.part");
  EXPECT_EQ(ReadAll(target + "/m1.mp4"), std::string(100000, 'a'));
  EXPECT_EQ(ReadAll(target + "/m2.mp4.part"), std::string(4000, 'b'));
  EXPECT_FALSE(std::filesystem::exists(old + "m1.mp4"));
  EXPECT_NE(std::find(rowTexts.begin(), rowTexts.end(), L"正在移动…"), rowTexts.end());
  EXPECT_TRUE(CourseDB::Get()->PendingMoves().empty());

  // A plan stored by a run that ended before it moved anything goes on at the next load.
  auto tasks = DownloadTaskList::Get().SnapshotClasses(TaskKind::Video);
  std::vector<DownloadTask> all;
  for (const auto& entry : tasks) all.insert(all.end(), entry.tasks.begin(), entry.tasks.end());
  ASSERT_TRUE(CourseDB::Get()->AddPendingMoves(PlanMoves(all, target + "/", old)));
  main->ShowDownSetPanel();
  ASSERT_TRUE(RunUntil([&] { return CourseDB::Get()->PendingMoves().empty(); }));
  ASSERT_TRUE(RunUntil([&] { return !main->GetDownSetPanel()->IsMovingFiles(); }));
  EXPECT_EQ(DownloadTaskList::Get().FindTask("c9", "m1", TaskKind::Video)->localFile, old + "m1.mp4");
  EXPECT_EQ(ReadAll(old + "m1.mp4"), std::string(100000, 'a'));
  main->GetDownloads().SetRowTexter(TaskKind::Video, nullptr);
}

TEST_F(DownSetPanelTest, ADamagedSectionLeavesTheDefaults) {
  SetSignedInAccount("student");
  const std::string path = DownSetConfigPath();
  std::ofstream(path) << "[student]\ndata=0102ZZ\n";
  Open();
  EXPECT_TRUE(Option(L"optPrevDownDir")->IsSelected());
  EXPECT_EQ(Find(L"lbPreDownDir")->GetText(), DesktopDownloadFolder());
}

// The desktop's download folder: the variable, else the configured folder, else ~/Downloads;
// a configured folder that is the home folder itself is not used.
TEST(DesktopDownloadFolderTest, VariableThenConfiguredFolderThenDownloads) {
  char pattern[] = "/tmp/tavo-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string home = pattern;
  const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  const std::string savedDownloads = getenv("XDG_DOWNLOAD_DIR") ? getenv("XDG_DOWNLOAD_DIR") : "";
  unsetenv("XDG_DOWNLOAD_DIR");
  EXPECT_EQ(DesktopDownloadFolder(), AnsiToWide(home) + L"/Downloads/Tavo/");
  setenv("XDG_DOWNLOAD_DIR", "/media/学生/下载/", 1);
  EXPECT_EQ(DesktopDownloadFolder(), L"/media/学生/下载/Tavo/");
  setenv("XDG_DOWNLOAD_DIR", "relative/place", 1);  // not absolute: not used
  EXPECT_EQ(DesktopDownloadFolder(), AnsiToWide(home) + L"/Downloads/Tavo/");
  if (savedDownloads.empty())
    unsetenv("XDG_DOWNLOAD_DIR");
  else
    setenv("XDG_DOWNLOAD_DIR", savedDownloads.c_str(), 1);
  setenv("HOME", savedHome.c_str(), 1);
  std::filesystem::remove_all(home);
}

}  // namespace
