// The demo school on a real loopback socket: sign-in (password and SMS with the encrypted
// mobile field), token checks, catalogue and class answers, progress and profile kept across
// a restart, avatar upload, byte ranges on media, the video service, HTTPS, hostile input.

#include "DemoServer.h"
#include "FileRoutes.h"
#include "ListenLoop.h"
#include "support/Waiting.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <rapidjson/document.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using demo_test::DemoServer;
using demo_test::TempFolder;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path AssetsFolder() { return fs::path(TAVO_DEMO_SERVICE_PATH).parent_path().parent_path() / "demo-data"; }

std::string FormEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The client's way of hiding the mobile number: AES-128-ECB (PKCS#7) with the SMS key,
// standard Base64, then URL encoding.
std::string EncryptMobile(const std::string& mobile) {
    const std::string key = "7c03d9e2a5f1b846";
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    unsigned char out[64];
    int n1 = 0, n2 = 0;
    EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                       nullptr);
    EVP_EncryptUpdate(ctx.get(), out, &n1, reinterpret_cast<const unsigned char*>(mobile.data()),
                      static_cast<int>(mobile.size()));
    EVP_EncryptFinal_ex(ctx.get(), out + n1, &n2);
    unsigned char b64[128];
    const int len = EVP_EncodeBlock(b64, out, n1 + n2);
    return FormEncode(std::string(reinterpret_cast<char*>(b64), static_cast<size_t>(len)));
}

struct Answer {
    int status = 0;
    rapidjson::Document json;
    std::string body;
    int code() const { return json.IsObject() && json.HasMember("code") && json["code"].IsInt() ? json["code"].GetInt() : -1; }
    std::string msg() const {
        if (!json.IsObject() || !json.HasMember("msg")) return {};
        const auto& m = json["msg"];
        if (m.IsString()) return m.GetString();
        if (m.IsObject() && m.HasMember("msg") && m["msg"].IsString()) return m["msg"].GetString();
        return {};
    }
    const rapidjson::Value& data() const { return json["data"]; }
};

class DemoServiceTest : public ::testing::Test {
protected:
    void SetUp() override { StartServer(); }

    void StartServer(const std::vector<std::string>& extra = {"--test-hooks"}) {
        ASSERT_TRUE(m_server.Start(m_folder.path() / "state", extra)) << m_server.ErrorOutput();
        m_client = std::make_unique<httplib::Client>(m_server.host(), m_server.port());
        m_client->set_connection_timeout(5);
        m_client->set_read_timeout(30);
    }

    static Answer Parse(const httplib::Result& result) {
        Answer a;
        if (!result) return a;
        a.status = result->status;
        a.body = result->body;
        a.json.Parse(a.body.c_str());
        return a;
    }
    Answer Post(const std::string& path, const std::string& body) {
        return Parse(m_client->Post(path.c_str(), body, "application/x-www-form-urlencoded"));
    }
    Answer Get(const std::string& path) { return Parse(m_client->Get(path.c_str())); }

    std::string SignIn(const std::string& user, const std::string& password) {
        Answer a = Post("/api/login", "username=" + FormEncode(user) + "&password=" + FormEncode(password));
        if (a.code() != 200) return {};
        return a.data()["token"].GetString();
    }

    TempFolder m_folder;
    DemoServer m_server;
    std::unique_ptr<httplib::Client> m_client;
};

TEST_F(DemoServiceTest, PasswordSignIn) {
    struct Case {
        const char* name;
        std::string body;
        int code;
        const char* msg;
    } cases[] = {
        {"right password", "username=lixiaoming&password=xm123456", 200, "登录成功"},
        {"password with & and + sent encoded", "username=wangfang&password=" + FormEncode("Fang&2027+"), 200, "登录成功"},
        {"the same password sent raw splits at &", "username=wangfang&password=Fang&2027+", 400, "账号或密码错误"},
        {"wrong password", "username=lixiaoming&password=xm1234567", 400, "账号或密码错误"},
        {"unknown account", "username=nobody&password=xm123456", 400, "账号或密码错误"},
        {"empty password", "username=lixiaoming&password=", 400, "请输入账号和密码"},
        {"no keys", "", 400, "请输入账号和密码"},
    };
    for (const auto& c : cases) {
        Answer a = Post("/api/login", c.body);
        EXPECT_EQ(a.status, 200) << c.name;
        EXPECT_EQ(a.code(), c.code) << c.name;
        EXPECT_EQ(a.msg(), c.msg) << c.name;
        if (c.code == 200) {
            // Every member of the login payload is a string, the token among them.
            for (const char* key : {"id", "username", "nickname", "realname", "mobile", "balance", "token",
                                    "login_time", "avatar"}) {
                ASSERT_TRUE(a.data().HasMember(key) && a.data()[key].IsString()) << c.name << " " << key;
            }
            EXPECT_FALSE(std::string(a.data()["token"].GetString()).empty());
        }
    }
}

