#include "ApiRoutes.h"

#include "Json.h"
#include "PlayAuth.h"
#include "ServerLog.h"
#include "SmsCipher.h"

#include <sys/stat.h>

#include <algorithm>
#include <functional>

namespace demo {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSmsCodeLifetime = 300;
constexpr int kSmsMaxFailures = 5;
constexpr size_t kMaxAvatarBytes = 2u << 20;
constexpr size_t kMaxNicknameChars = 20;
constexpr size_t kMaxFieldBytes = 200;
constexpr size_t kMaxQuestionChars = 500;

using PayloadWriter = std::function<void(JsonWriter&)>;

void Answer(httplib::Response& res, const rapidjson::StringBuffer& buffer) {
    res.status = 200;
    res.set_header("Cache-Control", "no-store");
    res.set_content(buffer.GetString(), buffer.GetSize(), "application/json; charset=utf-8");
}

// {"code": code, "msg": msg, "data": {...}}; "data" only when a payload writer is given.
void Envelope(httplib::Response& res, int code, std::string_view msg, const PayloadWriter& data = {}) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("code");
    w.Int(code);
    WriteString(w, "msg", msg);
    if (data) {
        w.Key("data");
        w.StartObject();
        data(w);
        w.EndObject();
    }
    w.EndObject();
    Answer(res, buffer);
}

// {"code": code, "msg": {"msg": msg}, ...root members}
void MediaEnvelope(httplib::Response& res, int code, std::string_view msg, const PayloadWriter& root = {}) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("code");
    w.Int(code);
    w.Key("msg");
    w.StartObject();
    WriteString(w, "msg", msg);
    w.EndObject();
    if (root) root(w);
    w.EndObject();
    Answer(res, buffer);
}

