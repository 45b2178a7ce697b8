#include "playback/ProgressQueue.h"

#include <sqlite3.h>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/BackgroundTask.h"
#include "platform/NetworkMonitor.h"
#include "playback/PlaybackMessages.h"
#include "playback/PlayerServices.h"

namespace {

// The queue of the signed-in account. Its network watch listens to the system's monitor, so
// the monitor is made first: statics go in reverse order, and the queue must go before the
// monitor it listens to (it went after it at exit and freed its listener twice).
std::unique_ptr<ProgressQueue>& Queue() {
  NetworkMonitor::System();
  static std::unique_ptr<ProgressQueue> queue;
  return queue;
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS unsentProgress ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL, lessonId TEXT NOT NULL,"
    " classId TEXT, vid TEXT, seconds TEXT NOT NULL, attempts INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(account, lessonId))";

// A prepared statement that finalises itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db) sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return m_stmt != nullptr; }
  Statement& Bind(int index, const std::string& text) {
    sqlite3_bind_text(m_stmt, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
  }
  bool Step() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_ROW; }
  bool Run() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_DONE; }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

struct FlushResult {
  std::vector<int64_t> sent;
  std::vector<int64_t> failed;
};

}  // namespace

ProgressQueue& ProgressQueue::Get() {
  // course.db lives in the signed-in account's folder: another account, another file.
  std::wstring path = GetDbFolder() + L"course.db";
  std::unique_ptr<ProgressQueue>& queue = Queue();
  if (!queue || queue->m_path != path) queue = std::make_unique<ProgressQueue>(path);
  return *queue;
}

void ProgressQueue::Release() { Queue().reset(); }

ProgressQueue::ProgressQueue(const std::wstring& path)
    : m_path(path), m_db(OpenCourseStore(path, kSchema, L"unsent progress store")) {}

ProgressQueue::~ProgressQueue() = default;

int64_t ProgressQueue::Keep(const std::string& account, const std::string& lessonId,
                            const std::string& classId, const std::string& vid, const std::string& seconds) {
  // Delete and insert: the newer position takes the newest place in the order.
  Statement drop(m_db.get(), "DELETE FROM unsentProgress WHERE account=? AND lessonId=?");
  if (drop) drop.Bind(1, account).Bind(2, lessonId).Run();
  Statement insert(m_db.get(),
                   "INSERT INTO unsentProgress(account, lessonId, classId, vid, seconds) VALUES(?,?,?,?,?)");
  if (!insert ||
      !insert.Bind(1, account).Bind(2, lessonId).Bind(3, classId).Bind(4, vid).Bind(5, seconds).Run()) {
    LogError(L"unsent progress not kept lessonId:" + AnsiToWide(lessonId) + L"\n");
    return 0;
  }
  return sqlite3_last_insert_rowid(m_db.get());
}

std::vector<UnsentProgress> ProgressQueue::Pending(const std::string& account) const {
  std::vector<UnsentProgress> out;
  Statement query(m_db.get(),
                  "SELECT seq, account, lessonId, classId, vid, seconds, attempts FROM unsentProgress"
                  " WHERE account=? ORDER BY seq");
  if (!query) return out;
  query.Bind(1, account);
  while (query.Step()) {
    out.push_back({query.Int(0), query.Text(1), query.Text(2), query.Text(3), query.Text(4), query.Text(5),
                   static_cast<int>(query.Int(6))});
  }
  return out;
}

int64_t ProgressQueue::KeepWhileSending(const std::string& account, const std::string& lessonId,
                                        const std::string& classId, const std::string& vid,
                                        const std::string& seconds) {
  const int64_t seq = Keep(account, lessonId, classId, vid, seconds);
  if (seq > 0) m_sending.insert(seq);
  return seq;
}

void ProgressQueue::SendingEnded(int64_t seq, bool accepted) {
  m_sending.erase(seq);
  if (accepted) Remove(seq);
}