TEST_F(DemoServiceTest, SmsSignInDecodesTheEncryptedMobile) {
    const std::string field = EncryptMobile("13800138001");
    EXPECT_EQ(field.substr(field.size() - 6), "%3D%3D");
    EXPECT_EQ(Post("/api/login/smslogin", "mobile=13800138001&code=123456").msg(), "请先获取验证码");
    EXPECT_EQ(Post("/api/sms/sendCaptcha2", "mobile=" + field + "&type=login").msg(), "发送成功");
    EXPECT_EQ(Post("/api/login/smslogin", "mobile=13800138001&code=654321").msg(), "验证码错误");
    Answer ok = Post("/api/login/smslogin", "mobile=13800138001&code=123456");
    EXPECT_EQ(ok.code(), 200);
    EXPECT_EQ(ok.msg(), "登录成功");
    EXPECT_STREQ(ok.data()["username"].GetString(), "lixiaoming");
    // A code is good for one sign-in.
    EXPECT_EQ(Post("/api/login/smslogin", "mobile=13800138001&code=123456").msg(), "请先获取验证码");

    struct Case {
        const char* name;
        std::string body;
        const char* msg;
    } refused[] = {
        {"plain number instead of cipher text", "mobile=13800138001&type=login", "手机号格式错误"},
        {"cipher text of a non-number", "mobile=" + EncryptMobile("hello world") + "&type=login", "手机号格式错误"},
        {"truncated cipher text", "mobile=" + field.substr(0, 10) + "&type=login", "手机号格式错误"},
        {"unregistered number", "mobile=" + EncryptMobile("13000000000") + "&type=login", "该手机号未注册"},
        {"wrong type", "mobile=" + field + "&type=register", "参数错误"},
    };
    for (const auto& c : refused) EXPECT_EQ(Post("/api/sms/sendCaptcha2", c.body).msg(), c.msg) << c.name;

    // Five wrong guesses void the code.
    ASSERT_EQ(Post("/api/sms/sendCaptcha2", "mobile=" + field + "&type=login").msg(), "发送成功");
    for (int i = 0; i < 5; ++i) Post("/api/login/smslogin", "mobile=13800138001&code=000000");
    EXPECT_EQ(Post("/api/login/smslogin", "mobile=13800138001&code=123456").msg(), "请先获取验证码");
}

TEST_F(DemoServiceTest, TokenRequiredOnEveryAccountEndpoint) {
    const std::string token = SignIn("lixiaoming", "xm123456");
    ASSERT_FALSE(token.empty());
    std::string tampered = token;
    tampered[tampered.size() - 1] = tampered.back() == 'A' ? 'B' : 'A';
    const char* paths[] = {"/api/user/myCourse", "/api/user/myClass", "/api/user/myInfo", "/api/user/updateInfo",
                           "/api/user/learnProgress", "/api/Feedback/saveVoideData"};
    for (const char* path : paths) {
        EXPECT_EQ(Post(path, "classId=1101").code(), 401) << path << " without token";
        EXPECT_EQ(Post(path, "token=garbage&classId=1101").code(), 401) << path << " garbage";
        EXPECT_EQ(Post(path, "token=" + tampered + "&classId=1101").code(), 401) << path << " tampered";
    }
    EXPECT_EQ(Post("/api/user/changeAvatar?token=" + tampered, "").code(), 401);
    EXPECT_EQ(Post("/api/user/myCourse", "token=" + token).code(), 200);
}

TEST_F(DemoServiceTest, ExpiredTokenIsRefusedAsExpiredSignIn) {
    m_server.Stop();
    StartServer({"--token-ttl", "0"});
    const std::string token = SignIn("lixiaoming", "xm123456");
    ASSERT_FALSE(token.empty());
    Answer a = Post("/api/user/myClass", "token=" + token + "&classId=1101&isOld=0");
    EXPECT_EQ(a.code(), 401);
    EXPECT_EQ(a.msg(), "登录已过期，请重新登录");
}

void ExpectStrings(const rapidjson::Value& obj, std::initializer_list<const char*> keys, const std::string& where) {
    ASSERT_TRUE(obj.IsObject()) << where;
    for (const char* key : keys) EXPECT_TRUE(obj.HasMember(key) && obj[key].IsString()) << where << " " << key;
}

