// Records built from the service's answers. Every text is narrow (locale) text converted
// from the answer's UTF-8; a field whose JSON value is not a string stays empty.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The signed-in person, from "/api/user/myInfo"; the fields in the service's order.
struct AccountRecord {
  std::string id;
  std::string username;
  std::string nickname;
  std::string realname;
  std::string mobile;
  std::string balance;
  std::string token;  // as the service reports it; not the session token
  std::string login_time;
  std::string avatar;
  std::string qq;
  std::string email;
  std::string address_id;
  std::string address;
};

// A lecture-note document of a class ("jiangyi").
struct DocumentRecord {
  std::string id;
  std::string class_id;
  std::string name;
  std::string sort;
  std::string file_size;
  std::string file_url;
  std::string create_time;
  std::string last_time;
  std::string is_delete;
};

struct ClassRecord {
  std::string id;
  std::string name;
  std::string img;
  std::string subject_id;
  std::string exam_id;
  std::string deadline;
  std::vector<DocumentRecord> jiangyi;
};

// A subject of a group package with its classes.
struct SubjectEntry {
  std::string subject;
  std::vector<ClassRecord> classes;
};

struct GroupPackageRecord {
  std::string id;
  std::string img;
  std::string name;
  std::string deadline;
  std::vector<SubjectEntry> classes;
};

struct SinglePackageRecord {
  std::string id;
  std::string img;
  std::string name;
};

struct TeacherRecord {
  std::string id;
  std::string name;
  std::string title;
  std::string main_subject;
  std::string avatar;
  std::string desc;
};

// A lesson of a class; "duration" and "learned_duration" are seconds as decimal text and
// "video" is the video id the player and the downloads use.
struct LessonRecord {
  std::string id;
  std::string sort;
  std::string name;
  std::string duration;
  std::string material_download;
  std::string video;
  std::string high_video;
  std::string csw_id;
  std::string learned_duration;
  std::string finished_time;
};

// The "data" of "/api/user/myClass"; filled in place by ParseMyCourseList.
struct ClassDetail {
  bool hasOld = false;
  bool isTwoTeacher = false;
  int32_t lessonIndex = 0;
  std::string classId;
  std::string className;
  std::string deadline;
  std::string lastLearnLessonId;
  std::string lastLearnedDuration;
  std::string lessonNum;
  std::vector<TeacherRecord> teachers;
  std::vector<LessonRecord> lessons;
};

// Everything the student bought, loaded once after sign-in and emptied when the main
// window closes. Filled on the login worker, read afterwards on the main thread only.
struct SubjectList {
  std::map<int32_t, std::string> ExamNames;
  std::map<int32_t, std::vector<GroupPackageRecord>> PackagesByExam;
  std::vector<SinglePackageRecord> SinglePackages;
  std::vector<ClassRecord> Classes;

  void Clear();
  // The exam's name; empty text when the id is absent.
  std::string ExamName(int32_t examId) const;
  // The class's documents: the first match among the packages' classes (exams in
  // ascending id, then list order), else the last match among the loose classes.
  std::vector<DocumentRecord> DocumentsOf(const std::string& classId) const;
  // Whether a class (or single package) of that id is anywhere in the tree.
  bool HasClass(const std::string& classId) const;
};

extern SubjectList gSubjectList;
