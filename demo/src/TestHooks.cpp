#include "TestHooks.h"

#include "Json.h"
#include "Shutdown.h"

#include <algorithm>

namespace demo {

namespace {
constexpr size_t kMaxRecorded = 2000;
constexpr int kMaxDelayMs = 120000;
}

void TestHooks::Record(const httplib::Request& req) {
    if (!m_enabled) return;
    Recorded r{req.method, req.path, req.target, req.get_header_value("Content-Type"), {}, {}};
    if (req.is_multipart_form_data()) {
        for (const auto& [name, file] : req.files)
            r.files.push_back(name + "|" + file.filename + "|" + std::to_string(file.content.size()));
    } else {
        r.body = req.body;
    }
    std::lock_guard lock(m_mutex);
    m_requests.push_back(std::move(r));
    if (m_requests.size() > kMaxRecorded) m_requests.pop_front();
}

bool TestHooks::AnswerCanned(const httplib::Request& req, httplib::Response& res) {
    if (!m_enabled) return false;
    int delayMs = 0;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_canned.begin(), m_canned.end(), [&](const Canned& c) { return c.path == req.path; });
        if (it == m_canned.end()) return false;
        res.status = it->status;
        res.set_content(it->body, it->contentType);
        delayMs = it->delayMs;
        if (it->times > 0 && --it->times == 0) m_canned.erase(it);
    }
    if (delayMs > 0) SleepUnlessStopping(std::chrono::milliseconds(delayMs));
    return true;
}

MediaFault TestHooks::Media() const {
    if (!m_enabled) return {};
    std::lock_guard lock(m_mutex);
    return m_media;
}

void TestHooks::Install(httplib::Server& server) {
    if (!m_enabled) return;
    server.Post("/__test/media", [this](const httplib::Request& req, httplib::Response& res) {
        rapidjson::Document doc;
        doc.Parse(req.body.c_str(), req.body.size());
        auto count = [&](const char* key) {
            return doc.HasMember(key) && doc[key].IsUint64() ? doc[key].GetUint64() : 0;
        };
        if (doc.HasParseError() || !doc.IsObject()) {
            res.status = 400;
            res.set_content("expected {\"bytesPerSecond\", \"cutAfter\"}", "text/plain");
            return;
        }
        MediaFault fault{count("bytesPerSecond"), doc.HasMember("cutAfter"), count("cutAfter")};
        std::lock_guard lock(m_mutex);
        m_media = fault;
        res.set_content("{}", "application/json");
    });
    server.Post("/__test/canned", [this](const httplib::Request& req, httplib::Response& res) {
        rapidjson::Document doc;
        doc.Parse(req.body.c_str(), req.body.size());
        if (doc.HasParseError() || !doc.IsObject() || StringMember(doc, "path").empty()) {
            res.status = 400;
            res.set_content("expected {\"path\", \"status\", \"body\"}", "text/plain");
            return;
        }
        Canned c{StringMember(doc, "path"), StringMember(doc, "body"), StringMember(doc, "contentType"), 200, 0};
        if (c.contentType.empty()) c.contentType = "application/json; charset=utf-8";
        if (doc.HasMember("status") && doc["status"].IsInt()) c.status = doc["status"].GetInt();
        if (doc.HasMember("times") && doc["times"].IsInt()) c.times = doc["times"].GetInt();
        if (doc.HasMember("delayMs") && doc["delayMs"].IsInt())
            c.delayMs = std::clamp(doc["delayMs"].GetInt(), 0, kMaxDelayMs);
        std::lock_guard lock(m_mutex);
        m_canned.push_back(std::move(c));
        res.set_content("{}", "application/json");
    });
    server.Post("/__test/reset", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard lock(m_mutex);
        m_canned.clear();
        m_requests.clear();
        m_media = {};
        res.set_content("{}", "application/json");
    });
    server.Get("/__test/requests", [this](const httplib::Request&, httplib::Response& res) {
        rapidjson::StringBuffer buffer;
        JsonWriter w(buffer);
        std::lock_guard lock(m_mutex);
        w.StartArray();
        for (const auto& r : m_requests) {
            w.StartObject();
            WriteString(w, "method", r.method);
            WriteString(w, "path", r.path);
            WriteString(w, "target", r.target);
            WriteString(w, "contentType", r.contentType);
            // Bodies that are not UTF-8 are shown as their length only; JSON cannot hold them.
            WriteString(w, "body", IsValidUtf8(r.body) ? r.body : "<" + std::to_string(r.body.size()) + " bytes>");
            w.Key("files");
            w.StartArray();
            for (const auto& f : r.files) w.String(f.c_str());
            w.EndArray();
            w.EndObject();
        }
        w.EndArray();
        res.set_content(buffer.GetString(), "application/json; charset=utf-8");
    });
}

}  // namespace demo