void ProgressQueue::Remove(int64_t seq) {
  Statement drop(m_db.get(), "DELETE FROM unsentProgress WHERE seq=?");
  if (drop) drop.Bind(1, seq).Run();
}

void ProgressQueue::CountAttempt(int64_t seq) {
  Statement bump(m_db.get(), "UPDATE unsentProgress SET attempts=attempts+1 WHERE seq=?");
  if (bump) bump.Bind(1, seq).Run();
  Statement query(m_db.get(), "SELECT lessonId, seconds FROM unsentProgress WHERE seq=? AND attempts>=?");
  if (query && query.Bind(1, seq).Bind(2, static_cast<int64_t>(kMaxAttempts)).Step()) {
    LogError(L"unsent progress given up lessonId:" + AnsiToWide(query.Text(0)) + L" duration:" +
             AnsiToWide(query.Text(1)) + L"\n");
    Remove(seq);
  }
}

void ProgressQueue::Flush(const std::string& account, Sender send, std::function<void(int)> done) {
  if (m_flushing || !send) return;
  std::vector<UnsentProgress> entries = Pending(account);
  std::erase_if(entries, [this](const UnsentProgress& entry) { return m_sending.count(entry.seq) > 0; });
  if (entries.empty()) {
    if (done) done(0);
    return;
  }
  m_flushing = true;
  m_receiver.SetHandler([this, done](UINT msg, WPARAM, LPARAM, const Payload& payload) -> LRESULT {
    auto* result = PayloadAs<FlushResult>(payload);
    if (msg != WM_PLAYER_TASK_DONE || !result) return 0;
    for (int64_t seq : result->sent) Remove(seq);
    for (int64_t seq : result->failed) CountAttempt(seq);
    m_flushing = false;
    if (done) done(static_cast<int>(result->sent.size()));
    return 0;
  });
  HWND receiver = m_receiver.GetHWND();
  BackgroundTask::RunDetachedResult(
      [receiver, entries = std::move(entries), send = std::move(send)](const CancelToken&) {
    FlushResult result;
    for (const UnsentProgress& entry : entries) {
      if (!send(entry.seconds, entry.lessonId)) {
        result.failed.push_back(entry.seq);
        break;
      }
      result.sent.push_back(entry.seq);
    }
    PostMessage(receiver, WM_PLAYER_TASK_DONE, 0, 0, MakePayload<FlushResult>(std::move(result)));
      },
      [] {});
}

void ProgressQueue::WatchNetwork(std::function<void()> onBack) {
  m_watch = std::make_unique<NetworkWatch>(std::move(onBack));
}

int64_t KeepBeforeSending(const std::string& lessonId, const std::string& classId, const std::string& vid,
                          const std::string& seconds) {
  return ProgressQueue::Get().KeepWhileSending(GetSignedInAccount(), lessonId, classId, vid, seconds);
}

void ProgressSendingEnded(int64_t seq, bool accepted) {
  if (seq > 0) ProgressQueue::Get().SendingEnded(seq, accepted);
}

void KeepUnsentProgress(const std::string& lessonId, const std::string& classId, const std::string& vid,
                        const std::string& seconds) {
  ProgressQueue& queue = ProgressQueue::Get();
  queue.Keep(GetSignedInAccount(), lessonId, classId, vid, seconds);
  queue.WatchNetwork([] { FlushUnsentProgress(); });
}

void FlushUnsentProgress() {
  std::string account = GetSignedInAccount();
  if (account.empty()) return;
  ProgressQueue::Get().Flush(account, GetPlayerServices().reportProgress);
}

void ResumeUnsentProgress() {
  std::string account = GetSignedInAccount();
  if (account.empty()) return;
  ProgressQueue& queue = ProgressQueue::Get();
  if (queue.Pending(account).empty()) return;
  queue.WatchNetwork([] { FlushUnsentProgress(); });
  FlushUnsentProgress();
}
