// Remembered passwords in the desktop keyring (a Secret Service on the session bus, such
// as GNOME Keyring, KWallet's or KeePassXC's), through libsecret: one item per account,
// found by the attributes "application" = "tavo" and "account" = the account name.
// Without a reachable session bus every call answers kUnavailable at once (no bus is
// started for it). Otherwise every call talks to another process and may wait for it (or
// for the user, when the desktop asks to unlock its keyring): call them on a worker, never
// on the main thread.
#pragma once

#include <string>

enum class KeyringResult {
  kOk,           // done (a lookup found the password)
  kNotFound,     // a lookup found no item for the account
  kUnavailable,  // no session bus, no Secret Service, a refusal or no answer in time
};

struct KeyringLookup {
  KeyringResult result = KeyringResult::kUnavailable;
  std::string password;  // set when result is kOk
};

// True when a Secret Service answers on the session bus.
bool IsKeyringAvailable();
// The password stored for the account.
KeyringLookup LookupKeyringPassword(const std::string& account);
// Stores the password for the account in the default keyring, replacing an older one.
KeyringResult StoreKeyringPassword(const std::string& account, const std::string& password);
// Deletes the account's item; kOk also when there was none.
KeyringResult ForgetKeyringPassword(const std::string& account);
