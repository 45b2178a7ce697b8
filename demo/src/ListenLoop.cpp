#include "ListenLoop.h"

#include <httplib.h>

#include <chrono>

namespace demo {

bool ListenLoop::Run() {
    const bool ok = m_server.listen_after_bind();
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_ended.notify_all();
    return ok;
}

void ListenLoop::Stop() {
    std::unique_lock lock(m_mutex);
    m_stopRequested = true;
    // httplib offers no event for "the loop has begun": look again every millisecond until
    // it has begun or already ended. Start-up takes only a moment, so this wait is short.
    while (!m_done && !m_server.is_running()) m_ended.wait_for(lock, std::chrono::milliseconds(1));
    if (!m_done) m_server.stop();
}

bool ListenLoop::StopRequested() const {
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

}  // namespace demo
