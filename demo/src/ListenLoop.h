// The service's accept loop, with a stop that holds whenever it is asked for: httplib's
// Server::stop() does nothing until listen has begun, so a stop asked for during start-up
// (standard input closed, or SIGTERM, right after the "listening on" line) would be lost
// and the service would run on.
#pragma once

#include <condition_variable>
#include <mutex>

namespace httplib {
class Server;
}

namespace demo {

class ListenLoop {
public:
    explicit ListenLoop(httplib::Server& server) : m_server(server) {}
    ListenLoop(const ListenLoop&) = delete;
    ListenLoop& operator=(const ListenLoop&) = delete;

    // Serves on the bound port until Stop (from another thread); listen's result.
    bool Run();
    // Ends Run, or makes it end as soon as it begins. Callable from any thread, any time,
    // more than once; returns once the loop was told (it does not wait for it to end).
    void Stop();
    bool StopRequested() const;

private:
    httplib::Server& m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_stopRequested = false;
    bool m_done = false;
};

}  // namespace demo
