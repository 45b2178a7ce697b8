// Learning positions the service has not taken yet (network down, service error, or a
// report still on its way). Every report is kept in course.db (table unsentProgress, one
// row per account and lesson: a newer position replaces an older unsent one) before it is
// sent and leaves when the service accepts it, so a crash while it is on its way loses
// nothing. Kept positions are sent again, oldest first, when the network comes back, after
// the next report the service accepts, after a sign-in and when a player opens. Main
// thread only; the sending runs on a pooled worker.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "downloads/CourseStore.h"

#include "platform/MessageWindow.h"

struct sqlite3;
class NetworkWatch;

struct UnsentProgress {
  int64_t seq = 0;  // order of keeping; a replacement gets a new one
  std::string account;
  std::string lessonId;
  std::string classId;
  std::string vid;
  std::string seconds;
  int attempts = 0;
};

class ProgressQueue {
 public:
  // The queue in the signed-in account's "<db folder>course.db", opened on first use and
  // again when the account changed.
  static ProgressQueue& Get();
  // Closes the file (sign-out, exit, tests); Get opens it again.
  static void Release();

  explicit ProgressQueue(const std::wstring& path);
  ~ProgressQueue();
  ProgressQueue(const ProgressQueue&) = delete;
  ProgressQueue& operator=(const ProgressQueue&) = delete;

  bool IsOpen() const { return m_db != nullptr; }
  // The kept entry's number (0 when it could not be kept).
  int64_t Keep(const std::string& account, const std::string& lessonId, const std::string& classId,
               const std::string& vid, const std::string& seconds);
  // Keep for a report about to be sent: until SendingEnded the entry is left out of Flush
  // rounds, so one position does not go twice at once.
  int64_t KeepWhileSending(const std::string& account, const std::string& lessonId,
                           const std::string& classId, const std::string& vid, const std::string& seconds);
  // The report of entry `seq` came back: accepted, the entry leaves (a newer position kept
  // meanwhile stays); refused, it stays for the next round.
  void SendingEnded(int64_t seq, bool accepted);
  // The account's entries, oldest first.
  std::vector<UnsentProgress> Pending(const std::string& account) const;

  // Sends the account's entries in order with `send` (seconds, lesson id) on a worker; the
  // first refusal ends the round (the network is probably still down). Sent entries leave
  // the queue unless a newer position replaced them meanwhile; `done` runs afterwards on
  // the main thread with the number sent. One round at a time.
  using Sender = std::function<bool(const std::string& seconds, const std::string& lessonId)>;
  void Flush(const std::string& account, Sender send, std::function<void(int sent)> done = {});
  bool IsFlushing() const { return m_flushing; }

  // Sends again whenever the network comes back (with the signed-in account).
  void WatchNetwork(std::function<void()> onBack);

  // An entry that failed this many rounds is given up (logged): the service refuses it.
  static constexpr int kMaxAttempts = 10;

 private:
  void Remove(int64_t seq);
  void CountAttempt(int64_t seq);

  std::wstring m_path;
  CourseStoreConnection m_db;
  MessageWindow m_receiver;
  std::unique_ptr<NetworkWatch> m_watch;
  bool m_flushing = false;
  std::set<int64_t> m_sending;
};

// Keeps a report for the signed-in account before it is sent; its entry number, for
// ProgressSendingEnded once the service answered (or did not).
int64_t KeepBeforeSending(const std::string& lessonId, const std::string& classId, const std::string& vid,
                          const std::string& seconds);
void ProgressSendingEnded(int64_t seq, bool accepted);
// Keeps a report the service did not take, for the signed-in account.
void KeepUnsentProgress(const std::string& lessonId, const std::string& classId, const std::string& vid,
                        const std::string& seconds);
// Sends the signed-in account's kept reports with the player's service.
void FlushUnsentProgress();
// After a sign-in: sends what the account kept (possibly from an earlier run) and, while
// something waits, sends again whenever the network comes back.
void ResumeUnsentProgress();
