// Test-only hooks, active with --test-hooks: the service records every request to its
// service endpoints (so client tests can check paths, bodies and key order) and can be told
// to answer a path with a canned status and body (so client tests can feed their parsers
// malformed or unusual answers through the real transport).
//
//   POST /__test/canned   {"path": "/api/login", "status": 200, "body": "...",
//                          "contentType": "application/json", "times": 1, "delayMs": 0}
//                         times 0 (or absent) = until reset; delayMs holds the answer back
//                         (at most 120 s), for tests of client time limits
//   GET  /__test/requests [{"method", "path", "target", "contentType", "body", "files"}]
//   POST /__test/reset    forget canned answers and recorded requests
//
//   POST /__test/media    {"bytesPerSecond": B, "cutAfter": K}: every "/media/<file>" answer
//                         is slowed to B bytes/s (0 or absent: full speed); with "cutAfter"
//                         nothing past byte K of a file is sent (in pieces: up to 64 KiB
//                         more at full speed) -- an answer under way stops there, one that
//                         starts past it closes at once (K 0: everything is cut) -- until a
//                         later call without it or a reset: the network dropping in the
//                         middle of a lesson, and coming back
//
// Canned answers also serve "/video/resolve" and "/media/<file>" (not recorded), so a
// client test can make a play authorisation or a video fail and then clear the fault.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace demo {

// What "/__test/media" set for the media answers.
struct MediaFault {
    std::uint64_t bytesPerSecond = 0;
    bool cut = false;
    std::uint64_t cutAfter = 0;
};

class TestHooks {
public:
    void Enable() { m_enabled = true; }
    bool Enabled() const { return m_enabled; }

    void Record(const httplib::Request& req);
    // Sets a canned answer for the request's path when one is waiting; true when it did.
    bool AnswerCanned(const httplib::Request& req, httplib::Response& res);
    void Install(httplib::Server& server);
    // The media fault now (none while the hooks are off).
    MediaFault Media() const;

private:
    struct Canned {
        std::string path, body, contentType;
        int status = 200;
        int times = 0;
        int delayMs = 0;
    };
    struct Recorded {
        std::string method, path, target, contentType, body;
        std::vector<std::string> files;  // "name|filename|size"
    };
    bool m_enabled = false;
    mutable std::mutex m_mutex;
    MediaFault m_media;
    std::vector<Canned> m_canned;
    std::deque<Recorded> m_requests;
};

}  // namespace demo
