// The kept catalogue of an account.
#include "study/CatalogueCache.h"

#include <sqlite3.h>

#include <ctime>
#include <memory>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/SqlStatement.h"
#include "service/Endpoints.h"
#include "service/Records.h"
#include "study/OfflineState.h"

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS catalogueCache ("
    " account TEXT NOT NULL, item TEXT NOT NULL, answer TEXT NOT NULL, savedAt INTEGER NOT NULL,"
    " PRIMARY KEY(account, item))";
constexpr char kSubjects[] = "subjects";

std::string ClassItem(const std::string& classId) { return "class:" + classId; }

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Closer>;

// The course database with the cache's table; null (and a log line) when it cannot be had.
Connection Open(const std::wstring& path, bool create) {
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(WideToUtf8(path).c_str(), &raw, flags, nullptr);
  Connection db(raw);
  if (rc != SQLITE_OK) {
    if (create) LogError(L"catalogue cache not opened: " + path);
    return nullptr;
  }
  // The other connections to course.db (downloads, progress) hold it only briefly.
  sqlite3_busy_timeout(raw, 2000);
  if (sqlite3_exec(raw, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError(L"catalogue cache has no usable table: " + path);
    return nullptr;
  }
  return db;
}

}  // namespace

CatalogueCache::CatalogueCache(std::wstring dbPath, std::string account)
    : m_path(std::move(dbPath)), m_account(std::move(account)) {}

CatalogueCache CatalogueCache::OfSignedInAccount() {
  return CatalogueCache(GetDbFolder() + L"course.db", GetSignedInAccount());
}

bool CatalogueCache::Store(const std::string& item, const std::string& answer) const {
  if (m_account.empty()) return false;
  Connection db = Open(m_path, true);
  if (!db) return false;
  auto upsert = SqlStatement::Prepare(
      db.get(),
      "INSERT INTO catalogueCache(account, item, answer, savedAt) VALUES(?,?,?,?)"
      " ON CONFLICT(account, item) DO UPDATE SET answer=excluded.answer, savedAt=excluded.savedAt");
  if (!upsert || !upsert->BindText(1, m_account) || !upsert->BindText(2, item) || !upsert->BindText(3, answer) ||
      !upsert->BindText(4, std::to_string(static_cast<long long>(std::time(nullptr)))) || !upsert->Execute()) {
    LogError(L"catalogue cache: " + AnsiToWide(item) + L" not kept");
    return false;
  }
  return true;
}

bool CatalogueCache::Recall(const std::string& item, std::string& answer) const {
  if (m_account.empty()) return false;
  Connection db = Open(m_path, false);
  if (!db) return false;
  auto select = SqlStatement::Prepare(db.get(), "SELECT answer FROM catalogueCache WHERE account=? AND item=?");
  if (!select || !select->BindText(1, m_account) || !select->BindText(2, item) || !select->Next()) return false;
  answer = select->ColumnText(0);
  return true;
}

bool CatalogueCache::StoreSubjects(const std::string& answer) const { return Store(kSubjects, answer); }

bool CatalogueCache::StoreClass(const std::string& classId, const std::string& answer) const {
  return Store(ClassItem(classId), answer);
}

bool CatalogueCache::HasSubjects() const {
  std::string answer;
  return Recall(kSubjects, answer);
}

bool CatalogueCache::RecallSubjects() const {
  std::string answer;
  if (!Recall(kSubjects, answer)) return false;
  if (!ParseGetMyCourseAnswer(std::move(answer))) {
    LogError(L"catalogue cache: the kept subject tree does not read, skipped");
    return false;
  }
  LogNormal(L"catalogue cache: subject tree recalled");
  return true;
}

ClassDetailResult CatalogueCache::RecallClass(const std::string& classId, ClassDetail& detail) const {
  std::string answer;
  if (!Recall(ClassItem(classId), answer)) return ClassDetailResult::NoAnswer;
  ClassDetail read;
  if (ParseClassDetailAnswer(std::move(answer), read) != ClassDetailResult::Filled) {
    LogError(L"catalogue cache: the kept lessons of class " + AnsiToWide(classId) + L" do not read, skipped");
    return ClassDetailResult::NoAnswer;
  }
  detail = std::move(read);
  LogNormal(L"catalogue cache: class " + AnsiToWide(classId) + L" recalled");
  return ClassDetailResult::Filled;
}

CourseCatalogue::Fetcher KeepingFetcher(std::shared_ptr<const OfflineState> offline) {
  return [offline](const std::string& classId, ClassDetail& detail) {
    const CatalogueCache cache = CatalogueCache::OfSignedInAccount();
    if (offline->IsOffline()) return cache.RecallClass(classId, detail);
    const ServiceReply reply = MyCourseListReply(classId);
    const ClassDetailResult result = ReadClassDetailReply(reply, detail);
    if (result == ClassDetailResult::Filled) cache.StoreClass(classId, reply.body);
    return result;
  };
}

bool LoadAndKeepSubjects() { return FetchAndKeepSubjects(gSubjectList); }

bool FetchAndKeepSubjects(SubjectList& into) {
  const std::string answer = GetMyCourse();
  if (!ParseMyCourseAnswerInto(answer, into)) return false;
  CatalogueCache::OfSignedInAccount().StoreSubjects(answer);
  return true;
}
