// The password store and the saved sign-in values, in a private data folder, with the
// passwords in a keyring of the test's own on a private session bus (or with no session
// bus at all).
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "KeyringTestSupport.h"
#include "ServiceTestSupport.h"
#include "account/LoginWorker.h"
#include "account/SavedCredentials.h"
#include "account/SqUserDB.h"
#include "app/Settings.h"
#include "platform/MessageCore.h"
#include "support/PrivateKeyring.h"

namespace {

using servicetest::TempHomeTest;

// LoadRememberedPassword's answer, with the main loop run until it is in.
RememberedPassword Load(const std::string& user) {
  std::optional<RememberedPassword> answer;
  BackgroundTask task = LoadRememberedPassword(user, [&](RememberedPassword r) { answer = std::move(r); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!answer && std::chrono::steady_clock::now() < deadline) {
    PumpPendingMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(answer.has_value()) << "no answer from the keyring";
  return answer.value_or(RememberedPassword{});
}

class SqUserDBTest : public TempHomeTest {
 protected:
  void TearDown() override {
    SqUserDB::Release();
    TempHomeTest::TearDown();
  }
  std::filesystem::path StoreFolder() const { return m_root / "data" / "tavo" / "SqUserDB"; }
  std::filesystem::path StoreFile() const { return StoreFolder() / "squser.db"; }

  void WriteOlderStore(const std::vector<std::pair<std::string, std::string>>& rows) {
    keyringtest::WriteOlderStore(StoreFile(), rows);
  }

  // Rows as "username=password", read straight from the file.
  std::vector<std::string> Rows(
      const char* sql = "select username || '=' || password from user order by id") const {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2((StoreFolder() / "squser.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_exec(
        db, sql,
        [](void* out, int, char** values, char**) {
          static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
          return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
  }

  static std::wstring Reg(const wchar_t* name) {
    std::wstring value;
    return ReadRegString(name, value) == 0 ? value : L"<unset>";
  }
};

TEST_F(SqUserDBTest, FindSaveRemoveWithQuotesInNames) {
  SqUserDB& store = SqUserDB::Get();
  ASSERT_TRUE(store.IsOpen());
  EXPECT_FALSE(store.HasAccount("o'brien"));
  store.Save("o'brien");
  store.Save("o");
  store.Save("x' OR '1'='1");
  EXPECT_TRUE(store.HasAccount("o'brien"));
  EXPECT_FALSE(store.HasAccount("O'BRIEN"));  // byte for byte

  store.Remove("x' OR '1'='1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"o'brien=", "o="}));
  store.Remove("o'brien");
  EXPECT_EQ(Rows(), std::vector<std::string>{"o="});
  EXPECT_EQ(Rows("select sql from sqlite_master where name = 'user'"),
            std::vector<std::string>{"CREATE TABLE user(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                     "username text,password text)"});

  // The store survives a release and a new opening.
  SqUserDB::Release();
  EXPECT_TRUE(SqUserDB::Get().HasAccount("o"));
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(SqUserDBTest, ClearTextOfAnOlderVersionIsFoundAndBlankedOutOfTheFile) {
  WriteOlderStore({{"lixiaoming", "xm123456"}, {"wangfang", ""}, {"o'brien", "pw'1"}});
  SqUserDB& store = SqUserDB::Get();
  std::vector<std::string> found;
  for (const auto& row : store.FindClearTextPasswords()) found.push_back(row.name + "=" + row.password);
  EXPECT_EQ(found, (std::vector<std::string>{"lixiaoming=xm123456", "o'brien=pw'1"}));

  store.BlankPassword("lixiaoming");
  // Saving a name that still has clear text blanks it too; one row per name stays.
  store.Save("o'brien");
  EXPECT_TRUE(store.FindClearTextPasswords().empty());
  EXPECT_EQ(Rows(), (std::vector<std::string>{"lixiaoming=", "wangfang=", "o'brien="}));
  SqUserDB::Release();
  // Overwritten in the file itself, not only unlinked from the table.
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "xm123456"));
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "pw'1"));
}

TEST_F(SqUserDBTest, StoreIsReadableByTheUserAlone) {
  // An older folder with loose rights is narrowed too.
  std::filesystem::create_directories(StoreFolder());
  chmod(StoreFolder().c_str(), 0755);
  SqUserDB::Get().Save("stu");
  struct stat folder {};
  struct stat file {};
  ASSERT_EQ(stat(StoreFolder().c_str(), &folder), 0);
  ASSERT_EQ(stat(StoreFile().c_str(), &file), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
}

TEST_F(SqUserDBTest, UnopenableStoreLogsOnceAndActsEmpty) {
  // A file where the store's folder should be: no store can be opened or created there.
  // (A folder in place of the file is moved aside; the hostile-file tests cover that.)
  std::filesystem::create_directories(StoreFolder().parent_path());
  std::ofstream(StoreFolder()) << "not a folder";
  SqUserDB& store = SqUserDB::Get();
  EXPECT_FALSE(store.IsOpen());
  store.Save("stu");
  store.BlankPassword("stu");
  store.Remove("stu");
  EXPECT_FALSE(store.HasAccount("stu"));
  EXPECT_TRUE(store.FindClearTextPasswords().empty());
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{"Open db " + StoreFile().string() + " false"});
}

// The saved credentials with a keyring: the test process's own (skipped when the daemons
// are not installed).
class SavedCredentialsTest : public SqUserDBTest {
 protected:
  void SetUp() override {
    SqUserDBTest::SetUp();
    std::string why;
    if (!testsupport::KeyringOfThisProcess(why)) GTEST_SKIP() << "no private keyring: " << why;
    keyringtest::Clear();
    InitMessageCore();
  }
  void TearDown() override {
    WaitForKeyringWrites();
    ShutdownMessageCore();
    SqUserDBTest::TearDown();
  }

  static void WaitForKeyringWrites() { EXPECT_TRUE(WaitForLoginThreads(60000)); }

};

TEST_F(SavedCredentialsTest, PasswordGoesToTheKeyringAndOnlyTheNameToTheFile) {
  // First start: nothing saved, no auto-login even if the value says so.
  WriteRegString(L"autoLogin", L"1");
  SavedCredentials saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "");
  EXPECT_FALSE(saved.autoLogin);
  EXPECT_EQ(Load("").keyring, Keyring::kAvailable);

  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw1", RememberPassword::kYes, AutoLogin::kYes,
                         Keyring::kAvailable);
  WaitForKeyringWrites();
  saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "stu");
  EXPECT_TRUE(saved.autoLogin);
  RememberedPassword remembered = Load("stu");
  EXPECT_EQ(remembered.keyring, Keyring::kAvailable);
  EXPECT_EQ(remembered.password, "pw1");
  EXPECT_EQ(keyringtest::Items(), std::vector<std::string>{"stu=pw1"});
  EXPECT_EQ(Rows(), std::vector<std::string>{"stu="});
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "pw1"));

