#include "AccountStore.h"

#include "AtomicFile.h"
#include "Json.h"
#include "ServerLog.h"
#include "Tokens.h"

#include <charconv>
#include <ctime>
#include <system_error>

namespace demo {

namespace fs = std::filesystem;

namespace {
constexpr size_t kMaxFeedback = 1000;
}

std::string TimeText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

AccountStore::State& AccountStore::Load(const std::string& accountId) {
    State& state = m_states[accountId];
    if (state.loaded) return state;
    state.loaded = true;
    const fs::path folder = Folder(accountId);
    rapidjson::Document doc;
    std::string error;
    if (fs::exists(folder / "profile.json")) {
        if (ReadJsonFile(folder / "profile.json", doc, error) && doc.IsObject()) {
            for (const auto& m : doc.GetObject()) {
                if (m.value.IsString()) state.profile[m.name.GetString()] = m.value.GetString();
            }
        } else {
            LogLine("ignoring unreadable profile of account " + accountId + ": " + error);
        }
    }
    if (fs::exists(folder / "progress.json")) {
        if (ReadJsonFile(folder / "progress.json", doc, error) && doc.IsObject()) {
            if (doc.HasMember("lessons") && doc["lessons"].IsObject()) {
                for (const auto& m : doc["lessons"].GetObject()) {
                    LessonProgress p;
                    if (m.value.HasMember("learned") && m.value["learned"].IsInt64())
                        p.learned = m.value["learned"].GetInt64();
                    p.finishedTime = StringMember(m.value, "finished_time");
                    state.lessons[m.name.GetString()] = p;
                }
            }
            if (doc.HasMember("lastLesson") && doc["lastLesson"].IsObject()) {
                for (const auto& m : doc["lastLesson"].GetObject()) {
                    if (m.value.IsString()) state.lastLesson[m.name.GetString()] = m.value.GetString();
                }
            }
        } else {
            LogLine("ignoring unreadable progress of account " + accountId + ": " + error);
        }
    } else if (const Account* account = m_catalogue.AccountById(accountId)) {
        state.lessons = account->progress;
        state.lastLesson = account->lastLesson;
    }
    if (fs::exists(folder / "feedback.json")) {
        if (ReadJsonFile(folder / "feedback.json", doc, error) && doc.IsArray()) {
            for (const auto& item : doc.GetArray()) {
                state.feedback.emplace_back(
                    StringMember(item, "time"),
                    FeedbackEntry{StringMember(item, "type"), StringMember(item, "content"),
                                  StringMember(item, "lessonId"), StringMember(item, "classId")});
            }
        } else {
            LogLine("ignoring unreadable feedback of account " + accountId + ": " + error);
        }
    }
    return state;
}

bool AccountStore::WriteProfile(const std::string& accountId, const State& state) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    for (const auto& [key, value] : state.profile) WriteString(w, key, value);
    w.EndObject();
    std::error_code ec;
    fs::create_directories(Folder(accountId), ec);
    return WriteFileAtomic(Folder(accountId) / "profile.json", buffer.GetString());
}

bool AccountStore::WriteProgress(const std::string& accountId, const State& state) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("lessons");
    w.StartObject();
    for (const auto& [id, p] : state.lessons) {
        w.Key(id.c_str());
        w.StartObject();
        w.Key("learned");
        w.Int64(p.learned);
        WriteString(w, "finished_time", p.finishedTime);
        w.EndObject();
    }
    w.EndObject();
    w.Key("lastLesson");
    w.StartObject();
    for (const auto& [classId, lessonId] : state.lastLesson) WriteString(w, classId, lessonId);
    w.EndObject();
    w.EndObject();
    std::error_code ec;
    fs::create_directories(Folder(accountId), ec);
    return WriteFileAtomic(Folder(accountId) / "progress.json", buffer.GetString());
}

