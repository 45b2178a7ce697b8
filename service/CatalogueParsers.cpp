// Catalogue answers into records.
#include "service/CatalogueParsers.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "app/Log.h"
#include "service/Endpoints.h"
#include "service/Envelope.h"
#include "service/Records.h"

namespace {

using rapidjson::Value;

// Calls read(item) for every object item of the member's array; returns false when the
// member is not an array.
template <typename Read>
bool ForEachObject(const Value& parent, const char* key, Read read) {
  const Value* array = ArrayMember(parent, key);
  if (array == nullptr) return false;
  for (const Value& item : array->GetArray()) {
    if (item.IsObject()) read(item);
  }
  return true;
}

size_t ArraySize(const Value& parent, const char* key) {
  const Value* array = ArrayMember(parent, key);
  return array == nullptr ? 0 : array->Size();
}

DocumentRecord ReadDocument(const Value& item) {
  DocumentRecord record;
  TakeText(item, "id", record.id);
  TakeText(item, "class_id", record.class_id);
  TakeText(item, "name", record.name);
  TakeText(item, "sort", record.sort);
  TakeText(item, "file_size", record.file_size);
  TakeText(item, "file_url", record.file_url);
  TakeText(item, "create_time", record.create_time);
  TakeText(item, "last_time", record.last_time);
  TakeText(item, "is_delete", record.is_delete);
  return record;
}

ClassRecord ReadClass(const Value& item) {
  ClassRecord record;
  TakeText(item, "id", record.id);
  TakeText(item, "name", record.name);
  TakeText(item, "img", record.img);
  TakeText(item, "subject_id", record.subject_id);
  TakeText(item, "exam_id", record.exam_id);
  TakeText(item, "deadline", record.deadline);
  record.jiangyi.reserve(ArraySize(item, "jiangyi"));
  ForEachObject(item, "jiangyi", [&](const Value& doc) { record.jiangyi.push_back(ReadDocument(doc)); });
  return record;
}

GroupPackageRecord ReadGroupPackage(const Value& item) {
  GroupPackageRecord record;
  TakeText(item, "id", record.id);
  TakeText(item, "img", record.img);
  TakeText(item, "name", record.name);
  TakeText(item, "deadline", record.deadline);
  ForEachObject(item, "classes", [&](const Value& subjectItem) {
    SubjectEntry subject;
    TakeText(subjectItem, "subject", subject.subject);
    subject.classes.reserve(ArraySize(subjectItem, "classes"));
    ForEachObject(subjectItem, "classes",
                  [&](const Value& classItem) { subject.classes.push_back(ReadClass(classItem)); });
    record.classes.push_back(std::move(subject));
  });
  return record;
}

TeacherRecord ReadTeacher(const Value& item) {
  TeacherRecord record;
  TakeText(item, "id", record.id);
  TakeText(item, "name", record.name);
  TakeText(item, "title", record.title);
  TakeText(item, "main_subject", record.main_subject);
  TakeText(item, "avatar", record.avatar);
  TakeText(item, "desc", record.desc);
  return record;
}

LessonRecord ReadLesson(const Value& item) {
  LessonRecord record;
  TakeText(item, "id", record.id);
  TakeText(item, "sort", record.sort);
  TakeText(item, "name", record.name);
  TakeText(item, "duration", record.duration);
  TakeText(item, "material_download", record.material_download);
  TakeText(item, "video", record.video);
  TakeText(item, "high_video", record.high_video);
  TakeText(item, "csw_id", record.csw_id);
  TakeText(item, "learned_duration", record.learned_duration);
  TakeText(item, "finished_time", record.finished_time);
  return record;
}

void TakeBool(const Value& object, const char* key, bool& field) {
  const Value* value = FindValue(object, key);
  if (value != nullptr && value->IsBool()) field = value->GetBool();
}

}  // namespace

int32_t ExamIdKey(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<int64_t>(value * 10 + (text[i] - '0'), kLimit);
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min<int64_t>(value, kLimit - 1));
}

bool ParseGetMyCourseAnswer(std::string answer) {
  return ParseGetMyCourseAnswer(std::move(answer), gSubjectList);
}