TEST_F(DemoServiceTest, CatalogueAnswerShape) {
    Answer a = Post("/api/user/myCourse", "token=" + SignIn("lixiaoming", "xm123456"));
    ASSERT_EQ(a.code(), 200) << a.body;
    const auto& data = a.data();
    ASSERT_TRUE(data["exams"].IsArray() && data["gpPackage"].IsArray() && data["singlePackage"].IsArray() &&
                data["classes"].IsArray());
    EXPECT_EQ(data["exams"].Size(), 2u);
    EXPECT_EQ(data["gpPackage"].Size(), 3u);
    EXPECT_EQ(data["singlePackage"].Size(), 1u);
    EXPECT_EQ(data["classes"].Size(), 2u);
    for (const auto& e : data["exams"].GetArray()) ExpectStrings(e, {"id", "name"}, "exam");
    int documents = 0;
    auto checkClass = [&](const rapidjson::Value& c) {
        ExpectStrings(c, {"id", "name", "img", "subject_id", "exam_id", "deadline"}, "class");
        ASSERT_TRUE(c["jiangyi"].IsArray());
        for (const auto& d : c["jiangyi"].GetArray()) {
            ExpectStrings(d, {"id", "class_id", "name", "sort", "file_size", "file_url", "create_time", "last_time",
                              "is_delete"},
                          "document");
            // The document lies at <site origin>/<file_url> and its size in whole KiB is exact.
            auto file = m_client->Get(("/" + std::string(d["file_url"].GetString())).c_str());
            ASSERT_TRUE(file && file->status == 200) << d["file_url"].GetString();
            EXPECT_EQ(file->body.substr(0, 5), "%PDF-");
            EXPECT_EQ(std::to_string(file->body.size() / 1024), d["file_size"].GetString());
            ++documents;
        }
    };
    for (const auto& p : data["gpPackage"].GetArray()) {
        ExpectStrings(p, {"id", "exam_id", "name", "img", "deadline"}, "package");
        for (const auto& s : p["classes"].GetArray()) {
            ExpectStrings(s, {"subject"}, "subject");
            for (const auto& c : s["classes"].GetArray()) checkClass(c);
        }
    }
    for (const auto& c : data["classes"].GetArray()) checkClass(c);
    ExpectStrings(data["singlePackage"][0], {"id", "name", "img"}, "single package");
    EXPECT_EQ(documents, 5);

    // The account without courses gets the same shape, empty.
    Answer none = Post("/api/user/myCourse", "token=" + SignIn("zhaolei", "zl123456"));
    ASSERT_EQ(none.code(), 200);
    for (const char* key : {"exams", "gpPackage", "singlePackage", "classes"})
        EXPECT_TRUE(none.data()[key].IsArray() && none.data()[key].Empty()) << key;
}

TEST_F(DemoServiceTest, ClassDetailAndOwnership) {
    const std::string token = SignIn("wangfang", "Fang&2027+");
    Answer a = Post("/api/user/myClass", "token=" + token + "&classId=2101&isOld=0");
    ASSERT_EQ(a.code(), 200) << a.body;
    const auto& d = a.data();
    EXPECT_TRUE(d["hasOld"].IsBool() && d["isTwoTeacher"].IsBool() && d["lessonIndex"].IsInt());
    ExpectStrings(d, {"classId", "className", "deadline", "lastLearnLessonId", "lastLearnedDuration", "lessonNum"},
                  "detail");
    ASSERT_EQ(d["lessons"].Size(), 2u);
    for (const auto& l : d["lessons"].GetArray())
        ExpectStrings(l, {"id", "sort", "name", "duration", "material_download", "video", "high_video", "csw_id",
                          "learned_duration", "finished_time"},
                      "lesson");
    for (const auto& t : d["teachers"].GetArray())
        ExpectStrings(t, {"id", "name", "title", "main_subject", "avatar", "desc"}, "teacher");
    // A class of another account, an unknown one and none at all: 500, the client stays signed in.
    for (const char* id : {"1101", "9999", ""})
        EXPECT_EQ(Post("/api/user/myClass", "token=" + token + "&classId=" + id).code(), 500) << id;
    // A single package id is a class id too.
    EXPECT_EQ(Post("/api/user/myClass", "token=" + SignIn("lixiaoming", "xm123456") + "&classId=3001").code(), 200);
}

// The progress text the lesson list shows for a duration and a learned time, in seconds.
std::string ProgressText(long long duration, long long learned) {
    if (duration == 0) return "未学习";
    const long long p = learned * 100 / duration;
    if (p >= 100) return "已学完";
    if (p < 0) return "未学习";
    if (p > 0) return std::to_string(p) + "%";
    return learned * 100 % duration != 0 ? "1%" : "未学习";
}

