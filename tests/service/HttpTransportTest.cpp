// The transport on loopback: what goes out, what comes back, and the one failure line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "ServiceTestSupport.h"
#include "service/CurlSupport.h"
#include "service/Endpoints.h"
#include "service/HttpTransport.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"

namespace {

using servicetest::LoopbackServer;
using servicetest::RunCommand;
using servicetest::TempHomeTest;

class HttpTransportTest : public TempHomeTest {
 protected:
  HttpTransport& transport = HttpTransport::Instance();
};

TEST_F(HttpTransportTest, PostSendsTheBodyAsIsAndHttp500IsStillAnAnswer) {
  LoopbackServer server;
  server.SetAnswer(500, R"({"code":500,"msg":"busy"})");
  std::string answer = "kept:";
  ASSERT_TRUE(transport.Post(server.Origin() + "/api/x", "a=1&b=%E5", answer));
  EXPECT_EQ(answer, R"(kept:{"code":500,"msg":"busy"})");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/x");
  EXPECT_EQ(requests[0].body, "a=1&b=%E5");
  EXPECT_EQ(requests[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(HttpTransportTest, GetFetchesTheUrl) {
  LoopbackServer server;
  server.SetAnswer(404, "not here");
  std::string answer;
  ASSERT_TRUE(transport.Get(server.Origin() + "/p?vid=1", answer));
  EXPECT_EQ(answer, "not here");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].target, "/p?vid=1");
}

TEST_F(HttpTransportTest, RefusedPortLogsCode7AndEndpointAnswersEmpty) {
  const std::string origin = "http://127.0.0.1:" + std::to_string(servicetest::RefusedPort());
  std::string answer;
  EXPECT_FALSE(transport.Post(origin + "/api/x", "a=1", answer));
  EXPECT_FALSE(transport.Get(origin + "/api/y", answer));
  SetApiOrigin(origin);
  EXPECT_EQ(LoginUsrName("stu", "pw"), "");
  EXPECT_EQ(ErrorLines(),
            (std::vector<std::string>{origin + "/api/x curl ret:7", origin + "/api/y curl ret:7",
                                      origin + "/api/login curl ret:7"}));
}

TEST_F(HttpTransportTest, StalledServerIsGivenUp) {
  // A listening socket that never accepts: the connection completes, no byte ever comes.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/s";

  SetTransportLimits({5, 1});
  std::string answer;
  EXPECT_FALSE(transport.Post(url, "a=1", answer));
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{url + " curl ret:28"});
  close(fd);
}

// Hostile answers end with a clear failure and nothing of them handed on: one that trickles
// a byte every 0.4 s (never slow enough for the stall limit) hits the overall limit, and
// one far larger than any service answer is refused before it is buffered whole.
TEST_F(HttpTransportTest, TricklingAndEndlessAnswersAreCutOff) {
  servicetest::HostileServer server;
  const std::string origin = server.Origin();
  SetTransportLimits({5, 5, 2});

  struct Case {
    const char* path;
    TransportFailure failure;
    std::string logLine;
  };
  const Case cases[] = {
      {"/trickle", TransportFailure::TimedOut, origin + "/trickle curl ret:28"},
      {"/huge", TransportFailure::TooLarge, origin + "/huge answer larger than 33554432 bytes, refused"},
      {"/endless", TransportFailure::TooLarge,
       origin + "/endless answer larger than 33554432 bytes, refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string answer;
    TransportFailure failure = TransportFailure::None;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(transport.Post(origin + c.path, "a=1", answer, nullptr, &failure));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(failure, c.failure);
    EXPECT_EQ(answer, "");
    const auto errors = ErrorLines();
    EXPECT_NE(std::find(errors.begin(), errors.end(), c.logLine), errors.end())
        << ::testing::PrintToString(errors);
  }
}

TEST_F(HttpTransportTest, UploadSendsOnePartNamedFile) {
  LoopbackServer server;
  server.SetAnswer(200, R"({"code":200})");
  const auto picture = m_root / "head.png";
  const std::string bytes("\x89PNG\r\n\x1a\n\0\x01", 10);
  servicetest::WriteFile(picture, bytes);
  std::string answer;
  ASSERT_TRUE(transport.UploadFile(server.Origin() + "/up", picture.string(), answer));
  EXPECT_EQ(answer, R"({"code":200})");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_EQ(requests[0].files.size(), 1u);
  const auto& part = requests[0].files.begin()->second;
  EXPECT_EQ(part.name, "file");
  EXPECT_EQ(part.filename, "head.png");
  EXPECT_EQ(part.content_type, "multipart/form-data");
  EXPECT_EQ(part.content, bytes);
}

TEST_F(HttpTransportTest, UploadOfAMissingFileFailsWithOneLine) {
  LoopbackServer server;
  std::string answer;
  const std::string url = server.Origin() + "/up";
  EXPECT_FALSE(transport.UploadFile(url, (m_root / "nothing.png").string(), answer));
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].starts_with(url + " curl ret:")) << errors[0];
  EXPECT_NE(errors[0], url + " curl ret:0");
}

TEST_F(HttpTransportTest, LoggedUrlsNeverCarryTheToken) {
  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  SetSessionToken("s3cret-token");
  const auto picture = m_root / "head.png";
  servicetest::WriteFile(picture, "x");
  EXPECT_EQ(ModifyPersonHead(picture.string()), "");
  const auto errors = ErrorLines();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("/api/user/changeAvatar?token=*** curl ret:7"), std::string::npos) << errors[0];
  EXPECT_EQ(errors[0].find("s3cret"), std::string::npos);
}

