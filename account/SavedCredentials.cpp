// Saved sign-in values in the settings store, the password store and the keyring.
#include "account/SavedCredentials.h"

#include <algorithm>
#include <vector>

#include "account/LoginWorker.h"
#include "account/PasswordKeyring.h"
#include "account/SqUserDB.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"

namespace {

std::wstring ReadValue(const wchar_t* name) {
  std::wstring value;
  if (ReadRegString(name, value) != 0) return {};
  return value;
}

struct KeyringAnswer {
  RememberedPassword remembered;
  std::vector<std::string> moved;  // accounts whose clear-text password is in the keyring now
};

// Runs on a worker. A keyring that fails after it answered (a refused unlock, say) is
// still one: the form then only lacks the password.
KeyringAnswer MoveAndLookUp(const std::vector<SqUserDB::ClearTextPassword>& clearText, const std::string& user) {
  KeyringAnswer answer;
  if (!IsKeyringAvailable()) {
    answer.remembered.keyring = Keyring::kUnavailable;
    return answer;
  }
  answer.remembered.keyring = Keyring::kAvailable;
  for (const SqUserDB::ClearTextPassword& row : clearText) {
    if (StoreKeyringPassword(row.name, row.password) == KeyringResult::kOk) answer.moved.push_back(row.name);
  }
  if (!user.empty()) answer.remembered.password = LookupKeyringPassword(user).password;
  return answer;
}

}  // namespace

SavedCredentials LoadSavedCredentials() {
  SavedCredentials saved;
  saved.user = WideToAnsi(ReadValue(L"user"));
  if (saved.user.empty()) return saved;
  saved.autoLogin = ReadValue(L"autoLogin") == L"1";
  return saved;
}

BackgroundTask LoadRememberedPassword(const std::string& user, std::function<void(RememberedPassword)> done) {
  std::vector<SqUserDB::ClearTextPassword> clearText = SqUserDB::Get().FindClearTextPasswords();
  std::vector<std::string> names;
  for (const SqUserDB::ClearTextPassword& row : clearText) names.push_back(row.name);
  return BackgroundTask::Run(
      [clearText = std::move(clearText), user](const CancelToken&) { return MoveAndLookUp(clearText, user); },
      [names = std::move(names), done = std::move(done)](KeyringAnswer answer) {
        for (const std::string& name : names) {
          SqUserDB::Get().BlankPassword(name);
          const bool moved = std::find(answer.moved.begin(), answer.moved.end(), name) != answer.moved.end();
          LogNormal(L"clear-text password of " + AnsiToWide(name) +
                    (moved ? L" moved to the keyring" : L" removed: not kept outside a keyring"));
        }
        done(std::move(answer.remembered));
      });
}

void StoreSignInCredentials(SignInMode mode, const std::string& name, const std::string& password,
                            RememberPassword remember, AutoLogin autoLogin, Keyring keyring) {
  WriteRegString(L"autoLogin", autoLogin == AutoLogin::kYes ? L"1" : L"0");
  if (mode != SignInMode::kPassword) return;
  const bool reachKeyring = keyring != Keyring::kUnavailable;
  if (remember == RememberPassword::kYes) {
    WriteRegString(L"user", AnsiToWide(name));
    SqUserDB::Get().Save(name);
    if (reachKeyring) RunLoginThread([name, password] { StoreKeyringPassword(name, password); });
  } else {
    WriteRegString(L"user", L"");
    SqUserDB::Get().Remove(name);
    if (reachKeyring) RunLoginThread([name] { ForgetKeyringPassword(name); });
  }
}