// The account with courses gives the course browser every list shape: a long list, an empty
// one, a class without documents, and durations and learned times on each side of the edges.
TEST_F(DemoServiceTest, CatalogueCoversEveryListShape) {
    const std::string token = SignIn("lixiaoming", "xm123456");
    Answer course = Post("/api/user/myCourse", "token=" + token);
    ASSERT_EQ(course.code(), 200);
    std::vector<std::string> classIds;
    int withoutDocuments = 0;
    auto collect = [&](const rapidjson::Value& c) {
        classIds.push_back(c["id"].GetString());
        withoutDocuments += c["jiangyi"].Empty();
    };
    for (const auto& p : course.data()["gpPackage"].GetArray())
        for (const auto& s : p["classes"].GetArray())
            for (const auto& c : s["classes"].GetArray()) collect(c);
    for (const auto& c : course.data()["classes"].GetArray()) collect(c);
    for (const auto& s : course.data()["singlePackage"].GetArray()) classIds.push_back(s["id"].GetString());
    EXPECT_GE(withoutDocuments, 1);

    size_t longest = SIZE_MAX, shortest = SIZE_MAX;
    std::set<std::string> progressTexts;
    bool emptyDuration = false, zeroDuration = false, underMinute = false, overHour = false;
    for (const auto& id : classIds) {
        Answer a = Post("/api/user/myClass", "token=" + token + "&classId=" + id + "&isOld=0");
        ASSERT_EQ(a.code(), 200) << id;
        const auto& lessons = a.data()["lessons"];
        const size_t n = lessons.Size();
        longest = longest == SIZE_MAX ? n : std::max(longest, n);
        shortest = std::min(shortest, n);
        EXPECT_EQ(a.data()["lessonNum"].GetString(), std::to_string(n)) << id;
        for (const auto& l : lessons.GetArray()) {
            const std::string duration = l["duration"].GetString();
            const long long d = duration.empty() ? 0 : std::stoll(duration);
            emptyDuration |= duration.empty();
            zeroDuration |= duration == "0";
            underMinute |= d > 0 && d < 60;
            overHour |= d > 3600;
            const std::string text = ProgressText(d, std::stoll(l["learned_duration"].GetString()));
            progressTexts.insert(text.size() > 1 && text.back() == '%' && text != "1%" ? "n%" : text);
        }
    }
    EXPECT_GE(longest, 40u);
    EXPECT_EQ(shortest, 0u);
    EXPECT_TRUE(emptyDuration && zeroDuration && underMinute && overHour);
    EXPECT_EQ(progressTexts, (std::set<std::string>{"未学习", "1%", "n%", "已学完"}));

    // The starting progress marks a last lesson, and a new record keeps the rest of it.
    Answer before = Post("/api/user/myClass", "token=" + token + "&classId=1201&isOld=0");
    EXPECT_STREQ(before.data()["lastLearnLessonId"].GetString(), "120102");
    EXPECT_EQ(before.data()["lessonIndex"].GetInt(), 1);
    ASSERT_EQ(Post("/api/user/learnProgress", "token=" + token + "&learnedDuration=45&lessonId=120103").code(), 200);
    Answer after = Post("/api/user/myClass", "token=" + token + "&classId=1201&isOld=0");
    EXPECT_STREQ(after.data()["lastLearnLessonId"].GetString(), "120103");
    EXPECT_STREQ(after.data()["lessons"][0]["learned_duration"].GetString(), "1");
    EXPECT_STREQ(after.data()["lessons"][1]["learned_duration"].GetString(), "1000");
    EXPECT_STRNE(after.data()["lessons"][2]["finished_time"].GetString(), "");
    EXPECT_STREQ(Post("/api/user/myClass", "token=" + token + "&classId=1102&isOld=0")
                     .data()["lastLearnLessonId"]
                     .GetString(),
                 "110209");

    // The other accounts keep their shapes: one exam and one class, and nothing.
    Answer fang = Post("/api/user/myCourse", "token=" + SignIn("wangfang", "Fang&2027+"));
    EXPECT_EQ(fang.data()["exams"].Size(), 1u);
    EXPECT_EQ(fang.data()["classes"].Size(), 1u);
    Answer lei = Post("/api/user/myCourse", "token=" + SignIn("zhaolei", "zl123456"));
    EXPECT_TRUE(lei.data()["gpPackage"].Empty() && lei.data()["classes"].Empty());
}

