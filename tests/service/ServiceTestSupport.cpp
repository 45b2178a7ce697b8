// Fixtures shared by the service and account tests.
#include "ServiceTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/Log.h"
#include "app/TextConv.h"
#include "service/CurlSupport.h"
#include "service/ServiceConfig.h"
#include "support/XdgFolders.h"

namespace servicetest {

void TempHomeTest::SetUp() {
  char pattern[] = "/tmp/tavo-service-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  m_root = pattern;
  PointXdgFoldersInto(m_root);
  ASSERT_TRUE(OpenLog(L"servicetest"));
  // Short limits so a fault shows as a failure instead of a hang.
  SetTransportLimits({5, 5});
  SetExtraCaFile("");
}

void TempHomeTest::TearDown() {
  CloseLog();
  std::error_code ignored;
  std::filesystem::remove_all(m_root, ignored);
}

std::vector<std::string> TempHomeTest::LogLines() const {
  std::vector<std::string> lines;
  const auto folder = m_root / "state" / "tavo" / "log";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string bytes = ReadFile(entry.path());
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      const std::wstring line = text.substr(start, end - start);
      start = end + 2;
      // "time[kind][thread]:text"
      const size_t kind = line.find(L'[');
      const size_t kindEnd = line.find(L']', kind);
      const size_t textStart = line.find(L"]:", kindEnd + 1);
      if (kind == std::wstring::npos || kindEnd == std::wstring::npos || textStart == std::wstring::npos) {
        continue;
      }
      lines.push_back(WideToUtf8(line.substr(kind, kindEnd - kind + 1)) +
                      WideToUtf8(line.substr(textStart + 2)));
    }
  }
  return lines;
}

namespace {
std::vector<std::string> LinesOfKind(const std::vector<std::string>& lines, const std::string& tag) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    if (line.rfind(tag, 0) == 0) out.push_back(line.substr(tag.size()));
  }
  return out;
}

// Parsed texts are the locale's; the tests write UTF-8 answers.
const bool kLocaleSet = std::setlocale(LC_ALL, "C.UTF-8") != nullptr;
}  // namespace

std::vector<std::string> TempHomeTest::ErrorLines() const { return LinesOfKind(LogLines(), "[error]"); }

std::vector<std::string> TempHomeTest::NormalLines() const { return LinesOfKind(LogLines(), "[normal]"); }

LoopbackServer::LoopbackServer() : m_server(std::make_unique<httplib::Server>()) { Start(); }

LoopbackServer::LoopbackServer(const std::string& certFile, const std::string& keyFile)
    : m_server(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())), m_tls(true) {
  Start();
}

void LoopbackServer::Start() {
  (void)kLocaleSet;
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back({request.method, request.path, request.target, request.body,
                          request.get_header_value("Content-Type"), request.params, request.files});
    response.status = m_status;
    response.set_content(m_body, "application/json");
  };
  m_server->Get(".*", handler);
  m_server->Post(".*", handler);
  m_port = m_server->bind_to_any_port("127.0.0.1");
  ASSERT_GT(m_port, 0);
  m_listening = std::make_unique<ListenThread>(*m_server);
}

LoopbackServer::~LoopbackServer() = default;

void LoopbackServer::SetAnswer(int status, std::string body) {
  std::lock_guard lock(m_mutex);
  m_status = status;
  m_body = std::move(body);
}

std::string LoopbackServer::Origin() const {
  return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
  std::lock_guard lock(m_mutex);
  return m_requests;
}

HostileServer::HostileServer() {
  auto trickle = [this](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("application/json", [this](size_t offset, httplib::DataSink& sink) {
      if (m_quit || offset >= 60) {
        sink.done();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      return sink.write(offset == 0 ? "{" : " ", 1);
    });
  };
  auto huge = [this](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(
        kHugeAnswer, "application/json", [this](size_t, size_t length, httplib::DataSink& sink) {
          return !m_quit && sink.write(m_block.data(), std::min(length, m_block.size()));
        });
  };
  auto endless = [this](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("application/json", [this](size_t offset, httplib::DataSink& sink) {
      if (m_quit || offset >= kHugeAnswer) {
        sink.done();
        return true;
      }
      return sink.write(m_block.data(), m_block.size());
    });
  };
  for (const auto& [pattern, handler] : {std::pair{"/trickle.*", httplib::Server::Handler(trickle)},
                                         std::pair{"/huge.*", httplib::Server::Handler(huge)},
                                         std::pair{"/endless.*", httplib::Server::Handler(endless)}}) {
    m_server.Get(pattern, handler);
    m_server.Post(pattern, handler);
  }
  m_port = m_server.bind_to_any_port("127.0.0.1");
  EXPECT_GT(m_port, 0);
  m_listening = std::make_unique<ListenThread>(m_server);
}

HostileServer::~HostileServer() {
  m_quit = true;
  m_listening.reset();
}

int RefusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return output;
  }
  char buffer[4096];
  size_t count = 0;
  while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, count);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return output;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

}  // namespace servicetest