bool AccountStore::WriteFeedback(const std::string& accountId, const State& state) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartArray();
    for (const auto& [time, f] : state.feedback) {
        w.StartObject();
        WriteString(w, "time", time);
        WriteString(w, "type", f.type);
        WriteString(w, "content", f.content);
        WriteString(w, "lessonId", f.lessonId);
        WriteString(w, "classId", f.classId);
        w.EndObject();
    }
    w.EndArray();
    std::error_code ec;
    fs::create_directories(Folder(accountId), ec);
    return WriteFileAtomic(Folder(accountId) / "feedback.json", buffer.GetString());
}

std::map<std::string, std::string> AccountStore::Profile(const std::string& accountId) {
    std::lock_guard lock(m_mutex);
    return Load(accountId).profile;
}

bool AccountStore::UpdateProfile(const std::string& accountId, const std::map<std::string, std::string>& changes) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    const auto before = state.profile;
    for (const auto& [key, value] : changes) state.profile[key] = value;
    if (WriteProfile(accountId, state)) return true;
    state.profile = before;
    return false;
}

LessonProgress AccountStore::Progress(const std::string& accountId, const std::string& lessonId) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    auto it = state.lessons.find(lessonId);
    return it == state.lessons.end() ? LessonProgress{} : it->second;
}

std::string AccountStore::LastLesson(const std::string& accountId, const std::string& classId) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    auto it = state.lastLesson.find(classId);
    return it == state.lastLesson.end() ? std::string() : it->second;
}

bool AccountStore::SaveProgress(const std::string& accountId, const std::string& classId,
                                const std::string& lessonId, std::int64_t learned, std::int64_t duration) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    const auto beforeLessons = state.lessons;
    const auto beforeLast = state.lastLesson;
    LessonProgress& p = state.lessons[lessonId];
    p.learned = learned;
    if (p.finishedTime.empty() && duration > 0 && learned >= duration) p.finishedTime = TimeText(NowSeconds());
    state.lastLesson[classId] = lessonId;
    if (WriteProgress(accountId, state)) return true;
    state.lessons = beforeLessons;
    state.lastLesson = beforeLast;
    return false;
}

bool AccountStore::AddFeedback(const std::string& accountId, const FeedbackEntry& entry) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    const auto before = state.feedback;
    state.feedback.emplace_back(TimeText(NowSeconds()), entry);
    if (state.feedback.size() > kMaxFeedback) state.feedback.erase(state.feedback.begin());
    if (WriteFeedback(accountId, state)) return true;
    state.feedback = before;
    return false;
}

size_t AccountStore::FeedbackCount(const std::string& accountId) {
    std::lock_guard lock(m_mutex);
    return Load(accountId).feedback.size();
}

fs::path AccountStore::AvatarFolder(const std::string& accountId) const { return Folder(accountId) / "avatars"; }

std::optional<std::string> AccountStore::SaveAvatar(const std::string& accountId, const std::string& bytes,
                                                    const std::string& extension) {
    std::lock_guard lock(m_mutex);
    State& state = Load(accountId);
    std::error_code ec;
    fs::create_directories(AvatarFolder(accountId), ec);
    // A new name for every picture: clients keep a downloaded avatar under its file name.
    long long sequence = 0;
    const std::string& stored = state.profile["avatar_seq"];
    std::from_chars(stored.data(), stored.data() + stored.size(), sequence);
    ++sequence;
    const std::string name = "head-" + std::to_string(sequence) + extension;
    if (!WriteFileAtomic(AvatarFolder(accountId) / name, bytes)) return std::nullopt;
    const std::string previous = state.profile["avatar_file"];
    state.profile["avatar_seq"] = std::to_string(sequence);
    state.profile["avatar_file"] = name;
    if (!WriteProfile(accountId, state)) {
        fs::remove(AvatarFolder(accountId) / name, ec);
        state.profile["avatar_file"] = previous;
        return std::nullopt;
    }
    if (!previous.empty() && previous != name) fs::remove(AvatarFolder(accountId) / previous, ec);
    return name;
}

}  // namespace demo