TEST_F(DemoServiceTest, ProgressProfileAndFeedbackSurviveRestart) {
    const std::string token = SignIn("lixiaoming", "xm123456");
    EXPECT_EQ(Post("/api/user/learnProgress", "token=" + token + "&learnedDuration=7&lessonId=110102").code(), 200);
    EXPECT_EQ(Post("/api/user/learnProgress", "token=" + token + "&learnedDuration=12&lessonId=110101").code(), 200);
    EXPECT_EQ(Post("/api/user/learnProgress", "token=" + token + "&learnedDuration=3&lessonId=110102").code(), 200);
    EXPECT_EQ(Post("/api/user/updateInfo", "token=" + token + "&nickname=" + FormEncode("晓明 & 朋友") +
                                               "&realname=&qq=&addressId=&address=&mobile=")
                  .code(),
              200);
    EXPECT_EQ(Post("/api/Feedback/saveVoideData",
                   "token=" + token + "&type=1&content=" + FormEncode("第3分钟听不清") + "&lessonId=110102&classId=1101")
                  .code(),
              200);

    m_server.Stop();
    StartServer();
    // The token outlives the restart too.
    Answer a = Post("/api/user/myClass", "token=" + token + "&classId=1101&isOld=0");
    ASSERT_EQ(a.code(), 200) << a.body;
    EXPECT_STREQ(a.data()["lastLearnLessonId"].GetString(), "110102");
    EXPECT_STREQ(a.data()["lastLearnedDuration"].GetString(), "3");
    EXPECT_EQ(a.data()["lessonIndex"].GetInt(), 1);
    const auto& lessons = a.data()["lessons"];
    EXPECT_STREQ(lessons[0]["learned_duration"].GetString(), "12");
    EXPECT_STRNE(lessons[0]["finished_time"].GetString(), "");  // 12 s of a 12 s video
    EXPECT_STREQ(lessons[1]["learned_duration"].GetString(), "3");
    EXPECT_STREQ(lessons[1]["finished_time"].GetString(), "");

    Answer info = Post("/api/user/myInfo", "token=" + token);
    ASSERT_EQ(info.code(), 200);
    EXPECT_STREQ(info.data()["nickname"].GetString(), "晓明 & 朋友");
    // Empty fields leave the profile as it was.
    EXPECT_STREQ(info.data()["realname"].GetString(), "李晓明");
    EXPECT_STREQ(info.data()["mobile"].GetString(), "13800138001");
    EXPECT_NE(ReadFile(m_folder.path() / "state" / "accounts" / "10001" / "feedback.json").find("第3分钟听不清"),
              std::string::npos);
}

