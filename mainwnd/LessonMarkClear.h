// The payload of WM_LESSON_MARK_CLEAR (1038): the online player closed on this lesson, so
// the main window clears the row's "正在观看" marker.
#pragma once

#include <string>

struct LessonMarkClear {
  std::string classId;
  std::string lessonId;
};
