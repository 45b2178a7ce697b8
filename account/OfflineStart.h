// Whether a sign-in that could not reach the school may open the program from what this
// computer kept. Only an account that signed in here before with its password remembered
// may, and only with that same password: a salted, slow hash of it (never the password)
// is kept in the account's course.db after each such sign-in and checked here, so offline
// mode is never a way around a wrong password. The hash costs tens of milliseconds: call
// these on a worker.
#pragma once

#include <string>

#include "account/SavedCredentials.h"
#include "service/Endpoints.h"


enum class OfflineVerdict {
  Allowed,        // the account signed in here before and the password is the one it used
  NeverSignedIn,  // nothing kept for the account (a first start, or the password not remembered)
  WrongPassword,  // kept, but the password differs
};

namespace offline_start {

// The account's course database, found without creating anything (empty for a name that
// cannot be one folder name).
std::wstring DbPathOf(const std::string& account);

// After a successful password sign-in that remembers the password: keeps the check.
bool Remember(const std::wstring& dbPath, const std::string& account, const std::string& password);
// The password is no longer remembered: the account cannot start offline any more.
void Forget(const std::wstring& dbPath, const std::string& account);
// Whether the account could start offline at all (decides how long the first answer may take).
bool IsKnown(const std::wstring& dbPath, const std::string& account);
OfflineVerdict Judge(const std::wstring& dbPath, const std::string& account, const std::string& password);

// The sign-in request of the form, on a request thread, after the start-up usage report:
// an account that could start offline waits for that report and for the school's answer
// only kQuickAnswerSeconds each. Sets `unreachable` when the
// school gave no answer of its own, and then `verdict` (password sign-ins only).
ServiceReply SignInReply(bool sms, const std::string& account, const std::string& password,
                         const std::wstring& dbPath, bool& unreachable, OfflineVerdict& verdict);
// After a successful password sign-in with `signInName` (as typed: the account's name or
// its mobile number) into the account's data folder `folder`: the check of that name is
// kept there when the password is remembered and dropped when not, on a sign-in thread.
void KeepCheck(const std::string& signInName, const std::string& folder, const std::string& password,
               RememberPassword remember);

// Whether a sign-in reply means the school could not be reached (no route, refused, time-out,
// an HTTP error, a captive portal's page) rather than an answer of the school.
bool IsUnreachable(const ServiceReply& reply);

}  // namespace offline_start