TEST_F(DemoServiceTest, RangeRequestsOnLessonVideo) {
    Answer uri = Get("/api/Apibook/playUri?vid=v110101");
    ASSERT_EQ(uri.code(), 200) << uri.body;
    const std::string url = uri.json["FileURL"].GetString();
    const std::string disk = ReadFile(AssetsFolder() / "media" / "v110101.mp4");
    ASSERT_FALSE(disk.empty());
    EXPECT_EQ(uri.json["Size"].GetInt64(), static_cast<int64_t>(disk.size()));
    ASSERT_EQ(url.rfind(m_server.origin(), 0), 0u) << url;
    const std::string path = url.substr(m_server.origin().size());

    auto part = m_client->Get(path.c_str(), {{"Range", "bytes=100-1123"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 100-1123/" + std::to_string(disk.size()));
    EXPECT_EQ(part->get_header_value("Content-Length"), "1024");
    EXPECT_EQ(part->body, disk.substr(100, 1024));

    // Resuming a download: from an offset to the end.
    const size_t from = disk.size() - 5000;
    auto tail = m_client->Get(path.c_str(), {{"Range", "bytes=" + std::to_string(from) + "-"}});
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->status, 206);
    EXPECT_EQ(tail->body, disk.substr(from));

    auto beyond = m_client->Get(path.c_str(), {{"Range", "bytes=" + std::to_string(disk.size()) + "-"}});
    ASSERT_TRUE(beyond);
    EXPECT_EQ(beyond->status, 416);
    EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */" + std::to_string(disk.size()));

    auto whole = m_client->Get(path.c_str());
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_EQ(whole->body, disk);

    EXPECT_EQ(Get("/api/Apibook/playUri?vid=nope").code(), 404);
    EXPECT_EQ(Get("/api/Apibook/playUri?vid=nope").msg(), "视频不存在");
}

std::string DecodeBase64(const std::string& text) {
    std::string out(text.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    while (!out.empty() && out.back() == '\0') out.pop_back();  // EVP_DecodeBlock keeps padding bytes
    return out;
}

std::string EncodeBase64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST_F(DemoServiceTest, VideoServiceResolvesPlayAuthorisation) {
    Answer auth = Get("/api/Apibook/playAuth?vid=v220101");
    ASSERT_EQ(auth.code(), 200) << auth.body;
    EXPECT_EQ(auth.msg(), "成功");
    const std::string playAuth = auth.json["playauth"].GetString();

    // The page finds the video service inside the authorisation.
    rapidjson::Document inside;
    inside.Parse(DecodeBase64(playAuth).c_str());
    ASSERT_TRUE(inside.IsObject()) << playAuth;
    EXPECT_EQ(std::string(inside["VideoService"].GetString()), m_server.origin() + "/video/resolve");
    EXPECT_STREQ(inside["Vid"].GetString(), "v220101");

    auto res = m_client->Get(("/video/resolve?vid=v220101&playAuth=" + FormEncode(playAuth)).c_str(),
                             {{"Origin", "http://127.0.0.1:8501"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Access-Control-Allow-Origin"), "http://127.0.0.1:8501");
    rapidjson::Document doc;
    doc.Parse(res->body.c_str());
    ASSERT_TRUE(doc.IsObject() && doc["url"].IsString());
    EXPECT_EQ(std::string(doc["url"].GetString()), m_server.origin() + "/media/v220101.webm");
    EXPECT_STREQ(doc["type"].GetString(), "video/webm");

    // An authorisation is good for its own video only, whatever its readable part claims;
    // a foreign page gets no CORS grant.
    std::string relabelled = DecodeBase64(playAuth);
    relabelled.replace(relabelled.find("\"Vid\":\"v220101\""), 15, "\"Vid\":\"v110101\"");
    for (const std::string& other : {playAuth, EncodeBase64(relabelled)}) {
        auto refused = m_client->Get(("/video/resolve?vid=v110101&playAuth=" + FormEncode(other)).c_str(),
                                     {{"Origin", "http://evil.example"}});
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 403);
        EXPECT_FALSE(refused->has_header("Access-Control-Allow-Origin"));
    }
    for (const char* forged : {"abc.def", "", "eyJUb2tlbiI6MX0="}) {
        auto r = m_client->Get((std::string("/video/resolve?vid=v220101&playAuth=") + forged).c_str());
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 403) << forged;
    }
    EXPECT_EQ(Get("/api/Apibook/playAuth?vid=").code(), 404);
}

// The player's fault hook: a canned answer makes the video service or a video fail (with
// the page's CORS grant, so the page can read the status) until the fault is cleared.
TEST_F(DemoServiceTest, VideoFaultHookFailsPlaybackUntilReset) {
    const std::string playAuth = Get("/api/Apibook/playAuth?vid=v110101").json["playauth"].GetString();
    const std::string resolve = "/video/resolve?vid=v110101&playAuth=" + FormEncode(playAuth);
    const httplib::Headers page{{"Origin", "http://127.0.0.1:8501"}};
    for (const char* fault : {R"({"path":"/video/resolve","status":503,"body":"{}"})",
                              R"({"path":"/media/v110101.mp4","status":500,"body":"down"})"}) {
        ASSERT_TRUE(m_client->Post("/__test/canned", fault, "application/json"));
    }
    auto refused = m_client->Get(resolve.c_str(), page);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(refused->get_header_value("Access-Control-Allow-Origin"), "http://127.0.0.1:8501");
    auto media = m_client->Get("/media/v110101.mp4", page);
    ASSERT_TRUE(media);
    EXPECT_EQ(media->status, 500);

    ASSERT_TRUE(m_client->Post("/__test/reset", "", "application/json"));
    auto resolved = m_client->Get(resolve.c_str(), page);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->status, 200);
    auto range = m_client->Get("/media/v110101.mp4", {{"Range", "bytes=0-99"}});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->status, 206);
}

TEST_F(DemoServiceTest, AvatarUpload) {
    const std::string token = SignIn("zhaolei", "zl123456");
    const std::string png = ReadFile(AssetsFolder() / "img" / "avatar-10001.png");
    ASSERT_FALSE(png.empty());
    auto upload = [&](const std::string& content, const char* part) {
        httplib::MultipartFormDataItems items = {{part, content, "head.png", "image/png"}};
        return Parse(m_client->Post(("/api/user/changeAvatar?token=" + token).c_str(), items));
    };
    Answer a = upload(png, "file");
    ASSERT_EQ(a.code(), 200) << a.body;
    EXPECT_EQ(a.msg(), "上传成功");
    const std::string url = a.data()["img"].GetString();
    auto picture = m_client->Get(url.substr(m_server.origin().size()).c_str());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->body, png);
    EXPECT_EQ(std::string(Post("/api/user/myInfo", "token=" + token).data()["avatar"].GetString()), url);

    // A second picture gets a new address and replaces the first.
    Answer again = upload(png, "file");
    ASSERT_EQ(again.code(), 200);
    EXPECT_NE(std::string(again.data()["img"].GetString()), url);
    EXPECT_EQ(m_client->Get(url.substr(m_server.origin().size()).c_str())->status, 404);

    EXPECT_EQ(upload("not a picture", "file").msg(), "图片格式不支持");
    EXPECT_EQ(upload(png, "picture").msg(), "请选择图片");
    EXPECT_EQ(upload(png.substr(0, 8) + std::string(3u << 20, 'x'), "file").msg(), "图片不能超过2MB");
}

TEST_F(DemoServiceTest, HostileInputIsRefusedAndTheServiceRunsOn) {
    const std::string token = SignIn("lixiaoming", "xm123456");
    struct Case {
        const char* attack;
        std::string path, body;
        int code;
    } cases[] = {
        {"nickname that is not UTF-8", "/api/user/updateInfo", "token=" + token + "&nickname=%FF%FE", 400},
        {"nickname of 21 characters", "/api/user/updateInfo",
         "token=" + token + "&nickname=" + FormEncode("一二三四五六七八九十一二三四五六七八九十一"), 400},
        {"mobile that is not a number", "/api/user/updateInfo", "token=" + token + "&mobile=1380013800x", 400},
        {"negative learned duration", "/api/user/learnProgress", "token=" + token + "&learnedDuration=-5&lessonId=110101", 400},
        {"learned duration in exponent form", "/api/user/learnProgress", "token=" + token + "&learnedDuration=1e3&lessonId=110101", 400},
        {"huge learned duration", "/api/user/learnProgress", "token=" + token + "&learnedDuration=99999999999999999999&lessonId=110101", 400},
        {"lesson of another account", "/api/user/learnProgress", "token=" + token + "&learnedDuration=5&lessonId=999999", 404},
        {"empty question", "/api/Feedback/saveVoideData", "token=" + token + "&type=1&content=&lessonId=110101&classId=1101", 400},
        {"token made of separators", "/api/user/myInfo", "token=%7C%7C%7C.%7C", 401},
    };
    for (const auto& c : cases) EXPECT_EQ(Post(c.path, c.body).code(), c.code) << c.attack;

    for (const char* path : {"/media/..%2F..%2Fstate%2Fsecret.key", "/media/.hidden", "/uploads/jiangyi/../../x",
                             "/uploads/avatar/10001/..%2Fprofile.json", "/img/%2Fetc%2Fpasswd"}) {
        auto res = m_client->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
    }
    auto big = m_client->Post("/api/user/updateInfo", std::string(9u << 20, 'a'), "application/x-www-form-urlencoded");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);

    // Raw bytes that are no HTTP at all.
    {
        httplib::Client raw(m_server.host(), m_server.port());
        raw.set_read_timeout(5);
        auto res = raw.Get("/\x01\x02 HTTP/9.9");
        (void)res;
    }
    EXPECT_EQ(Post("/api/user/myInfo", "token=" + token).code(), 200);
}

