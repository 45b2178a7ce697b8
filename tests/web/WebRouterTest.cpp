// The local web server over real TCP connections: whole answers compared byte for byte, and
// hostile requests that must neither stop the server nor leave connections behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "WebTestSupport.h"
#include "web/LocalMediaShares.h"
#include "web/WebRouter.h"

namespace {

const char* const kShortKernelFile = "/sys/kernel/mm/transparent_hugepage/enabled";

// The port the suite's server listens on, for the Host header it asks for.
int g_port = 0;

std::string HostLine() { return "Host: 127.0.0.1:" + std::to_string(g_port) + "\r\n"; }

// The request's last lines: this server's Host, and a close after the answer.
std::string LastLines() { return HostLine() + "Connection: close\r\n\r\n"; }

std::string Get(const std::string& target, const std::string& method = "GET") {
  return method + " " + target + " HTTP/1.1\r\n" + LastLines();
}

// An answer without its body, as a HEAD request gets it.
std::string Head(const std::string& answer) { return answer.substr(0, answer.find("\r\n\r\n") + 4); }

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class WebRouterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_root = new TempFolder;
    s_folder = s_root->path() + "/htmllocal";
    const TempFolder& root = *s_root;
    root.Write("secret.txt", "outside the content folder\n");
    root.Write("htmllocal/index.html", "<!doctype html><title>t</title>\n");
    root.Write("htmllocal/a/b.css", "body{color:red}\n");
    root.Write("htmllocal/UPPER.HTML", "<p>upper</p>");
    root.Write("htmllocal/noext", "no extension");
    root.Write("htmllocal/v.d/file", "dot in the folder only");
    std::string big(3 * WebRouter::kWholeFileLimit + 7, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
    root.Write("htmllocal/big.bin", big);
    root.Write("htmllocal/limit.bin", std::string(WebRouter::kWholeFileLimit, 'l'));
    std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    for (const auto& [ext, type] : Types())
      root.Write("htmllocal/t." + ext, ext == "png" ? binary : "t." + ext);
    ::mkfifo((s_folder + "/pipe.js").c_str(), 0600);
    s_router = new WebRouter(s_folder);
    s_server = new LoopServer([](native::http::request& request, native::http::response& response) {
      s_router->Handle(request, response);
    });
    g_port = s_server->port();
  }
  static void TearDownTestSuite() {
    delete s_server;
    delete s_router;
    delete s_root;
  }
  void TearDown() override {
    // Every connection of a case is over; the server must have let go of all of them.
    EXPECT_TRUE(s_server->WaitForNoConnections());
  }

  static std::vector<std::pair<std::string, std::string>> Types() {
    return {{"html", "text/html"},
            {"js", "application/javascript"},
            {"css", "text/css"},
            {"png", "image/png"},
            {"jpg", "image/jpeg"},
            {"pdf", "application/pdf"},
            {"json", "application/json"},
            {"woff", "application/x-font-woff"},
            {"woff2", "application/x-font-woff"},
            {"svg", "image/svg+xml"},
            {"htm", "text/plain"},
            {"jpeg", "text/plain"},
            {"ico", "text/plain"},
            {"gif", "text/plain"}};
  }
  static std::string NotFound(const std::string& urlPath) {
    return Answer(404, "text/plain", "Not found. URL=" + urlPath);
  }
  static std::string File(const std::string& relative, const std::string& type) {
    return FileAnswer(type, ReadWhole(s_folder + "/" + relative));
  }

  static inline TempFolder* s_root = nullptr;
  static inline std::string s_folder;
  static inline WebRouter* s_router = nullptr;
  static inline LoopServer* s_server = nullptr;
};

struct Case {
  std::string name;
  std::vector<std::string> pieces;
  std::string expected;
  Ending ending = Ending::kRead;
};

void RunCases(int port, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Talk(port, c.pieces, c.ending), c.expected);
  }
}

