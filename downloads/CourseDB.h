// The course database course.db: the classes, lesson videos and lecture documents put
// into the download manager, with their addresses, sizes and local files. Used from the
// UI thread only. Every operation does nothing (queries add nothing, checks answer
// false) while the file is not open.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "downloads/DownloadTask.h"
#include "downloads/PendingMove.h"
#include "platform/Types.h"

struct sqlite3;

class CourseDB {
 public:
  // The process's database, opened (and its schema brought up to date) on first use.
  static CourseDB* Get();
  // The process's database when it is open, else null (never opens one: a report from a
  // worker that arrives after sign-out must not create a database for nobody).
  static CourseDB* IfOpen();
  // Discards the instance and closes its file (sign-out, exit); Get opens it again.
  static void Release();

  // A database at `path` (wide text); Get uses "<db folder>course.db".
  explicit CourseDB(std::wstring path);
  ~CourseDB();
  CourseDB(const CourseDB&) = delete;
  CourseDB& operator=(const CourseDB&) = delete;

  void Open();
  // The schema statements, in order; their results are ignored (this is the whole
  // migration: an older file gains the later columns).
  void CreateTables();
  bool IsOpened() const { return m_opened; }
  // Open and CreateTables, and when the file then is no usable course database (not a
  // database, damaged, a table without the columns the program reads), the file is moved
  // aside under a timestamped name and a fresh one created in its place. Get uses this.
  void OpenChecked();

  // Adds the kind's classes to the download task list.
  void GetAllClass(TaskKind kind);
  bool HasClass(const std::string& classId, TaskKind kind);
  void InsertClass(const std::string& classId, const std::string& className, TaskKind kind);

  // Appends the class's lessons (documents) to the task list with the size already on
  // disk: paused unless their whole file is there (no job runs for them yet); `window`
  // receives their messages.
  void GetLesson(const std::string& classId, const std::string& className, HWND window);
  // Lessons are keyed by their lesson id; several lessons may play one video.
  bool HasLesson(const std::string& lessonId);
  // fileName in the locale's text; localPath already UTF-8; videoId empty: the lesson id.
  void InsertLesson(const std::string& classId, const std::string& lessonId, const std::string& fileName,
                    const std::string& url, const std::string& sizeText, const std::string& localPath,
                    const std::string& videoId = {});
  void DeleteLesson(const std::string& lessonId);
  // The videos of the class's rows stored when a video stood for its lesson (their key is
  // still that video id), and giving such a row its lesson (false when there is no such row
  // or the lesson already has one).
  std::vector<std::string> VideoKeyedLessons(const std::string& classId);
  bool RekeyLesson(const std::string& classId, const std::string& videoId, const std::string& lessonId);

  void GetDoc(const std::string& classId, const std::string& className, HWND window);
  bool HasDoc(const std::string& documentId);
  void InsertDoc(const std::string& classId, const std::string& documentId, const std::string& fileName,
                 const std::string& url, const std::string& sizeText, const std::string& localPath);
  void DeleteDoc(const std::string& documentId);

  // Writes between BeginWrites and EndWrites reach the disk together, in one transaction: a
  // batch of downloads costs one sync instead of one per row, and the window that records
  // it does not stall. Calls nest; only the outermost pair begins and commits.
  void BeginWrites();
  void EndWrites();

  // Stores the task's validator and full size (learned from the first answer's headers, or
  // what a finished, failed or stopped job hands back) and its local and partial files in
  // its lesson or document row, so that a resume after a restart can check that the server
  // still has the same copy and appends only to the task's own file (a record without
  // files leaves the stored ones). The loaders read them back into the tasks.
  void SaveResumeInfo(const DownloadTask& task);
  // Whether the student paused the download of that lesson (video kind) or document: read
  // back into DownloadTask::pausedByStudent by the loaders.
  void SetPausedByStudent(TaskKind kind, const std::string& id, bool paused);

  // The journal of files moving to another download folder. Rows are stored before any
  // file moves; PointTaskAt makes the task's row name the moved file (durably, in one
  // transaction with the journal row) and DropPendingMove ends the row once the old file
  // is gone. False when the database could not store it.
  bool AddPendingMoves(const std::vector<PendingMove>& moves);
  std::vector<PendingMove> PendingMoves();
  bool RetargetPendingMove(const PendingMove& move);
  bool PointTaskAt(const PendingMove& move);
  void DropPendingMove(std::int64_t seq);

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  void LoadItems(const char* table, const std::string& classId, const std::string& className, HWND window,
                 TaskKind kind);
  bool HasItem(const char* table, const char* idColumn, const std::string& id);
  void InsertItem(const char* table, const std::string& classId, const std::string& id,
                  const std::string& fileName, const std::string& url, const std::string& sizeText,
                  const std::string& localPath);
  void DeleteItem(const char* table, const char* idColumn, const std::string& id);
  // False when the open file fails SQLite's check or lacks a table or column of the schema.
  bool IsIntact();

  std::wstring m_path;
  std::unique_ptr<sqlite3, Closer> m_db;
  bool m_opened = false;
  int m_writeDepth = 0;
};

// The `type` text of a kind: "video" (2), "document" (3), empty otherwise.
const char* CourseTypeText(TaskKind kind);
// A size text read as a signed 64-bit decimal: its leading digits, 0 when there are none.
std::int64_t ParseSizeText(const std::string& text);