bool ParseGetMyCourseAnswer(std::string answer, SubjectList& list) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseGetMyCourse")) return false;
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseGetMyCourse false msg:", envelope);
    return false;
  }
  LogNormal(L"GetMyCourse 200");
  const Value* data = ObjectMember(document, "data");
  if (data == nullptr) return true;

  ForEachObject(*data, "exams", [&](const Value& item) {
    std::string id;
    std::string name;
    TakeText(item, "id", id);
    TakeText(item, "name", name);
    list.ExamNames.emplace(ExamIdKey(id), std::move(name));  // the first name stays
  });
  ForEachObject(*data, "gpPackage", [&](const Value& item) {
    std::string examId;
    TakeText(item, "exam_id", examId);
    list.PackagesByExam[ExamIdKey(examId)].push_back(ReadGroupPackage(item));
  });
  if (const Value* singles = ArrayMember(*data, "singlePackage")) {
    LogNormal(L"data singlePackage");
    list.SinglePackages.clear();
    list.SinglePackages.reserve(singles->Size());
    ForEachObject(*data, "singlePackage", [&](const Value& item) {
      SinglePackageRecord record;
      TakeText(item, "id", record.id);
      TakeText(item, "name", record.name);
      TakeText(item, "img", record.img);
      list.SinglePackages.push_back(std::move(record));
    });
  }
  if (const Value* classes = ArrayMember(*data, "classes")) {
    LogNormal(L"data classes");
    list.Classes.clear();
    list.Classes.reserve(classes->Size());
    ForEachObject(*data, "classes", [&](const Value& item) { list.Classes.push_back(ReadClass(item)); });
  }
  return true;
}

bool ParseMyCourseListAnswer(std::string answer, ClassDetail& detail) {
  const ClassDetailResult result = ParseClassDetailAnswer(std::move(answer), detail);
  return result == ClassDetailResult::Filled || result == ClassDetailResult::ServiceFault;
}

ClassDetailResult ParseClassDetailAnswer(std::string answer, ClassDetail& detail) {
  rapidjson::Document document;
  if (!ParseAnswerRoot(answer, document, L"ParseMyCourseList")) return ClassDetailResult::NoAnswer;
  const Value* code = FindValue(document, "code");
  const Envelope envelope = ReadStandardEnvelope(document, 0);
  if (envelope.code != 200) {
    LogAnswerFailure(L"ParseMyCourseList false msg:", envelope);
    // Without an integer code the body is not the service's envelope (a proxy's page, say).
    if (code == nullptr || !code->IsInt()) return ClassDetailResult::NoAnswer;
    // 500 is the service's own trouble, not an expired sign-in.
    return envelope.code == 500 ? ClassDetailResult::ServiceFault : ClassDetailResult::Refused;
  }
  const Value* data = ObjectMember(document, "data");
  if (data == nullptr) return ClassDetailResult::Filled;
  if (const Value* teachers = ArrayMember(*data, "teachers")) {
    detail.teachers.clear();
    detail.teachers.reserve(teachers->Size());
    ForEachObject(*data, "teachers",
                  [&](const Value& item) { detail.teachers.push_back(ReadTeacher(item)); });
  }
  if (const Value* lessons = ArrayMember(*data, "lessons")) {
    detail.lessons.clear();
    detail.lessons.reserve(lessons->Size());
    ForEachObject(*data, "lessons", [&](const Value& item) { detail.lessons.push_back(ReadLesson(item)); });
  }
  const Value* lessonIndex = FindValue(*data, "lessonIndex");
  if (lessonIndex != nullptr && lessonIndex->IsInt()) {
    detail.lessonIndex = lessonIndex->GetInt();
  }
  TakeBool(*data, "hasOld", detail.hasOld);
  TakeBool(*data, "isTwoTeacher", detail.isTwoTeacher);
  TakeText(*data, "classId", detail.classId);
  TakeText(*data, "className", detail.className);
  TakeText(*data, "deadline", detail.deadline);
  TakeText(*data, "lastLearnLessonId", detail.lastLearnLessonId);
  TakeText(*data, "lastLearnedDuration", detail.lastLearnedDuration);
  TakeText(*data, "lessonNum", detail.lessonNum);
  return ClassDetailResult::Filled;
}

void ParseGetMyCourse() { ParseGetMyCourseAnswer(GetMyCourse()); }

bool ParseMyCourseList(const std::string& classId, ClassDetail& detail) {
  return ParseMyCourseListAnswer(MyCourseList(classId), detail);
}

ClassDetailResult ReadClassDetailReply(const ServiceReply& reply, ClassDetail& detail) {
  if (!reply.completed) return ClassDetailResult::NoAnswer;
  if (reply.httpStatus < 200 || reply.httpStatus > 299) {
    LogError(L"ParseMyCourseList http status:" + std::to_wstring(reply.httpStatus));
    return ClassDetailResult::NoAnswer;
  }
  return ParseClassDetailAnswer(reply.body, detail);
}

ClassDetailResult FetchClassDetail(const std::string& classId, ClassDetail& detail) {
  return ReadClassDetailReply(MyCourseListReply(classId), detail);
}
