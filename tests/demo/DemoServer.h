// Runs the real tavo-demo-service as a child process on a free loopback port, with its own
// temporary state folder, for the tests of the demo school and of its clients.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace demo_test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class DemoServer {
public:
    DemoServer() = default;
    ~DemoServer() { Stop(); }
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Starts the service with --port 0 --data <dataDir> and the extra arguments; waits (at
    // most 30 s) for its "listening on" line. False when it did not come up.
    bool Start(const std::filesystem::path& dataDir, const std::vector<std::string>& extra = {});
    void Stop();

    const std::string& origin() const { return m_origin; }  // "http://127.0.0.1:PORT"
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    std::string host() const { return "127.0.0.1"; }
    // What the service wrote to standard error (for failure messages).
    std::string ErrorOutput() const;

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_origin;
    std::filesystem::path m_errorFile;
};

}  // namespace demo_test
