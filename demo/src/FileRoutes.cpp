#include "FileRoutes.h"

#include "Json.h"
#include "PlayAuth.h"
#include "RangeBody.h"
#include "ServerLog.h"
#include "Shutdown.h"

#include <charconv>
#include <chrono>
#include <climits>
#include <regex>

namespace demo {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMaxBlob = 64ull << 30;

// The player page is served by the client's own local web server on a loopback port.
void AllowLocalPage(const httplib::Request& req, httplib::Response& res) {
    static const std::regex local(R"(^https?://(127\.0\.0\.1|localhost)(:[0-9]{1,5})?$)");
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty() && std::regex_match(origin, local)) {
        res.set_header("Access-Control-Allow-Origin", origin);
        res.set_header("Access-Control-Allow-Methods", "GET, HEAD, OPTIONS");
        res.set_header("Access-Control-Allow-Headers", "Range");
        res.set_header("Access-Control-Expose-Headers", "Content-Length, Content-Range, Accept-Ranges");
    }
    res.set_header("Vary", "Origin");
}

void JsonAnswer(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, "application/json; charset=utf-8");
}

std::string ErrorJson(const std::string& text) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    WriteString(w, "error", text);
    w.EndObject();
    return buffer.GetString();
}

void ServeFrom(const fs::path& folder, const std::string& name, const httplib::Request& req,
               httplib::Response& res) {
    const fs::path path = folder / name;
    if (!ServeFile(req, res, path, ContentTypeFor(path))) res.status = 404;
}

bool ParseU64(const std::string& text, std::uint64_t& value) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

void InstallFileRoutes(httplib::Server& server, Context& context) {
    const fs::path assets = context.options.assets;
    // File names are one path component of safe characters, never starting with a dot.
    const std::string name = "([A-Za-z0-9_-][A-Za-z0-9_.-]{0,127})";

    server.Get("/Tiku/index/index.html", [assets](const httplib::Request& req, httplib::Response& res) {
        ServeFrom(assets / "site" / "Tiku" / "index", "index.html", req, res);
    });
    server.Get("/course.html", [assets](const httplib::Request& req, httplib::Response& res) {
        ServeFrom(assets / "site", "course.html", req, res);
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/course.html"); });
    server.Get("/uploads/jiangyi/" + name, [assets](const httplib::Request& req, httplib::Response& res) {
        ServeFrom(assets / "docs", req.matches[1], req, res);
    });
    server.Get("/img/" + name, [assets](const httplib::Request& req, httplib::Response& res) {
        ServeFrom(assets / "img", req.matches[1], req, res);
    });
    server.Get("/uploads/avatar/([0-9]{1,20})/" + name, [&context](const httplib::Request& req, httplib::Response& res) {
        ServeFrom(context.store->AvatarFolder(req.matches[1]), req.matches[2], req, res);
    });
    server.Get("/media/" + name, [assets, &context](const httplib::Request& req, httplib::Response& res) {
        AllowLocalPage(req, res);
        // The fault hook: a canned answer for a video's address makes its playback fail.
        if (context.hooks.AnswerCanned(req, res)) return;
        // "?rate=B" slows the answer to B bytes/s (downloads that tests can watch and pause).
        std::uint64_t rate = 0;
        if (req.has_param("rate") && !ParseU64(req.get_param_value("rate"), rate)) {
            res.status = 400;
            return;
        }
        const fs::path path = assets / "media" / std::string(req.matches[1]);
        const MediaFault fault = context.hooks.Media();
        if (fault.bytesPerSecond > 0 && rate == 0) rate = fault.bytesPerSecond;
        // The media fault is asked again before every piece, so that a cut stops an answer
        // already under way, as a dropped network does.
        Context* hooks = &context;
        auto cutAt = [hooks](std::uint64_t offset) {
            const MediaFault now = hooks->hooks.Media();
            return now.cut && offset >= now.cutAfter;
        };
        if (!ServeFile(req, res, path, ContentTypeFor(path), rate, cutAt)) res.status = 404;
    });
    server.Options("/(media/.*|video/resolve)", [](const httplib::Request& req, httplib::Response& res) {
        AllowLocalPage(req, res);
        res.status = 204;
    });

    // The video service: a play authorisation names one video and expires; the player page
    // exchanges it here for the address of the media.
    server.Get("/video/resolve", [&context](const httplib::Request& req, httplib::Response& res) {
        AllowLocalPage(req, res);
        if (context.hooks.AnswerCanned(req, res)) return;
        const std::string vid = req.get_param_value("vid");
        const std::string auth = req.get_param_value("playAuth");
        std::string subject;
        const TokenVerdict verdict = CheckPlayAuth(*context.signer, auth, NowSeconds(), subject);
        if (verdict == TokenVerdict::Invalid || subject != vid) {
            JsonAnswer(res, 403, ErrorJson("invalid play authorisation"));
            return;
        }
        if (verdict == TokenVerdict::Expired) {
            JsonAnswer(res, 403, ErrorJson("play authorisation expired"));
            return;
        }
        const Video* video = context.catalogue.FindVideo(vid);
        if (!video) {
            JsonAnswer(res, 404, ErrorJson("unknown video"));
            return;
        }
        rapidjson::StringBuffer buffer;
        JsonWriter w(buffer);
        w.StartObject();
        WriteString(w, "vid", video->vid);
        WriteString(w, "url", context.origin + "/media/" + video->file);
        WriteString(w, "type", ContentTypeFor(video->file));
        WriteString(w, "codec", video->codec);
        WriteString(w, "title", video->title);
        w.Key("duration");
        w.Int(video->seconds);
        w.EndObject();
        JsonAnswer(res, 200, buffer.GetString());
    });

    // GET /bench/blob?size=N[&rate=B][&drop_after=K][&stall_after=K]: N generated bytes,
    // with ranges; optionally slowed to B bytes/s, cut off (connection closed) once K bytes
    // of this answer were sent (rounded up to the 64 KiB pieces it is sent in), or stalled there (nothing more sent, connection kept open)
    // for up to two minutes -- for tests of resuming and of client time limits.
    server.Get("/bench/blob", [](const httplib::Request& req, httplib::Response& res) {
        std::uint64_t size = 0, rate = 0, dropAfter = UINT64_MAX, stallAfter = UINT64_MAX;
        auto optional = [&](const char* key, std::uint64_t& value) {
            return !req.has_param(key) || ParseU64(req.get_param_value(key), value);
        };
        if (!ParseU64(req.get_param_value("size"), size) || size > kMaxBlob || !optional("rate", rate) ||
            !optional("drop_after", dropAfter) || !optional("stall_after", stallAfter)) {
            res.status = 400;
            res.set_content("size=N (at most 64 GiB), optional rate=B, drop_after=K, stall_after=K\n", "text/plain");
            return;
        }
        std::uint64_t first = UINT64_MAX;  // offset of the first byte of this answer
        ServeRanged(req, res, size, "application/octet-stream",
                    [first, dropAfter, stallAfter](std::uint64_t offset, char* buffer, size_t length) mutable {
                        if (first == UINT64_MAX) first = offset;
                        const std::uint64_t sent = offset - first;
                        if (sent >= dropAfter) return false;
                        if (sent >= stallAfter) {
                            SleepUnlessStopping(std::chrono::seconds(120));
                            return false;
                        }
                        for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<char>(BenchByte(offset + i));
                        return true;
                    },
                    rate);
    });
}

}  // namespace demo
