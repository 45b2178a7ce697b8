// The password store and the saved sign-in values, in a private data folder.
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>

#include "ServiceTestSupport.h"
#include "account/SavedCredentials.h"
#include "account/SqUserDB.h"
#include "app/Settings.h"

namespace {

using servicetest::TempHomeTest;

class SqUserDBTest : public TempHomeTest {
 protected:
  void TearDown() override {
    SqUserDB::Release();
    TempHomeTest::TearDown();
  }
  std::filesystem::path StoreFolder() const { return m_root / "data" / "tavo" / "SqUserDB"; }

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
  EXPECT_EQ(store.FindPassword("o'brien"), "");
  store.Save("o'brien", "pw'1");
  store.Save("o", "short");
  store.Save("x' OR '1'='1", "attack");
  EXPECT_EQ(store.FindPassword("o'brien"), "pw'1");
  EXPECT_EQ(store.FindPassword("O'BRIEN"), "");  // byte for byte

  store.Remove("x' OR '1'='1");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"o'brien=pw'1", "o=short"}));
  store.Remove("o'brien");
  EXPECT_EQ(Rows(), std::vector<std::string>{"o=short"});
  EXPECT_EQ(Rows("select sql from sqlite_master where name = 'user'"),
            std::vector<std::string>{"CREATE TABLE user(id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                     "username text,password text)"});

  // The store survives a release and a new opening.
  SqUserDB::Release();
  EXPECT_EQ(SqUserDB::Get().FindPassword("o"), "short");
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(SqUserDBTest, SavingAgainKeepsOneRowWithThePasswordThatWorked) {
  SqUserDB& store = SqUserDB::Get();
  store.Save("stu", "old");
  store.Save("stu", "old");
  store.Save("stu", "new");
  EXPECT_EQ(store.FindPassword("stu"), "new");
  EXPECT_EQ(Rows(), std::vector<std::string>{"stu=new"});
}

TEST_F(SqUserDBTest, StoreIsReadableByTheUserAlone) {
  // An older folder with loose rights is narrowed too.
  std::filesystem::create_directories(StoreFolder());
  chmod(StoreFolder().c_str(), 0755);
  SqUserDB::Get().Save("stu", "pw");
  struct stat folder {};
  struct stat file {};
  ASSERT_EQ(stat(StoreFolder().c_str(), &folder), 0);
  ASSERT_EQ(stat((StoreFolder() / "squser.db").c_str(), &file), 0);
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
  store.Save("stu", "pw");
  store.Remove("stu");
  EXPECT_EQ(store.FindPassword("stu"), "");
  EXPECT_EQ(ErrorLines(),
            std::vector<std::string>{"Open db " + (StoreFolder() / "squser.db").string() + " false"});
}

TEST_F(SqUserDBTest, SignInStoresWhatTheLoginFormReadsNextTime) {
  // First start: nothing saved, no auto-login even if the value says so.
  WriteRegString(L"autoLogin", L"1");
  SavedCredentials saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "");
  EXPECT_FALSE(saved.autoLogin);

  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw1", RememberPassword::kYes, AutoLogin::kYes);
  saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "stu");
  EXPECT_EQ(saved.password, "pw1");
  EXPECT_TRUE(saved.autoLogin);

  // The password changed on the service: the one that worked is pre-filled next time.
  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw2", RememberPassword::kYes, AutoLogin::kNo);
  saved = LoadSavedCredentials();
  EXPECT_EQ(saved.password, "pw2");
  EXPECT_FALSE(saved.autoLogin);
  EXPECT_EQ(Reg(L"autoLogin"), L"0");

  // An SMS sign-in writes only "autoLogin".
  StoreSignInCredentials(SignInMode::kSms, "13900000000", "", RememberPassword::kNo, AutoLogin::kYes);
  saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "stu");
  EXPECT_EQ(saved.password, "pw2");
  EXPECT_TRUE(saved.autoLogin);

  // Without remember-password the account is forgotten and nothing signs in by itself.
  StoreSignInCredentials(SignInMode::kPassword, "stu", "pw2", RememberPassword::kNo, AutoLogin::kYes);
  EXPECT_EQ(Reg(L"user"), L"");
  EXPECT_EQ(Reg(L"autoLogin"), L"1");
  saved = LoadSavedCredentials();
  EXPECT_EQ(saved.user, "");
  EXPECT_FALSE(saved.autoLogin);
  EXPECT_TRUE(Rows().empty());
}

}  // namespace
