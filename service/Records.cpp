// The process-wide catalogue.
#include "service/Records.h"

SubjectList gSubjectList;

void SubjectList::Clear() {
  ExamNames.clear();
  PackagesByExam.clear();
  SinglePackages.clear();
  Classes.clear();
}

std::vector<DocumentRecord> SubjectList::DocumentsOf(const std::string& classId) const {
  for (const auto& [examId, packages] : PackagesByExam)
    for (const GroupPackageRecord& package : packages)
      for (const SubjectEntry& subject : package.classes)
        for (const ClassRecord& cls : subject.classes)
          if (cls.id == classId) return cls.jiangyi;
  for (auto it = Classes.rbegin(); it != Classes.rend(); ++it)
    if (it->id == classId) return it->jiangyi;
  return {};
}

bool SubjectList::HasClass(const std::string& classId) const {
  for (const auto& [examId, packages] : PackagesByExam)
    for (const GroupPackageRecord& package : packages)
      for (const SubjectEntry& subject : package.classes)
        for (const ClassRecord& cls : subject.classes)
          if (cls.id == classId) return true;
  for (const SinglePackageRecord& single : SinglePackages)
    if (single.id == classId) return true;
  for (const ClassRecord& cls : Classes)
    if (cls.id == classId) return true;
  return false;
}

std::string SubjectList::ExamName(int32_t examId) const {
  const auto it = ExamNames.find(examId);
  return it == ExamNames.end() ? std::string() : it->second;
}
