#include "DemoServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace demo_test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavo-demo-test-XXXXXX").string();
    if (::mkdtemp(pattern.data())) m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!m_path.empty()) fs::remove_all(m_path, ec);
}

bool DemoServer::Start(const fs::path& dataDir, const std::vector<std::string>& extra) {
    Stop();
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    m_errorFile = dataDir.string() + ".stderr";
    std::vector<std::string> args = {TAVO_DEMO_SERVICE_PATH, "--port", "0", "--data", dataDir.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string errorPath = m_errorFile.string();
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], 1);
        const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (err >= 0) ::dup2(err, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (m_pid < 0) {
        ::close(out[0]);
        return false;
    }
    // Read the first line, with a deadline so a hung start fails the test instead.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    const std::string prefix = "listening on ";
    const size_t colon = line.rfind(':');
    if (line.rfind(prefix, 0) != 0 || colon == std::string::npos) {
        Stop();
        return false;
    }
    m_origin = line.substr(prefix.size(), line.find('\n') - prefix.size());
    m_port = std::atoi(line.c_str() + colon + 1);
    return m_port > 0;
}

void DemoServer::Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string DemoServer::ErrorOutput() const {
    std::ifstream in(m_errorFile);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace demo_test
