#include "Catalogue.h"

#include "Json.h"

#include <algorithm>
#include <charconv>

namespace demo {

namespace {

const rapidjson::Value* ArrayMember(const rapidjson::Value& obj, const char* key) {
    if (!obj.IsObject()) return nullptr;
    auto it = obj.FindMember(key);
    return it != obj.MemberEnd() && it->value.IsArray() ? &it->value : nullptr;
}

template <class T, class Fn>
void ForEachObject(const rapidjson::Value& obj, const char* key, std::vector<T>& out, Fn&& read) {
    if (const auto* list = ArrayMember(obj, key)) {
        for (const auto& item : list->GetArray()) {
            if (item.IsObject()) out.push_back(read(item));
        }
    }
}

}  // namespace

bool Catalogue::Load(const std::filesystem::path& dir, std::string& error) {
    rapidjson::Document accounts, courses, media;
    if (!ReadJsonFile(dir / "accounts.json", accounts, error) || !ReadJsonFile(dir / "courses.json", courses, error) ||
        !ReadJsonFile(dir / "media.json", media, error))
        return false;

    ForEachObject(accounts, "accounts", m_accounts, [](const rapidjson::Value& a) {
        Account r;
        r.id = StringMember(a, "id");
        r.username = StringMember(a, "username");
        r.password = StringMember(a, "password");
        r.mobile = StringMember(a, "mobile");
        r.nickname = StringMember(a, "nickname");
        r.realname = StringMember(a, "realname");
        r.balance = StringMember(a, "balance");
        r.qq = StringMember(a, "qq");
        r.email = StringMember(a, "email");
        r.addressId = StringMember(a, "address_id");
        r.address = StringMember(a, "address");
        r.avatar = StringMember(a, "avatar");
        r.packages = StringList(a, "packages");
        r.singlePackages = StringList(a, "singlePackages");
        r.classes = StringList(a, "classes");
        if (a.HasMember("progress") && a["progress"].IsObject()) {
            for (const auto& m : a["progress"].GetObject()) {
                LessonProgress p;
                if (m.value.IsObject() && m.value.HasMember("learned") && m.value["learned"].IsInt64())
                    p.learned = m.value["learned"].GetInt64();
                p.finishedTime = StringMember(m.value, "finished_time");
                r.progress[m.name.GetString()] = p;
            }
        }
        if (a.HasMember("lastLesson") && a["lastLesson"].IsObject()) {
            for (const auto& m : a["lastLesson"].GetObject()) {
                if (m.value.IsString()) r.lastLesson[m.name.GetString()] = m.value.GetString();
            }
        }
        return r;
    });
    ForEachObject(courses, "exams", m_exams, [](const rapidjson::Value& e) {
        return Exam{StringMember(e, "id"), StringMember(e, "name")};
    });
    m_curExam = StringMember(courses, "curExam");
    ForEachObject(courses, "packages", m_packages, [](const rapidjson::Value& p) {
        Package r{StringMember(p, "id"), StringMember(p, "exam_id"), StringMember(p, "name"), StringMember(p, "img"),
                  StringMember(p, "deadline"), {}};
        ForEachObject(p, "subjects", r.subjects, [](const rapidjson::Value& s) {
            return Subject{StringMember(s, "subject"), StringList(s, "classes")};
        });
        return r;
    });
    ForEachObject(courses, "singlePackages", m_singlePackages, [](const rapidjson::Value& s) {
        return SinglePackage{StringMember(s, "id"), StringMember(s, "name"), StringMember(s, "img")};
    });
    if (courses.HasMember("teachers") && courses["teachers"].IsObject()) {
        for (const auto& m : courses["teachers"].GetObject()) {
            const auto& t = m.value;
            m_teachers[m.name.GetString()] = Teacher{m.name.GetString(),       StringMember(t, "name"),
                                                     StringMember(t, "title"), StringMember(t, "main_subject"),
                                                     StringMember(t, "avatar"), StringMember(t, "desc")};
        }
    }
    if (courses.HasMember("classes") && courses["classes"].IsObject()) {
        for (const auto& m : courses["classes"].GetObject()) {
            const auto& c = m.value;
            ClassDef r{m.name.GetString(),          StringMember(c, "name"),     StringMember(c, "img"),
                       StringMember(c, "subject_id"), StringMember(c, "exam_id"), StringMember(c, "deadline"),
                       StringList(c, "teachers"),    {},                         {}};
            ForEachObject(c, "lessons", r.lessons, [](const rapidjson::Value& l) {
                Lesson r{StringMember(l, "id"), StringMember(l, "name"), StringMember(l, "video"), std::nullopt};
                if (l.HasMember("duration") && l["duration"].IsString()) r.duration = l["duration"].GetString();
                return r;
            });
            ForEachObject(c, "docs", r.docs, [](const rapidjson::Value& d) {
                return Document{StringMember(d, "id"), StringMember(d, "name"), StringMember(d, "file"),
                                StringMember(d, "create_time")};
            });
            m_classes[r.id] = std::move(r);
        }
    }
    ForEachObject(media, "videos", m_videos, [](const rapidjson::Value& v) {
        Video r{StringMember(v, "vid"), StringMember(v, "file"), StringMember(v, "title"), StringMember(v, "codec"), 0};
        if (v.HasMember("seconds") && v["seconds"].IsInt()) r.seconds = v["seconds"].GetInt();
        return r;
    });
    if (m_accounts.empty()) {
        error = "no account in " + (dir / "accounts.json").string();
        return false;
    }
    return true;
}

const Account* Catalogue::AccountByUsername(const std::string& username) const {
    auto it = std::find_if(m_accounts.begin(), m_accounts.end(), [&](const Account& a) { return a.username == username; });
    return it == m_accounts.end() || username.empty() ? nullptr : &*it;
}

const Account* Catalogue::AccountByMobile(const std::string& mobile) const {
    auto it = std::find_if(m_accounts.begin(), m_accounts.end(), [&](const Account& a) { return a.mobile == mobile; });
    return it == m_accounts.end() || mobile.empty() ? nullptr : &*it;
}

const Account* Catalogue::AccountById(const std::string& id) const {
    auto it = std::find_if(m_accounts.begin(), m_accounts.end(), [&](const Account& a) { return a.id == id; });
    return it == m_accounts.end() || id.empty() ? nullptr : &*it;
}

const ClassDef* Catalogue::FindClass(const std::string& id) const {
    auto it = m_classes.find(id);
    return it == m_classes.end() ? nullptr : &it->second;
}

const Package* Catalogue::FindPackage(const std::string& id) const {
    auto it = std::find_if(m_packages.begin(), m_packages.end(), [&](const Package& p) { return p.id == id; });
    return it == m_packages.end() ? nullptr : &*it;
}

const SinglePackage* Catalogue::FindSinglePackage(const std::string& id) const {
    auto it = std::find_if(m_singlePackages.begin(), m_singlePackages.end(),
                           [&](const SinglePackage& p) { return p.id == id; });
    return it == m_singlePackages.end() ? nullptr : &*it;
}

const Teacher* Catalogue::FindTeacher(const std::string& id) const {
    auto it = m_teachers.find(id);
    return it == m_teachers.end() ? nullptr : &it->second;
}

const Video* Catalogue::FindVideo(const std::string& vid) const {
    auto it = std::find_if(m_videos.begin(), m_videos.end(), [&](const Video& v) { return v.vid == vid; });
    return it == m_videos.end() || vid.empty() ? nullptr : &*it;
}

std::string Catalogue::DurationText(const Lesson& lesson) const {
    if (lesson.duration) return *lesson.duration;
    const Video* video = FindVideo(lesson.vid);
    return std::to_string(video ? video->seconds : 0);
}

std::int64_t Catalogue::DurationSeconds(const Lesson& lesson) const {
    const std::string text = DurationText(lesson);
    std::int64_t seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return ec == std::errc() && end == text.data() + text.size() && seconds > 0 ? seconds : 0;
}

bool Catalogue::Owns(const Account& account, const std::string& classId) const {
    if (classId.empty() || !FindClass(classId)) return false;
    auto has = [&](const std::vector<std::string>& ids) {
        return std::find(ids.begin(), ids.end(), classId) != ids.end();
    };
    if (has(account.classes) || has(account.singlePackages)) return true;
    for (const auto& packageId : account.packages) {
        if (const Package* p = FindPackage(packageId)) {
            for (const auto& subject : p->subjects) {
                if (has(subject.classIds)) return true;
            }
        }
    }
    return false;
}

const ClassDef* Catalogue::OwnedClassOfLesson(const Account& account, const std::string& lessonId,
                                              const Lesson** lesson) const {
    for (const auto& [id, cls] : m_classes) {
        for (const auto& l : cls.lessons) {
            if (l.id == lessonId && Owns(account, id)) {
                if (lesson) *lesson = &l;
                return &cls;
            }
        }
    }
    return nullptr;
}

}  // namespace demo