size_t Utf8Chars(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                              [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string FileSizeKiB(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "0";
    // Whole KiB, rounded down: a complete download then never counts as smaller than this.
    return std::to_string(static_cast<long long>(st.st_size) / 1024);
}

std::string PictureExtension(const std::string& bytes) {
    if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return ".png";
    if (bytes.rfind("\xFF\xD8\xFF", 0) == 0) return ".jpg";
    if (bytes.rfind("GIF87a", 0) == 0 || bytes.rfind("GIF89a", 0) == 0) return ".gif";
    return {};
}

std::string ProfileValue(const std::map<std::string, std::string>& profile, const std::string& key,
                         const std::string& fallback) {
    auto it = profile.find(key);
    return it == profile.end() ? fallback : it->second;
}

}  // namespace

void ApiRoutes::Install(httplib::Server& server) {
    using Method = void (ApiRoutes::*)(const httplib::Request&, httplib::Response&);
    auto route = [this](Method method) {
        return [this, method](const httplib::Request& req, httplib::Response& res) {
            m_context.hooks.Record(req);
            if (m_context.hooks.AnswerCanned(req, res)) return;
            (this->*method)(req, res);
        };
    };
    server.Post("/api/login", route(&ApiRoutes::Login));
    server.Post("/api/sms/sendCaptcha2", route(&ApiRoutes::SendSmsCode));
    server.Post("/api/login/smslogin", route(&ApiRoutes::SmsLogin));
    server.Post("/api/user/myCourse", route(&ApiRoutes::MyCourse));
    server.Post("/api/user/myClass", route(&ApiRoutes::MyClass));
    server.Post("/api/user/myInfo", route(&ApiRoutes::MyInfo));
    server.Post("/api/user/changeAvatar", route(&ApiRoutes::ChangeAvatar));
    server.Post("/api/user/updateInfo", route(&ApiRoutes::UpdateInfo));
    server.Get("/api/Apibook/playAuth", route(&ApiRoutes::PlayAuth));
    server.Get("/api/Apibook/playUri", route(&ApiRoutes::PlayUri));
    server.Post("/api/user/learnProgress", route(&ApiRoutes::LearnProgress));
    server.Post("/api/Feedback/saveVoideData", route(&ApiRoutes::SaveQuestion));
    server.Post("/api/login/pcstatistics", route(&ApiRoutes::PcStatistics));
}

const Account* ApiRoutes::Authenticate(const httplib::Request& req, httplib::Response& res) {
    const std::string token = req.get_param_value("token");
    if (token.empty()) {
        Envelope(res, 401, "请先登录");
        return nullptr;
    }
    std::string accountId;
    const TokenVerdict verdict = m_context.signer->Check("session", token, NowSeconds(), accountId);
    const Account* account = m_context.catalogue.AccountById(accountId);
    if (verdict == TokenVerdict::Invalid || !account) {
        Envelope(res, 401, "登录失效，请重新登录");
        return nullptr;
    }
    if (verdict == TokenVerdict::Expired) {
        Envelope(res, 401, "登录已过期，请重新登录");
        return nullptr;
    }
    return account;
}

std::string ApiRoutes::AvatarUrl(const Account& account, const std::map<std::string, std::string>& profile) const {
    const std::string uploaded = ProfileValue(profile, "avatar_file", "");
    if (!uploaded.empty()) return m_context.origin + "/uploads/avatar/" + account.id + "/" + uploaded;
    return account.avatar.empty() ? std::string() : m_context.origin + "/img/" + account.avatar;
}

void ApiRoutes::AnswerLogin(const Account& account, httplib::Response& res) {
    const std::int64_t now = NowSeconds();
    const std::string token = m_context.signer->Issue("session", account.id, now + m_context.options.tokenTtl);
    const std::string loginTime = TimeText(now);
    m_context.store->UpdateProfile(account.id, {{"login_time", loginTime}});
    const auto profile = m_context.store->Profile(account.id);
    Envelope(res, 200, "登录成功", [&](JsonWriter& w) {
        WriteString(w, "id", account.id);
        WriteString(w, "username", account.username);
        WriteString(w, "nickname", ProfileValue(profile, "nickname", account.nickname));
        WriteString(w, "realname", ProfileValue(profile, "realname", account.realname));
        WriteString(w, "mobile", ProfileValue(profile, "mobile", account.mobile));
        WriteString(w, "balance", account.balance);
        WriteString(w, "token", token);
        WriteString(w, "login_time", loginTime);
        WriteString(w, "avatar", AvatarUrl(account, profile));
    });
}

void ApiRoutes::Login(const httplib::Request& req, httplib::Response& res) {
    const std::string username = req.get_param_value("username");
    const std::string password = req.get_param_value("password");
    if (username.empty() || password.empty()) {
        Envelope(res, 400, "请输入账号和密码");
        return;
    }
    // The school signs a student in by the account name or the mobile number.
    const Account* account = m_context.catalogue.AccountByUsername(username);
    if (!account) account = m_context.catalogue.AccountByMobile(username);
    if (!account || account->password != password) {
        Envelope(res, 400, "账号或密码错误");
        return;
    }
    AnswerLogin(*account, res);
}

void ApiRoutes::SendSmsCode(const httplib::Request& req, httplib::Response& res) {
    if (req.get_param_value("type") != "login") {
        Envelope(res, 400, "参数错误");
        return;
    }
    const auto mobile = DecodeSmsMobile(req.get_param_value("mobile"));
    if (!mobile) {
        LogLine("SMS code request with an undecodable mobile field");
        Envelope(res, 400, "手机号格式错误");
        return;
    }
    if (!m_context.catalogue.AccountByMobile(*mobile)) {
        Envelope(res, 404, "该手机号未注册");
        return;
    }
    {
        std::lock_guard lock(m_smsMutex);
        m_pendingCodes[*mobile] = PendingCode{m_context.options.smsCode, NowSeconds() + kSmsCodeLifetime, 0};
    }
    if (Verbose()) LogLine("SMS code for " + *mobile + ": " + m_context.options.smsCode);
    Envelope(res, 200, "发送成功");
}

void ApiRoutes::SmsLogin(const httplib::Request& req, httplib::Response& res) {
    const std::string mobile = req.get_param_value("mobile");
    const std::string code = req.get_param_value("code");
    const Account* account = m_context.catalogue.AccountByMobile(mobile);
    if (!account) {
        Envelope(res, 404, "该手机号未注册");
        return;
    }
    {
        std::lock_guard lock(m_smsMutex);
        auto it = m_pendingCodes.find(mobile);
        if (it == m_pendingCodes.end() || NowSeconds() >= it->second.expiresAt) {
            if (it != m_pendingCodes.end()) m_pendingCodes.erase(it);
            Envelope(res, 400, "请先获取验证码");
            return;
        }
        if (code != it->second.code) {
            // A few guesses only: then the code is void and a new one must be requested.
            if (++it->second.failures >= kSmsMaxFailures) m_pendingCodes.erase(it);
            Envelope(res, 400, "验证码错误");
            return;
        }
        m_pendingCodes.erase(it);
    }
    AnswerLogin(*account, res);
}

void ApiRoutes::MyCourse(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    const Catalogue& cat = m_context.catalogue;
    const std::string& origin = m_context.origin;
    auto picture = [&](const std::string& file) { return file.empty() ? file : origin + "/img/" + file; };
    auto writeClass = [&](JsonWriter& w, const ClassDef& c) {
        w.StartObject();
        WriteString(w, "id", c.id);
        WriteString(w, "name", c.name);
        WriteString(w, "img", picture(c.img));
        WriteString(w, "subject_id", c.subjectId);
        WriteString(w, "exam_id", c.examId);
        WriteString(w, "deadline", c.deadline);
        w.Key("jiangyi");
        w.StartArray();
        int sort = 0;
        for (const auto& d : c.docs) {
            w.StartObject();
            WriteString(w, "id", d.id);
            WriteString(w, "class_id", c.id);
            WriteString(w, "name", d.name);
            WriteString(w, "sort", std::to_string(++sort));
            WriteString(w, "file_size", FileSizeKiB(m_context.options.assets / "docs" / d.file));
            WriteString(w, "file_url", "uploads/jiangyi/" + d.file);
            WriteString(w, "create_time", d.createTime);
            WriteString(w, "last_time", d.createTime);
            WriteString(w, "is_delete", "0");
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    };
    std::vector<const Package*> packages;
    for (const auto& id : account->packages) {
        if (const Package* p = cat.FindPackage(id)) packages.push_back(p);
    }
    Envelope(res, 200, "成功", [&](JsonWriter& w) {
        WriteString(w, "curExam", cat.CurrentExam());
        w.Key("exams");
        w.StartArray();
        for (const auto& exam : cat.Exams()) {
            const bool used = std::any_of(packages.begin(), packages.end(),
                                          [&](const Package* p) { return p->examId == exam.id; });
            if (!used) continue;
            w.StartObject();
            WriteString(w, "id", exam.id);
            WriteString(w, "name", exam.name);
            w.EndObject();
        }
        w.EndArray();
        w.Key("gpPackage");
        w.StartArray();
        for (const Package* p : packages) {
            w.StartObject();
            WriteString(w, "id", p->id);
            WriteString(w, "exam_id", p->examId);
            WriteString(w, "name", p->name);
            WriteString(w, "img", picture(p->img));
            WriteString(w, "deadline", p->deadline);
            w.Key("classes");
            w.StartArray();
            for (const auto& subject : p->subjects) {
                w.StartObject();
                WriteString(w, "subject", subject.name);
                w.Key("classes");
                w.StartArray();
                for (const auto& classId : subject.classIds) {
                    if (const ClassDef* c = cat.FindClass(classId)) writeClass(w, *c);
                }
                w.EndArray();
                w.EndObject();
            }
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        w.Key("singlePackage");
        w.StartArray();
        for (const auto& id : account->singlePackages) {
            if (const SinglePackage* s = cat.FindSinglePackage(id)) {
                w.StartObject();
                WriteString(w, "id", s->id);
                WriteString(w, "name", s->name);
                WriteString(w, "img", picture(s->img));
                w.EndObject();
            }
        }
        w.EndArray();
        w.Key("classes");
        w.StartArray();
        for (const auto& id : account->classes) {
            if (const ClassDef* c = cat.FindClass(id)) writeClass(w, *c);
        }
        w.EndArray();
    });
}

void ApiRoutes::MyClass(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    const std::string classId = req.get_param_value("classId");
    const Catalogue& cat = m_context.catalogue;
    if (!cat.Owns(*account, classId)) {
        // 500 keeps the client signed in; it shows the class as empty.
        Envelope(res, 500, "课程不存在或未购买");
        return;
    }
    const ClassDef& c = *cat.FindClass(classId);
    AccountStore& store = *m_context.store;
    const std::string last = store.LastLesson(account->id, classId);
    int lessonIndex = 0;
    for (size_t i = 0; i < c.lessons.size(); ++i) {
        if (c.lessons[i].id == last) lessonIndex = static_cast<int>(i);
    }
    Envelope(res, 200, "成功", [&](JsonWriter& w) {
        w.Key("hasOld");
        w.Bool(false);
        w.Key("isTwoTeacher");
        w.Bool(c.teachers.size() >= 2);
        w.Key("lessonIndex");
        w.Int(lessonIndex);
        WriteString(w, "classId", c.id);
        WriteString(w, "className", c.name);
        WriteString(w, "deadline", c.deadline);
        WriteString(w, "lastLearnLessonId", last);
        WriteString(w, "lastLearnedDuration", last.empty() ? "" : std::to_string(store.Progress(account->id, last).learned));
        WriteString(w, "lessonNum", std::to_string(c.lessons.size()));
        w.Key("teachers");
        w.StartArray();
        for (const auto& teacherId : c.teachers) {
            if (const Teacher* t = cat.FindTeacher(teacherId)) {
                w.StartObject();
                WriteString(w, "id", t->id);
                WriteString(w, "name", t->name);
                WriteString(w, "title", t->title);
                WriteString(w, "main_subject", t->mainSubject);
                WriteString(w, "avatar", t->avatar);
                WriteString(w, "desc", t->desc);
                w.EndObject();
            }
        }
        w.EndArray();
        w.Key("lessons");
        w.StartArray();
        int sort = 0;
        for (const auto& l : c.lessons) {
            const LessonProgress p = store.Progress(account->id, l.id);
            w.StartObject();
            WriteString(w, "id", l.id);
            WriteString(w, "sort", std::to_string(++sort));
            WriteString(w, "name", l.name);
            WriteString(w, "duration", cat.DurationText(l));
            WriteString(w, "material_download", "0");
            WriteString(w, "video", l.vid);
            WriteString(w, "high_video", "");
            WriteString(w, "csw_id", "");
            WriteString(w, "learned_duration", std::to_string(p.learned));
            WriteString(w, "finished_time", p.finishedTime);
            w.EndObject();
        }
        w.EndArray();
    });
}

void ApiRoutes::MyInfo(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    const auto profile = m_context.store->Profile(account->id);
    const std::string token = req.get_param_value("token");
    Envelope(res, 200, "成功", [&](JsonWriter& w) {
        WriteString(w, "id", account->id);
        WriteString(w, "username", account->username);
        WriteString(w, "nickname", ProfileValue(profile, "nickname", account->nickname));
        WriteString(w, "realname", ProfileValue(profile, "realname", account->realname));
        WriteString(w, "mobile", ProfileValue(profile, "mobile", account->mobile));
        WriteString(w, "balance", account->balance);
        WriteString(w, "token", token);
        WriteString(w, "login_time", ProfileValue(profile, "login_time", ""));
        WriteString(w, "avatar", AvatarUrl(*account, profile));
        WriteString(w, "qq", ProfileValue(profile, "qq", account->qq));
        WriteString(w, "email", account->email);
        WriteString(w, "address_id", ProfileValue(profile, "address_id", account->addressId));
        WriteString(w, "address", ProfileValue(profile, "address", account->address));
    });
}

void ApiRoutes::ChangeAvatar(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    if (!req.has_file("file")) {
        Envelope(res, 400, "请选择图片");
        return;
    }
    const auto file = req.get_file_value("file");
    if (file.content.size() > kMaxAvatarBytes) {
        Envelope(res, 400, "图片不能超过2MB");
        return;
    }
    const std::string extension = PictureExtension(file.content);
    if (extension.empty()) {
        Envelope(res, 400, "图片格式不支持");
        return;
    }
    const auto name = m_context.store->SaveAvatar(account->id, file.content, extension);
    if (!name) {
        LogLine("cannot store the avatar of account " + account->id);
        Envelope(res, 500, "保存失败");
        return;
    }
    const std::string url = m_context.origin + "/uploads/avatar/" + account->id + "/" + *name;
    Envelope(res, 200, "上传成功", [&](JsonWriter& w) { WriteString(w, "img", url); });
}

void ApiRoutes::UpdateInfo(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    // The client's profile panel sends only the nickname and leaves the other fields empty:
    // an empty field therefore means "unchanged", never "erase".
    static const std::pair<const char*, const char*> kFields[] = {
        {"nickname", "nickname"}, {"realname", "realname"}, {"qq", "qq"},
        {"addressId", "address_id"}, {"address", "address"}, {"mobile", "mobile"}};
    std::map<std::string, std::string> changes;
    for (const auto& [param, field] : kFields) {
        const std::string value = req.get_param_value(param);
        if (value.empty()) continue;
        if (!IsValidUtf8(value) || value.size() > kMaxFieldBytes) {
            Envelope(res, 400, "参数错误");
            return;
        }
        changes[field] = value;
    }
    if (changes.count("nickname") && Utf8Chars(changes["nickname"]) > kMaxNicknameChars) {
        Envelope(res, 400, "昵称不能超过20个字");
        return;
    }
    if (changes.count("mobile") && (changes["mobile"].size() != 11 || !AllDigits(changes["mobile"]))) {
        Envelope(res, 400, "手机号格式错误");
        return;
    }
    if (!changes.empty() && !m_context.store->UpdateProfile(account->id, changes)) {
        LogLine("cannot store the profile of account " + account->id);
        Envelope(res, 500, "保存失败");
        return;
    }
    Envelope(res, 200, "修改成功");
}

void ApiRoutes::PlayAuth(const httplib::Request& req, httplib::Response& res) {
    const Video* video = m_context.catalogue.FindVideo(req.get_param_value("vid"));
    if (!video) {
        MediaEnvelope(res, 404, "视频不存在");
        return;
    }
    const std::string auth = MakePlayAuth(*m_context.signer, m_context.origin, video->vid,
                                          NowSeconds() + m_context.options.playAuthTtl);
    MediaEnvelope(res, 200, "成功", [&](JsonWriter& w) {
        WriteString(w, "vid", video->vid);
        WriteString(w, "playauth", auth);
    });
}

void ApiRoutes::PlayUri(const httplib::Request& req, httplib::Response& res) {
    const Video* video = m_context.catalogue.FindVideo(req.get_param_value("vid"));
    if (!video) {
        MediaEnvelope(res, 404, "视频不存在");
        return;
    }
    struct stat st {};
    const fs::path path = m_context.options.assets / "media" / video->file;
    if (::stat(path.c_str(), &st) != 0) {
        LogLine("media file missing: " + path.string());
        MediaEnvelope(res, 404, "视频文件不存在");
        return;
    }
    MediaEnvelope(res, 200, "成功", [&](JsonWriter& w) {
        WriteString(w, "FileURL", m_context.origin + "/media/" + video->file);
        w.Key("Size");
        w.Int64(static_cast<std::int64_t>(st.st_size));
    });
}

void ApiRoutes::LearnProgress(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    const std::string learnedText = req.get_param_value("learnedDuration");
    const std::string lessonId = req.get_param_value("lessonId");
    if (!AllDigits(learnedText) || learnedText.size() > 9) {
        Envelope(res, 400, "参数错误");
        return;
    }
    const Lesson* lesson = nullptr;
    const ClassDef* cls = m_context.catalogue.OwnedClassOfLesson(*account, lessonId, &lesson);
    if (!cls) {
        Envelope(res, 404, "课时不存在");
        return;
    }
    if (!m_context.store->SaveProgress(account->id, cls->id, lessonId, std::stoll(learnedText),
                                       m_context.catalogue.DurationSeconds(*lesson))) {
        LogLine("cannot store the progress of account " + account->id);
        Envelope(res, 500, "保存失败");
        return;
    }
    Envelope(res, 200, "保存成功");
}

void ApiRoutes::SaveQuestion(const httplib::Request& req, httplib::Response& res) {
    const Account* account = Authenticate(req, res);
    if (!account) return;
    FeedbackEntry entry{req.get_param_value("type"), req.get_param_value("content"),
                        req.get_param_value("lessonId"), req.get_param_value("classId")};
    if (entry.content.empty()) {
        Envelope(res, 400, "请填写问题内容");
        return;
    }
    if (!IsValidUtf8(entry.content) || !IsValidUtf8(entry.type) || Utf8Chars(entry.content) > kMaxQuestionChars ||
        entry.type.size() > kMaxFieldBytes) {
        Envelope(res, 400, "问题内容不能超过500个字");
        return;
    }
    if (!entry.lessonId.empty() && !m_context.catalogue.OwnedClassOfLesson(*account, entry.lessonId, nullptr)) {
        Envelope(res, 404, "课时不存在");
        return;
    }
    if (!entry.classId.empty() && !m_context.catalogue.Owns(*account, entry.classId)) {
        Envelope(res, 404, "课程不存在或未购买");
        return;
    }
    if (!m_context.store->AddFeedback(account->id, entry)) {
        LogLine("cannot store the feedback of account " + account->id);
        Envelope(res, 500, "保存失败");
        return;
    }
    Envelope(res, 200, "提交成功");
}

void ApiRoutes::PcStatistics(const httplib::Request& req, httplib::Response& res) {
    if (Verbose()) {
        LogLine("start-up report: computer_name=" + req.get_param_value("computer_name") +
                " sys_ver=" + req.get_param_value("sys_ver") + " machine_id=" + req.get_param_value("machine_id"));
    }
    Envelope(res, 200, "成功");
}

}  // namespace demo
