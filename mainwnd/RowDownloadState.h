// The download look of a course list row: its download button ("btnVideoDown" /
// "btnDocDown") and, for documents, its view button ("btnDocLook"). Initial states come
// from the download task list; later ones from the manager windows' row messages.
// Main thread only.
#pragma once

#include <string>

#include "downloads/DownloadTask.h"
#include "service/Records.h"
#include "ui/Forward.h"

// Button texts that are states.
inline constexpr const wchar_t* kRowNotDownloaded = L"下载";
inline constexpr const wchar_t* kRowWaiting = L"等待下载";
inline constexpr const wchar_t* kRowPaused = L"已暂停";
inline constexpr const wchar_t* kRowDownloaded = L"已下载";

// The button's state from the task of (class, lesson "id") of kind 2.
void ApplyLessonState(CControlUI* button, const std::string& classId, const LessonRecord& lesson);
// Both buttons from the task of (class, document "id") of kind 3.
void ApplyDocState(CControlUI* button, CControlUI* look, const std::string& classId,
                   const DocumentRecord& doc);

// Message 1042: the row's download button shows the percentage.
void SetRowProgress(CControlUI* row, TaskKind kind, int percent);
// A task was just added: the row shows it queued.
void SetRowWaiting(CControlUI* row, TaskKind kind);
// Message 1060: the row's download button shows the status text (locked at "已下载"); a
// document's view button opens only a downloaded document.
void SetRowStatus(CControlUI* row, TaskKind kind, const std::wstring& status);
