// The sample school read from the catalogue folder: accounts (accounts.json), exams,
// packages, classes, teachers, lessons and documents (courses.json) and the generated
// media (media.json). Read once at start; immutable afterwards, so every request thread
// reads it without a lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace demo {

struct LessonProgress {
    std::int64_t learned = 0;
    std::string finishedTime;
};

struct Account {
    std::string id, username, password, mobile, nickname, realname, balance, qq, email, addressId, address,
        avatar;
    std::vector<std::string> packages, singlePackages, classes;
    // Where the student stands before the service recorded anything for them: learned seconds
    // per lesson id and the last lesson per class id.
    std::map<std::string, LessonProgress> progress;
    std::map<std::string, std::string> lastLesson;
};

struct Lesson {
    std::string id, name, vid;
    // The length the school announces ("duration" of the class answer), exactly as written
    // in the catalogue; none means the length of the video.
    std::optional<std::string> duration;
};

struct Document {
    std::string id, name, file, createTime;
};

struct ClassDef {
    std::string id, name, img, subjectId, examId, deadline;
    std::vector<std::string> teachers;
    std::vector<Lesson> lessons;
    std::vector<Document> docs;
};

struct Teacher {
    std::string id, name, title, mainSubject, avatar, desc;
};

struct Subject {
    std::string name;
    std::vector<std::string> classIds;
};

struct Package {
    std::string id, examId, name, img, deadline;
    std::vector<Subject> subjects;
};

struct SinglePackage {
    std::string id, name, img;
};

struct Video {
    std::string vid, file, title, codec;
    int seconds = 0;
};

struct Exam {
    std::string id, name;
};

class Catalogue {
public:
    // Reads the three files of `dir`; false with a reason when one is missing or malformed.
    bool Load(const std::filesystem::path& dir, std::string& error);

    const Account* AccountByUsername(const std::string& username) const;
    const Account* AccountByMobile(const std::string& mobile) const;
    const Account* AccountById(const std::string& id) const;

    const ClassDef* FindClass(const std::string& id) const;
    const Package* FindPackage(const std::string& id) const;
    const SinglePackage* FindSinglePackage(const std::string& id) const;
    const Teacher* FindTeacher(const std::string& id) const;
    const Video* FindVideo(const std::string& vid) const;

    // The lesson's "duration" text, and the same in seconds (0 when it is no number).
    std::string DurationText(const Lesson& lesson) const;
    std::int64_t DurationSeconds(const Lesson& lesson) const;

    // True when the account bought the class, through a package, as a single package or alone.
    bool Owns(const Account& account, const std::string& classId) const;
    // The class holding the lesson among those the account owns, or none.
    const ClassDef* OwnedClassOfLesson(const Account& account, const std::string& lessonId,
                                       const Lesson** lesson) const;

    const std::vector<Exam>& Exams() const { return m_exams; }
    const std::string& CurrentExam() const { return m_curExam; }
    const std::vector<Video>& Videos() const { return m_videos; }

private:
    std::vector<Account> m_accounts;
    std::vector<Exam> m_exams;
    std::string m_curExam;
    std::vector<Package> m_packages;
    std::vector<SinglePackage> m_singlePackages;
    std::map<std::string, ClassDef> m_classes;
    std::map<std::string, Teacher> m_teachers;
    std::vector<Video> m_videos;
};

}  // namespace demo
