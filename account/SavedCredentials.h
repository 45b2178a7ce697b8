// What the login form remembers between runs: the settings values "user" and
// "autoLogin" and the password store. Used on the main thread only.
#pragma once

#include <string>

struct SavedCredentials {
  std::string user;      // account name of the last remembered password sign-in
  std::string password;  // its stored password, empty when none
  bool autoLogin = false;
};

// The values the login form opens with; autoLogin is read only when "user" is not empty.
SavedCredentials LoadSavedCredentials();

enum class SignInMode { kPassword, kSms };
enum class RememberPassword { kNo, kYes };
enum class AutoLogin { kNo, kYes };

// After a successful sign-in: "autoLogin" in both modes; in password mode "user" and the
// store follow the remember-password option (an SMS sign-in leaves them as they were).
void StoreSignInCredentials(SignInMode mode, const std::string& name, const std::string& password,
                            RememberPassword remember, AutoLogin autoLogin);