  // The password changed on the service: the one that worked is pre-filled next time.
  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw2", RememberPassword::kYes, AutoLogin::kNo,
                         Keyring::kUnknown);
  WaitForKeyringWrites();
  EXPECT_EQ(Load("stu").password, "pw2");
  EXPECT_EQ(keyringtest::Items(), std::vector<std::string>{"stu=pw2"});
  EXPECT_EQ(Reg(L"autoLogin"), L"0");

  // An SMS sign-in writes only "autoLogin".
  StoreSignInCredentials(SignInMode::kSms, "13900000000", "123456", RememberPassword::kNo, AutoLogin::kYes,
                         Keyring::kAvailable);
  WaitForKeyringWrites();
  EXPECT_EQ(LoadSavedCredentials().user, "stu");
  EXPECT_EQ(keyringtest::Items(), std::vector<std::string>{"stu=pw2"});

  // Without remember-password the account is forgotten everywhere.
  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw2", RememberPassword::kNo, AutoLogin::kYes,
                         Keyring::kAvailable);
  WaitForKeyringWrites();
  EXPECT_EQ(Reg(L"user"), L"");
  EXPECT_EQ(LoadSavedCredentials().user, "");
  EXPECT_TRUE(keyringtest::Items().empty());
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Load("stu").password, "");
  EXPECT_TRUE(ErrorLines().empty()) << ::testing::PrintToString(ErrorLines());
}

TEST_F(SavedCredentialsTest, ClearTextOfAnOlderVersionMovesIntoTheKeyringAtTheNextStart) {
  WriteOlderStore({{"lixiaoming", "xm123456"}, {"wangfang", "Fang&2027+"}});
  RememberedPassword remembered = Load("lixiaoming");
  EXPECT_EQ(remembered.keyring, Keyring::kAvailable);
  EXPECT_EQ(remembered.password, "xm123456");
  EXPECT_EQ(keyringtest::Items(), (std::vector<std::string>{"lixiaoming=xm123456", "wangfang=Fang&2027+"}));
  // The file keeps its table and names, for older and newer versions alike.
  EXPECT_EQ(Rows(), (std::vector<std::string>{"lixiaoming=", "wangfang="}));
  EXPECT_EQ(Rows("select sql from sqlite_master where name = 'user'"),
            std::vector<std::string>{"CREATE TABLE user(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                     "username text,password text)"});
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "xm123456"));
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "Fang&2027+"));
  // Nothing is left to move at the start after.
  EXPECT_EQ(Load("wangfang").password, "Fang&2027+");
  EXPECT_EQ(keyringtest::Items().size(), 2u);
}

// No session bus at all: nothing is kept, the clear text of an older version included.
// GLib keeps a process's first session connection, so this runs in a process without
// the test keyring (ctest runs every case in a process of its own).
TEST_F(SqUserDBTest, WithoutAKeyringNoPasswordIsKept) {
  if (testsupport::KeyringOfThisProcessAsked()) GTEST_SKIP() << "needs a process without the test keyring";
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_root / "no-session-bus").string()).c_str(), 1);
  InitMessageCore();
  WriteOlderStore({{"lixiaoming", "xm123456"}});
  const RememberedPassword answer = Load("lixiaoming");
  EXPECT_EQ(answer.keyring, Keyring::kUnavailable);
  EXPECT_EQ(answer.password, "");
  StoreSignInCredentials(SignInMode::kPassword, "lixiaoming", "xm123456", RememberPassword::kNo, AutoLogin::kNo,
                         answer.keyring);
  EXPECT_EQ(PendingLoginThreads(), 0) << "a missing keyring is not asked to forget";
  EXPECT_TRUE(Rows().empty());
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StoreFile(), "xm123456"));
  // Not having a keyring is the desktop's choice, not an error of the program.
  EXPECT_TRUE(ErrorLines().empty()) << ::testing::PrintToString(ErrorLines());
  ShutdownMessageCore();
}

}  // namespace
