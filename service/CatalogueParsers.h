// Parsers of the two catalogue answers: everything bought ("/api/user/myCourse") into
// gSubjectList, and one class's lessons ("/api/user/myClass") into a ClassDetail.
// Array items that are not JSON objects are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct ClassDetail;
struct ServiceReply;
struct SubjectList;

// How a class-detail request ended, for callers that must tell a missing answer from a
// refusal: Filled (code 200), ServiceFault (code 500, detail untouched), Refused (any
// other code: the sign-in is no longer valid), NoAnswer (no exchange, an HTTP error
// status, or a body that is not the service's JSON envelope).
enum class ClassDetailResult { Filled, ServiceFault, Refused, NoAnswer };

// Adds the signed-in student's catalogue to gSubjectList (left empty on failure).
void ParseGetMyCourse();
// True while the sign-in is valid: code 200 (detail filled) or 500 (detail untouched).
bool ParseMyCourseList(const std::string& classId, ClassDetail& detail);
// The same request, judged with the transport's outcome.
ClassDetailResult FetchClassDetail(const std::string& classId, ClassDetail& detail);
ClassDetailResult ReadClassDetailReply(const ServiceReply& reply, ClassDetail& detail);

// True when the answer was the service's catalogue (code 200), so it may be kept for a
// start without the network.
bool ParseGetMyCourseAnswer(std::string answer);
// The same into `list` (the kept catalogue read for other uses than the windows, or on a worker while the windows show gSubjectList).
bool ParseMyCourseAnswerInto(std::string answer, SubjectList& list);
bool ParseMyCourseListAnswer(std::string answer, ClassDetail& detail);
ClassDetailResult ParseClassDetailAnswer(std::string answer, ClassDetail& detail);

// An exam id text read as a key: leading blanks, an optional sign, the leading digits;
// 0 when there are none, clamped to the 32-bit range.
int32_t ExamIdKey(std::string_view text);
