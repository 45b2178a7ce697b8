// The course view's lesson and document lists. (Interface in place; the lists follow.)
#include "mainwnd/CourseLists.h"

#include "app/Settings.h"
#include "app/TextConv.h"

struct CourseLists::Impl {};

CourseLists::CourseLists(WindowImplBase& window, Delegate& delegate)
    : m_window(window), m_delegate(delegate), m_impl(std::make_unique<Impl>()) {}

CourseLists::~CourseLists() = default;

void CourseLists::LoadLastPosition() {}
void CourseLists::ShowLessonList(const std::string&) {}
void CourseLists::ShowDocList(const std::string&) {}
CListUI* CourseLists::FindLessonList(const std::string&) const { return nullptr; }
CListUI* CourseLists::FindDocList(const std::string&) const { return nullptr; }
CListContainerElementUI* CourseLists::FindRow(CListUI*, const std::wstring&) { return nullptr; }
void CourseLists::SaveLastPosition(const std::string& classId, const std::string& lessonId) {
  m_lastClassId = classId;
  m_lastLessonId = lessonId;
}
bool CourseLists::PreviousLesson(const std::string&, const std::string&, std::string&, std::string&) { return false; }
bool CourseLists::NextLesson(const std::string&, const std::string&, std::string&, std::string&) { return false; }
void CourseLists::UpdateLessonProgress(const std::string&, const std::string&, int64_t) {}
void CourseLists::ClearLessonMark(const std::string&, const std::string&) {}
bool CourseLists::HandleNotify(TNotifyUI&) { return false; }
