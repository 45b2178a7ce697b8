// What the login form remembers between runs: the settings values "user" and
// "autoLogin", the remembered account names in the password store and their passwords in
// the desktop keyring. Called on the main thread; the keyring is only reached from workers.
#pragma once

#include <functional>
#include <string>

#include "platform/BackgroundTask.h"

struct SavedCredentials {
  std::string user;  // account name of the last remembered password sign-in
  bool autoLogin = false;
};

// The values the login form opens with; autoLogin is read only when "user" is not empty.
SavedCredentials LoadSavedCredentials();

// Whether a desktop keyring answered; no password is kept without one.
enum class Keyring { kUnknown, kAvailable, kUnavailable };

struct RememberedPassword {
  Keyring keyring = Keyring::kUnknown;
  std::string password;  // the keyring's password of the account, empty when none
};

// On a worker: moves the clear-text passwords older versions left in the password store
// into the keyring, then reads the password of `user` from it (with no user, only checks
// that a keyring answers). Then on the main loop: blanks those clear-text passwords (also
// when there was no keyring to take them) and hands the answer to `done`.
[[nodiscard]] BackgroundTask LoadRememberedPassword(const std::string& user,
                                                    std::function<void(RememberedPassword)> done);

enum class SignInMode { kPassword, kSms };
enum class RememberPassword { kNo, kYes };
enum class AutoLogin { kNo, kYes };

// After a successful sign-in: "autoLogin" in both modes; in password mode "user", the
// password store and the keyring follow the remember-password option (an SMS sign-in leaves
// them as they were). The keyring is written on a sign-in thread (RunLoginThread), and not
// reached at all when it is known to be missing.
void StoreSignInCredentials(SignInMode mode, const std::string& name, const std::string& password,
                            RememberPassword remember, AutoLogin autoLogin, Keyring keyring);
