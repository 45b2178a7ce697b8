// Builds the controls of the course lists: the lesson and document lists with their
// header, rows, empty, loading and failed states. Identities travel in user data: the
// list holds its class id, a row its lesson "video" or document "id", a row's option and
// buttons their row index. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "service/Records.h"
#include "ui/Forward.h"

enum class ListKind { Lessons, Documents };

// A hidden list of `kind` for the class; `windowWidth` sizes the header's separator.
std::unique_ptr<CListUI> CreateCourseList(ListKind kind, const std::string& classId, int windowWidth);

// The document list's named style "list_style", once the list is in a window whose skin
// defines it (styles are looked up through the window).
void ApplyDocListStyle(CListUI& list);

// The picture and text shown in place of rows ("暂无视频" / "暂无讲义").
void AddEmptyState(CListUI& list, ListKind kind);
// A turning arc and "加载中…" while the class's lessons are on their way.
void AddLoadingState(CListUI& list);
// Shown when no answer came: the student may select the class again to retry.
void AddFailedState(CListUI& list);

// What a row's cells get once they exist (the download look, read from the task list then).
using RowDressing = std::function<void(CListContainerElementUI& row)>;

// One row; `index` is the record's index in the class's cached list. The lesson row's
// marker shows "上一次观看" when the lesson "id" equals `lastLessonId`. The row carries
// its id and size at once; its cells are made when it first comes into view or is asked
// for them, and `dressed` runs right after.
void AddLessonRow(CListUI& list, const LessonRecord& lesson, int index, const std::string& lastLessonId,
                  RowDressing dressed = {});
void AddDocRow(CListUI& list, const DocumentRecord& doc, int index, RowDressing dressed = {});

// The marker cell (third cell) of a lesson row, or null.
CLabelUI* MarkerCellOf(CListContainerElementUI* row);
// Writes the "正在观看" look into a marker cell.
void MarkWatching(CLabelUI& marker);
// Gives a marker cell the "上一次观看" look and text.
void MarkLastWatched(CLabelUI& marker);
// Rewrites a progress label from the duration and learned seconds (the label's user data
// becomes the learned seconds).
void SetProgressLabel(CLabelUI& label, int64_t duration, int64_t learned);
