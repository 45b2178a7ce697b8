// The offline sign-in check.
#include "account/OfflineStart.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/SqlStatement.h"
#include "account/LoginWorker.h"
#include "service/CurlSupport.h"
#include "service/Endpoints.h"
#include "service/UsageReport.h"

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS offlineSignIn ("
    " account TEXT PRIMARY KEY, salt TEXT NOT NULL, hash TEXT NOT NULL, rounds INTEGER NOT NULL)";
constexpr int kRounds = 120000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Closer>;

Connection Open(const std::wstring& path, bool create) {
  if (path.empty()) return nullptr;
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(WideToUtf8(path).c_str(), &raw, flags, nullptr);
  Connection db(raw);
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_busy_timeout(raw, 2000);
  if (sqlite3_exec(raw, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) return nullptr;
  return db;
}

std::string Hex(const unsigned char* bytes, size_t size) {
  std::string out;
  char pair[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    out += pair;
  }
  return out;
}

std::optional<std::string> Derive(const std::string& password, const std::string& salt, int rounds) {
  std::array<unsigned char, kHashBytes> out{};
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), rounds,
                        EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
    return std::nullopt;
  return Hex(out.data(), out.size());
}

bool IsPlainFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

namespace offline_start {

std::wstring DbPathOf(const std::string& account) {
  const std::wstring root = GetDataRoot();
  if (root.empty() || !IsPlainFolderName(account)) return {};
  return root + L"/tavo/" + AnsiToWide(account) + L"/db/course.db";
}

bool Remember(const std::wstring& dbPath, const std::string& account, const std::string& password) {
  std::array<unsigned char, kSaltBytes> saltBytes{};
  if (RAND_bytes(saltBytes.data(), static_cast<int>(saltBytes.size())) != 1) return false;
  const std::string salt = Hex(saltBytes.data(), saltBytes.size());
  const std::optional<std::string> hash = Derive(password, salt, kRounds);
  const size_t slash = dbPath.rfind(L'/');
  if (slash != std::wstring::npos) EnsureFolder(dbPath.substr(0, slash));
  Connection db = Open(dbPath, true);
  if (!hash || !db) {
    LogError(L"offline sign-in check not kept for " + AnsiToWide(account));
    return false;
  }
  auto upsert = SqlStatement::Prepare(db.get(),
                                      "INSERT OR REPLACE INTO offlineSignIn(account, salt, hash, rounds)"
                                      " VALUES(?,?,?,?)");
  if (!upsert || !upsert->BindText(1, account) || !upsert->BindText(2, salt) || !upsert->BindText(3, *hash) ||
      !upsert->BindText(4, std::to_string(kRounds)) || !upsert->Execute()) {
    LogError(L"offline sign-in check not kept for " + AnsiToWide(account));
    return false;
  }
  return true;
}

void Forget(const std::wstring& dbPath, const std::string& account) {
  Connection db = Open(dbPath, false);
  if (!db) return;
  if (auto drop = SqlStatement::Prepare(db.get(), "DELETE FROM offlineSignIn WHERE account=?")) {
    drop->BindText(1, account);
    drop->Execute();
  }
}

namespace {
struct Kept {
  std::string salt;
  std::string hash;
  int rounds = 0;
};
std::optional<Kept> Read(const std::wstring& dbPath, const std::string& account) {
  Connection db = Open(dbPath, false);
  if (!db) return std::nullopt;
  auto select = SqlStatement::Prepare(db.get(), "SELECT salt, hash, rounds FROM offlineSignIn WHERE account=?");
  if (!select || !select->BindText(1, account) || !select->Next()) return std::nullopt;
  Kept kept{select->ColumnText(0), select->ColumnText(1), std::atoi(select->ColumnText(2).c_str())};
  // A row someone edited: too few rounds would make the check cheap to guess against.
  if (kept.salt.empty() || kept.hash.size() != kHashBytes * 2 || kept.rounds < 10000 || kept.rounds > 10000000) {
    LogError(L"offline sign-in check of " + AnsiToWide(account) + L" is damaged, ignored");
    return std::nullopt;
  }
  return kept;
}
}  // namespace

bool IsKnown(const std::wstring& dbPath, const std::string& account) { return Read(dbPath, account).has_value(); }

OfflineVerdict Judge(const std::wstring& dbPath, const std::string& account, const std::string& password) {
  const std::optional<Kept> kept = Read(dbPath, account);
  if (!kept) return OfflineVerdict::NeverSignedIn;
  const std::optional<std::string> hash = Derive(password, kept->salt, kept->rounds);
  if (!hash || hash->size() != kept->hash.size() || CRYPTO_memcmp(hash->data(), kept->hash.data(), hash->size()) != 0)
    return OfflineVerdict::WrongPassword;
  return OfflineVerdict::Allowed;
}

bool IsUnreachable(const ServiceReply& reply) { return !IsServiceAnswer(reply); }

ServiceReply SignInReply(bool sms, const std::string& account, const std::string& password,
                         const std::wstring& dbPath, bool& unreachable, OfflineVerdict& verdict) {
  const bool canStartOffline = !sms && IsKnown(dbPath, account);
  std::optional<ScopedQuickAnswer> quick;
  if (canStartOffline) {
    // The start-up report goes first; stuck in a dead network it holds this sign-in only
    // as long as the sign-in's own short deadline.
    if (!AwaitUsageReportFor(std::chrono::seconds(kQuickAnswerSeconds)))
      LogNormal(L"sign-in: the start-up report is still on its way; the sign-in goes now");
    quick.emplace();
  } else {
    AwaitUsageReport();
  }
  ServiceReply reply = sms ? LoginSmsCodeReply(account, password) : LoginUsrNameReply(account, password);
  unreachable = IsUnreachable(reply);
  if (unreachable) {
    LogNormal(L"sign-in: the school gave no answer of its own (http " + std::to_wstring(reply.httpStatus) + L")");
    verdict = sms ? OfflineVerdict::NeverSignedIn : Judge(dbPath, account, password);
  }
  return reply;
}

void KeepCheck(const std::string& signInName, const std::string& folder, const std::string& password,
               RememberPassword remember) {
  const std::wstring dbPath = DbPathOf(folder);
  if (dbPath.empty()) return;
  RunLoginThread([dbPath, signInName, password, remember] {
    if (remember == RememberPassword::kYes)
      Remember(dbPath, signInName, password);
    else
      Forget(dbPath, signInName);
  });
}

}  // namespace offline_start