TEST_F(DemoServiceTest, BenchBlobIsDeterministicWithRanges) {
    auto res = m_client->Get("/bench/blob?size=300000", {{"Range", "bytes=65530-65545"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 206);
    ASSERT_EQ(res->body.size(), 16u);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(static_cast<unsigned char>(res->body[i]), demo::BenchByte(65530 + i));
    auto head = m_client->Head("/bench/blob?size=268435456");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->get_header_value("Content-Length"), "268435456");
    EXPECT_EQ(m_client->Get("/bench/blob?size=-1")->status, 400);
}

TEST_F(DemoServiceTest, FaultInjectionForDownloadAndTimeoutTests) {
    // A transfer cut off part-way leaves the client with less than it asked for...
    auto cut = m_client->Get("/bench/blob?size=1000000&drop_after=100000");
    EXPECT_TRUE(!cut || cut->body.size() < 1000000u);
    // ...and resumes from where it stopped.
    auto rest = m_client->Get("/bench/blob?size=1000000", {{"Range", "bytes=131072-"}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206);
    EXPECT_EQ(rest->body.size(), 1000000u - 131072u);
    EXPECT_EQ(static_cast<unsigned char>(rest->body[0]), demo::BenchByte(131072));

    // A stalled body and a held-back answer run into the client's time limit.
    httplib::Client impatient(m_server.host(), m_server.port());
    impatient.set_read_timeout(1);
    EXPECT_FALSE(impatient.Get("/bench/blob?size=1000000&stall_after=0"));
    ASSERT_TRUE(m_client->Post("/__test/canned", R"({"path":"/api/user/myInfo","body":"{}","times":1,"delayMs":3000})",
                               "application/json"));
    EXPECT_FALSE(impatient.Post("/api/user/myInfo", "token=x", "application/x-www-form-urlencoded"));
    EXPECT_EQ(Post("/api/user/myInfo", "token=x").code(), 401);
}

TEST_F(DemoServiceTest, TestHooksRecordRequestsAndServeCannedAnswers) {
    auto put = m_client->Post("/__test/canned",
                              R"({"path":"/api/user/myCourse","status":500,"body":"{\"code\":\"200\"}","times":1})",
                              "application/json");
    ASSERT_TRUE(put && put->status == 200);
    auto canned = m_client->Post("/api/user/myCourse", "token=x", "application/x-www-form-urlencoded");
    ASSERT_TRUE(canned);
    EXPECT_EQ(canned->status, 500);
    EXPECT_EQ(canned->body, R"({"code":"200"})");
    EXPECT_EQ(Post("/api/user/myCourse", "token=x").code(), 401);  // once only

    auto log = m_client->Get("/__test/requests");
    ASSERT_TRUE(log);
    rapidjson::Document doc;
    doc.Parse(log->body.c_str());
    ASSERT_TRUE(doc.IsArray() && doc.Size() >= 2);
    EXPECT_STREQ(doc[0]["path"].GetString(), "/api/user/myCourse");
    EXPECT_STREQ(doc[0]["body"].GetString(), "token=x");
}

TEST(DemoServiceHttpsTest, ServesHttpsWithACertificateMadeAtTestTime) {
    TempFolder folder;
    const fs::path dir = folder.path();
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
                                " -addext subjectAltName=IP:127.0.0.1 -keyout " +
                                (dir / "key.pem").string() + " -out " + (dir / "cert.pem").string() +
                                " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    DemoServer server;
    ASSERT_TRUE(server.Start(dir / "state", {"--cert", (dir / "cert.pem").string(), "--key", (dir / "key.pem").string()}))
        << server.ErrorOutput();
    ASSERT_EQ(server.origin(), "https://127.0.0.1:" + std::to_string(server.port()));

    httplib::SSLClient trusting(server.host(), server.port());
    trusting.set_ca_cert_path((dir / "cert.pem").c_str());
    trusting.enable_server_certificate_verification(true);
    trusting.set_connection_timeout(5);
    auto res = trusting.Post("/api/login", "username=lixiaoming&password=xm123456", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_NE(res->body.find("登录成功"), std::string::npos);
    auto uri = trusting.Get("/api/Apibook/playUri?vid=v110101");
    ASSERT_TRUE(uri);
    EXPECT_NE(uri->body.find("\"FileURL\":\"https://127.0.0.1:"), std::string::npos);

    // A client that does not trust the certificate is refused.
    httplib::SSLClient strict(server.host(), server.port());
    strict.enable_server_certificate_verification(true);
    strict.set_ca_cert_path("/nonexistent");
    strict.set_connection_timeout(5);
    EXPECT_FALSE(strict.Get("/course.html"));
}

TEST_F(DemoServiceTest, SitePagesAndUnknownEndpoints) {
    for (const char* path : {"/Tiku/index/index.html", "/course.html"}) {
        auto res = m_client->Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_NE(res->get_header_value("Content-Type").find("text/html"), std::string::npos);
        EXPECT_NE(res->body.find("<!DOCTYPE html>"), std::string::npos);
        // The pages work offline: nothing comes from elsewhere, and what they load is served here.
        for (const char* outside : {"http:", "https:", "\"//", "'//", "url(//", "@import"})
            EXPECT_EQ(res->body.find(outside), std::string::npos) << path << " " << outside;
        for (size_t at = res->body.find("src=\""); at != std::string::npos; at = res->body.find("src=\"", at + 1)) {
            const size_t from = at + 5;
            const std::string resource = res->body.substr(from, res->body.find('"', from) - from);
            auto loaded = m_client->Get(resource.c_str());
            ASSERT_TRUE(loaded) << resource;
            EXPECT_EQ(loaded->status, 200) << path << " " << resource;
        }
    }
    Answer unknown = Post("/api/user/noSuchThing", "token=x");
    EXPECT_EQ(unknown.status, 404);
    EXPECT_EQ(unknown.code(), 404);
    // The start-up report needs no token and its path ends in "?" on the wire.
    EXPECT_EQ(Post("/api/login/pcstatistics?", "computer_name=pc&sys_ver=debian12%2064%E4%BD%8D&machine_id=1").code(),
              200);
}

// A stop asked for before the accept loop has begun (the input closed or SIGTERM came
// right after the "listening on" line) still ends it; a lost stop left the service running
// until its launcher gave up and killed it.
TEST(DemoListenLoopTest, AStopAskedForBeforeTheLoopBeganEndsIt) {
    httplib::Server server;
    ASSERT_GT(server.bind_to_any_port("127.0.0.1"), 0);
    demo::ListenLoop loop(server);
    std::thread stopper([&] { loop.Stop(); });
    EXPECT_TRUE(WaitUntil([&] { return loop.StopRequested(); }));
    EXPECT_FALSE(server.is_running());
    auto run = std::async(std::launch::async, [&] { return loop.Run(); });
    const bool ended = run.wait_for(kWaitGuard) == std::future_status::ready;
    if (!ended) server.stop();  // so that the test fails instead of hanging
    EXPECT_TRUE(ended) << "the loop ran on after the stop";
    stopper.join();
    loop.Stop();  // a second stop, after the loop ended, does nothing
}

}  // namespace