TEST_F(WebRouterTest, AnswersByteForByte) {
  const std::string index = File("index.html", "text/html");
  const std::string css = File("a/b.css", "text/css");
  std::vector<Case> cases = {
      {"root: fixed text, Content-Length before Content-Type",
       {Get("/")},
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 18\r\nContent-Type: text/plain\r\n\r\nThis "
       "is the index!"},
      {"root with a query", {Get("/?v=2")}, Answer(200, "text/plain", "This is the index!")},
      {"missing file: the request path in the body", {Get("/x.js")}, NotFound("/x.js")},
      {"file in a subfolder", {Get("/a/b.css")}, css},
      {"query string ignored", {Get("/index.html?v=2")}, index},
      {"fragment ignored", {Get("/index.html#top")}, index},
      {"absolute-form target", {Get("http://127.0.0.1/a/b.css")}, css},
      {"upper-case extension is plain text", {Get("/UPPER.HTML")}, File("UPPER.HTML", "text/plain")},
      {"no extension is plain text", {Get("/noext")}, File("noext", "text/plain")},
      {"a dot only in the folder name", {Get("/v.d/file")}, File("v.d/file", "text/plain")},
      {"POST answered like GET",
       {"POST /index.html HTTP/1.1\r\n" + HostLine() +
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Connection: close\r\nContent-Length: 7\r\n\r\na=1&b=2"},
       index},
      {"HEAD: the headers of GET without the body", {Get("/a/b.css", "HEAD")}, Head(css)},
      {"HEAD of a file sent in pieces", {Get("/big.bin", "HEAD")}, Head(File("big.bin", "text/plain"))},
      {"HEAD of a missing file", {Get("/x.js", "HEAD")}, Head(NotFound("/x.js"))},
      {"HEAD of the root", {Get("/", "HEAD")}, Head(Answer(200, "text/plain", "This is the index!"))},
      {"a request after one that asked to close is not answered",
       {Get("/a/b.css") + Get("/index.html")},
       css},
      {"half-close after the request", {Get("/index.html")}, index, Ending::kHalfClose},
      {"header split across reads",
       {"GET /index.html HTTP/1.1\r\nHo", "st: 127.0.0.1:" + std::to_string(g_port) + "\r\nAcc",
        "ept: */*\r\n", "Connection: close\r\n\r\n"},
       index},
      {"URL split across reads", {"GET /a/b", ".css?v", "=1 HTTP/1.1\r\n" + LastLines()}, css},
      {"request line split before the version", {"GET /index.html", " HTTP/1.1\r\n" + LastLines()}, index},
      {"folder is not a file", {Get("/a")}, NotFound("/a")},
      {"FIFO is not read", {Get("/pipe.js")}, NotFound("/pipe.js")},
      {"file at the whole-file limit", {Get("/limit.bin")}, File("limit.bin", "text/plain")},
      {"file over it, sent in pieces", {Get("/big.bin")}, File("big.bin", "text/plain")},
      {"file sent in pieces to a client that half-closed",
       {Get("/big.bin")},
       File("big.bin", "text/plain"),
       Ending::kHalfClose},
      {"malformed request line: 400", {"GARBAGE\r\n\r\n"}, Answer(400, "text/plain", "Bad Request")},
  };
  for (const auto& [ext, type] : Types())
    cases.push_back({"type of ." + ext, {Get("/t." + ext)}, File("t." + ext, type)});
  RunCases(s_server->port(), cases);
}

TEST_F(WebRouterTest, RefusesPathsLeavingTheFolderWithoutReading) {
  std::vector<Case> cases;
  for (const std::string path :
       {"/../secret.txt", "/a/../../secret.txt", "/..", "/%2e%2e/secret.txt", "/%2E%2E/secret.txt",
        "/.%2e/secret.txt", "/%2e%2e%2fsecret.txt", "/a/%2e%2e/%2e%2e/secret.txt", "/a/..%2F..%2Fsecret.txt",
        "/index.html%00.png"}) {
    cases.push_back({path, {Get(path)}, NotFound(path)});
  }
  RunCases(s_server->port(), cases);
}

TEST_F(WebRouterTest, FileShorterThanItsSizeIsAnsweredWithWhatWasRead) {
  struct stat info {};
  if (::stat(kShortKernelFile, &info) != 0) GTEST_SKIP() << kShortKernelFile << " is missing";
  const std::string content = ReadWhole(kShortKernelFile);
  ASSERT_LT(content.size(), static_cast<std::size_t>(info.st_size))
      << "the fixture must claim more than it holds";
  // Served from its own folder: a link to it from the content folder would be refused.
  const std::filesystem::path kernelFile(kShortKernelFile);
  WebRouter router(kernelFile.parent_path().string());
  LoopServer server([&router](native::http::request& request, native::http::response& response) {
    router.Handle(request, response);
  });
  const std::string get = "GET /" + kernelFile.filename().string() +
                          " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                          "\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(Talk(server.port(), {get}), FileAnswer("text/plain", content));
}

// A downloaded video outside the content folder is served only under the address it was lent
// at, whole or by range, and not once it was taken back; no other address under the prefix
// reaches it or anything else.
TEST_F(WebRouterTest, ALentVideoIsServedOnlyUnderItsAddressWhileLent) {
  TempFolder downloads;
  std::string video(2 * WebRouter::kWholeFileLimit + 11, '\0');
  for (std::size_t i = 0; i < video.size(); ++i) video[i] = static_cast<char>(i % 251);
  downloads.Write("第一课 导论.MP4", video);
  LocalMediaShares shares;
  WebRouter router(s_folder, &shares);
  LoopServer server([&router](native::http::request& request, native::http::response& response) {
    router.Handle(request, response);
  });
  auto get = [&](const std::string& target, const std::string& extra = {}) {
    return Talk(server.port(), {GetRequest(server.port(), target, extra)});
  };
  const std::string address = shares.Share(downloads.path() + "/第一课 导论.MP4");
  ASSERT_TRUE(address.starts_with("/local-media/")) << address;
  EXPECT_TRUE(address.ends_with(".mp4")) << "the name leaked into the address: " << address;
  EXPECT_NE(shares.Share(downloads.path() + "/第一课 导论.MP4"), address) << "a lent address can be guessed";

  EXPECT_EQ(get(address), FileAnswer("video/mp4", video));
  const std::string part = get(address, "Range: bytes=100-199\r\n");
  EXPECT_EQ(part.rfind("HTTP/1.1 206 ", 0), 0u) << part.substr(0, 200);
  EXPECT_NE(part.find("Content-Range: bytes 100-199/" + std::to_string(video.size())), std::string::npos);
  EXPECT_TRUE(part.ends_with("\r\n\r\n" + video.substr(100, 100)));

  const std::string token = address.substr(std::string("/local-media/").size());
  for (const std::string& other : std::vector<std::string>{"/local-media/", "/local-media/" + token.substr(1), address + "x", "/local-media/../index.html",
        "/local-media/" + token + "/../../secret.txt"}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(get(other).rfind("HTTP/1.1 404 ", 0), 0u);
  }
  shares.Unshare(address);
  EXPECT_EQ(get(address), NotFound(address));
}

TEST_F(WebRouterTest, HostileRequestsNeverStopTheServer) {
  const std::string badRequest = Answer(400, "text/plain", "Bad Request");
  std::string noise;
  for (int i = 0; i < 256; ++i) noise.push_back(static_cast<char>(i));
  std::vector<Case> cases = {
      {"unknown method", {"BREW /index.html HTTP/1.1\r\n\r\n"}, badRequest},
      {"URL with a port out of range", {Get("http://a:99999/")}, badRequest},
      {"NUL in the request line", {std::string("GET /a\0b HTTP/1.1\r\n\r\n", 22)}, badRequest},
      {"binary noise", {noise}, badRequest},
      {"bad version", {"GET /index.html HTTP/x.1\r\n\r\n"}, badRequest},
      {"control byte in a header name", {"GET / HTTP/1.1\r\nBad\x01Header: 1\r\n\r\n"}, badRequest},
      {"bare LF after the request line", {"GET / HTTP/1.1\nHost\r\r\n\r\n"}, badRequest},
      {"two Content-Length headers",
       {"POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"},
       badRequest},
      {"Content-Length overflow",
       {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"},
       badRequest},
      {"bad chunk size", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nZZ\r\n"}, badRequest},
      {"header larger than the parser allows",
       {"GET / HTTP/1.1\r\nX: " + std::string(90 * 1024, 'a') + "\r\n\r\n"},
       badRequest,
       Ending::kHalfClose},
      {"closed in the middle of the headers", {"GET /index.html HTTP/1.1\r\nHos"}, "", Ending::kHalfClose},
      {"closed in the middle of the body",
       {"POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc"},
       "",
       Ending::kHalfClose},
      {"only empty lines", {"\r\n\r\n\r\n"}, "", Ending::kHalfClose},
      {"nothing sent", {}, "", Ending::kHalfClose},
      {"gone before the answer", {"GET /index.html HTTP/1.1\r\nHost: x"}, "", Ending::kClose},
      {"reset before the answer", {"GET /index.html HTTP/1.1\r\nHost: x"}, "", Ending::kReset},
      {"reset right after a whole request", {Get("/index.html")}, "", Ending::kReset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Talk(s_server->port(), c.pieces, c.ending), c.expected);
    EXPECT_TRUE(s_server->WaitForNoConnections());
    EXPECT_EQ(Talk(s_server->port(), {Get("/")}), Answer(200, "text/plain", "This is the index!"));
  }
}

}  // namespace
