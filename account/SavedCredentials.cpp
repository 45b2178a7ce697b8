// Saved sign-in values in the settings store and the password store.
#include "account/SavedCredentials.h"

#include "account/SqUserDB.h"
#include "app/Settings.h"
#include "app/TextConv.h"

namespace {

std::wstring ReadValue(const wchar_t* name) {
  std::wstring value;
  if (ReadRegString(name, value) != 0) return {};
  return value;
}

}  // namespace

SavedCredentials LoadSavedCredentials() {
  SavedCredentials saved;
  saved.user = WideToAnsi(ReadValue(L"user"));
  if (saved.user.empty()) return saved;
  saved.password = SqUserDB::Get().FindPassword(saved.user);
  saved.autoLogin = ReadValue(L"autoLogin") == L"1";
  return saved;
}

void StoreSignInCredentials(SignInMode mode, const std::string& name, const std::string& password,
                            RememberPassword remember, AutoLogin autoLogin) {
  WriteRegString(L"autoLogin", autoLogin == AutoLogin::kYes ? L"1" : L"0");
  if (mode != SignInMode::kPassword) return;
  if (remember == RememberPassword::kYes) {
    WriteRegString(L"user", AnsiToWide(name));
    SqUserDB::Get().Save(name, password);
  } else {
    WriteRegString(L"user", L"");
    SqUserDB::Get().Remove(name);
  }
}