TEST_F(HttpTransportTest, VerboseTraceShowsTheExchangeWithoutTheToken) {
  LoopbackServer server;
  server.SetAnswer(200, "traced-answer");
  SetApiOrigin(server.Origin());
  SetSessionToken("s3cret-token");
  transport.SetVerbose(true);
  ::testing::internal::CaptureStderr();
  const std::string answer = GetMyCourse();
  const std::string trace = ::testing::internal::GetCapturedStderr();
  transport.SetVerbose(false);
  EXPECT_EQ(answer, "traced-answer");
  EXPECT_NE(trace.find("[HEADER_OUT]POST /api/user/myCourse HTTP/1.1"), std::string::npos) << trace;
  EXPECT_NE(trace.find("[DATA_OUT]token=***"), std::string::npos) << trace;
  EXPECT_NE(trace.find("[DATA_IN]traced-answer"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("s3cret"), std::string::npos) << trace;
}

TEST(MaskTokensTest, ReplacesEveryTokenValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"https://h/a?token=abc", "https://h/a?token=***"},
      {"https://h/a?vid=1&token=abc&x=2", "https://h/a?vid=1&token=***&x=2"},
      {"https://h/a?token=&token=b", "https://h/a?token=***&token=***"},
      {"https://h/a?mytoken=abc", "https://h/a?mytoken=abc"},
      {"https://h/a?token=abc#frag", "https://h/a?token=***#frag"},
      {"https://h/token=abc", "https://h/token=abc"},
      {"POST /a?token=abc HTTP/1.1\r\nHost: h", "POST /a?token=*** HTTP/1.1\r\nHost: h"},
  };
  for (const auto& [url, expected] : cases) EXPECT_EQ(MaskTokens(url), expected) << url;
}

TEST(AppendToStringTest, RefusesANullBufferAndAnAnswerPastTheCap) {
  char data[] = "abc";
  std::string answer = "x";
  EXPECT_EQ(HttpTransport::AppendToString(data, 1, 3, &answer), 3u);
  EXPECT_EQ(answer, "xabc");
  std::string full(kMaxAnswerBytes - 2, ' ');
  EXPECT_EQ(HttpTransport::AppendToString(data, 1, 3, &full), 0u);
  EXPECT_EQ(full.size(), kMaxAnswerBytes - 2);
  EXPECT_EQ(HttpTransport::AppendToString(data, 1, 2, &full), 2u);
  EXPECT_EQ(HttpTransport::AppendToString(data, 1, 3, nullptr), static_cast<size_t>(-1));
  EXPECT_EQ(HttpTransport::AppendToString(nullptr, 1, 3, &answer), static_cast<size_t>(-1));
}

// A test CA, a server certificate for 127.0.0.1 and one for another host, made once.
class HttpsTransportTest : public TempHomeTest {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/tavo-service-pki-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    s_pki = pattern;
    const std::string d = s_pki.string();
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
    RunCommand("cd '" + d + "' && openssl req -x509" + ec +
               "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Tavo Test CA' "
               "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign "
               "2>/dev/null");
    for (const std::string name : {"good", "wronghost"}) {
      const std::string san = name == "good" ? "IP:127.0.0.1,DNS:localhost" : "DNS:wrong.example";
      servicetest::WriteFile(s_pki / (name + ".ext"), "subjectAltName=" + san + "\n");
      RunCommand("cd '" + d + "' && openssl req" + ec + "-keyout " + name + ".key -out " + name +
                 ".csr -subj '/CN=" + name + "' 2>/dev/null && openssl x509 -req -in " + name +
                 ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile " + name + ".ext -out " +
                 name + ".pem 2>/dev/null");
    }
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    std::filesystem::remove_all(s_pki, ignored);
  }
  static std::string Pki(const std::string& file) { return (s_pki / file).string(); }

  static inline std::filesystem::path s_pki;
};

TEST_F(HttpsTransportTest, CertificateAndHostNameAreVerified) {
  const struct {
    const char* name;
    const char* serverCert;
    bool trustTestCa;
    bool accepted;
  } cases[] = {
      {"test CA trusted, right host", "good", true, true},
      {"test CA not trusted", "good", false, false},
      {"trusted CA but another host's certificate", "wronghost", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackServer server(Pki(std::string(c.serverCert) + ".pem"), Pki(std::string(c.serverCert) + ".key"));
    server.SetAnswer(200, "secure");
    SetExtraCaFile(c.trustTestCa ? Pki("ca.pem") : "");
    const std::string url = server.Origin() + "/api/x";
    const size_t errorsBefore = ErrorLines().size();
    std::string answer;
    EXPECT_EQ(HttpTransport::Instance().Post(url, "a=1", answer), c.accepted);
    EXPECT_EQ(answer, c.accepted ? "secure" : "");
    EXPECT_EQ(server.Requests().size(), c.accepted ? 1u : 0u);
    const auto errors = ErrorLines();
    if (c.accepted) {
      EXPECT_EQ(errors.size(), errorsBefore);
    } else {
      ASSERT_EQ(errors.size(), errorsBefore + 1);
      EXPECT_EQ(errors.back(), url + " curl ret:60");
    }
  }
}

}  // namespace
