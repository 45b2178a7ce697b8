// Per-account state kept in the service's state folder, one folder per account id:
// profile.json (profile changes, avatar, last sign-in), progress.json (learned seconds per
// lesson, last lesson per class), feedback.json (questions sent about videos) and avatars/.
// Every change is written atomically before it is acknowledged, so a restart keeps it.
// Until an account's progress is first written, it is the catalogue's starting progress.
#pragma once

#include "Catalogue.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace demo {

struct FeedbackEntry {
    std::string type, content, lessonId, classId;
};

class AccountStore {
public:
    // An account without recorded progress starts from the catalogue's (which must outlive the store).
    AccountStore(std::filesystem::path dataDir, const Catalogue& catalogue)
        : m_root(std::move(dataDir) / "accounts"), m_catalogue(catalogue) {}

    // Profile values that replace the catalogue's ("nickname", "realname", "qq", "address_id",
    // "address", "mobile", "avatar", "login_time").
    std::map<std::string, std::string> Profile(const std::string& accountId);
    bool UpdateProfile(const std::string& accountId, const std::map<std::string, std::string>& changes);

    LessonProgress Progress(const std::string& accountId, const std::string& lessonId);
    std::string LastLesson(const std::string& accountId, const std::string& classId);
    // Records the learned position; the lesson counts as finished once it reaches the duration.
    bool SaveProgress(const std::string& accountId, const std::string& classId, const std::string& lessonId,
                      std::int64_t learned, std::int64_t duration);

    bool AddFeedback(const std::string& accountId, const FeedbackEntry& entry);
    size_t FeedbackCount(const std::string& accountId);

    // Stores a new avatar picture, removes the previous one and returns its file name.
    std::optional<std::string> SaveAvatar(const std::string& accountId, const std::string& bytes,
                                          const std::string& extension);
    std::filesystem::path AvatarFolder(const std::string& accountId) const;

private:
    struct State {
        bool loaded = false;
        std::map<std::string, std::string> profile;
        std::map<std::string, LessonProgress> lessons;
        std::map<std::string, std::string> lastLesson;
        std::vector<std::pair<std::string, FeedbackEntry>> feedback;
    };
    State& Load(const std::string& accountId);
    bool WriteProfile(const std::string& accountId, const State& state);
    bool WriteProgress(const std::string& accountId, const State& state);
    bool WriteFeedback(const std::string& accountId, const State& state);
    std::filesystem::path Folder(const std::string& accountId) const { return m_root / accountId; }

    std::filesystem::path m_root;
    const Catalogue& m_catalogue;
    std::mutex m_mutex;
    std::map<std::string, State> m_states;
};

// Local time as "YYYY-MM-DD hh:mm:ss".
std::string TimeText(std::int64_t seconds);

}  // namespace demo
