// The process-wide catalogue.
#include "service/Records.h"

SubjectList gSubjectList;

void SubjectList::Clear() {
  ExamNames.clear();
  PackagesByExam.clear();
  SinglePackages.clear();
  Classes.clear();
}

std::string SubjectList::ExamName(int32_t examId) const {
  const auto it = ExamNames.find(examId);
  return it == ExamNames.end() ? std::string() : it->second;
}
