// Role decision and start-up options from the command line and the environment.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/main/CommandLine.h"

namespace {

struct Case {
  const char* name;
  std::vector<const char*> args;  // without the program name
  std::map<std::string, std::string> env;
  ProcessRole role = ProcessRole::Browser;
  std::optional<std::string> apiOrigin = std::nullopt;
  std::optional<std::string> siteOrigin = std::nullopt;
  std::optional<std::string> caFile = std::nullopt;
  int webPort = kDefaultWebPort;
  bool demo = false;
  size_t problems = 0;
};

StartupOptions Parse(const Case& c) {
  std::vector<const char*> argv{"tavo"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), [&](const char* name) -> const char* {
    auto it = c.env.find(name);
    return it == c.env.end() ? nullptr : it->second.c_str();
  });
}

const Case kCases[] = {
    {.name = "nothing is the browser process", .args = {}, .env = {}},
    {.name = "renderer", .args = {"--type=renderer"}, .env = {}, .role = ProcessRole::Renderer},
    {.name = "other helper", .args = {"--type=gpu-process"}, .env = {}, .role = ProcessRole::Other},
    {.name = "empty type is a helper", .args = {"--type="}, .env = {}, .role = ProcessRole::Other},
    {.name = "bare type is a helper", .args = {"--type"}, .env = {}, .role = ProcessRole::Other},
    {.name = "type after -- is an argument", .args = {"--", "--type=renderer"}, .env = {}},
    {.name = "single dash is not a switch", .args = {"-type=renderer"}, .env = {}},
    {.name = "unknown switches and arguments are left alone",
     .args = {"--g-fatal-warnings", "file.txt", "--display=:1"},
     .env = {}},
    {.name = "demo", .args = {"--demo"}, .env = {}, .demo = true},
    {.name = "origins and ca file from switches",
     .args = {"--api-origin=https://api.example:8443/", "--site-origin=http://127.0.0.1:9000",
              "--ca-file=/tmp/ca.pem"},
     .env = {},
     .apiOrigin = "https://api.example:8443",
     .siteOrigin = "http://127.0.0.1:9000",
     .caFile = "/tmp/ca.pem"},
    {.name = "environment fills in",
     .args = {},
     .env = {{"TAVO_API_ORIGIN", "https://env.example"},
             {"TAVO_CA_FILE", "/e/ca.pem"},
             {"TAVO_WEB_PORT", "9000"}},
     .apiOrigin = "https://env.example",
     .caFile = "/e/ca.pem",
     .webPort = 9000},
    {.name = "switch beats environment",
     .args = {"--api-origin=https://cli.example", "--web-port=0"},
     .env = {{"TAVO_API_ORIGIN", "https://env.example"}, {"TAVO_WEB_PORT", "9000"}},
     .apiOrigin = "https://cli.example",
     .webPort = 0},
    {.name = "empty environment value is no value", .args = {}, .env = {{"TAVO_API_ORIGIN", ""}}},
    {.name = "highest port", .args = {"--web-port=65535"}, .env = {}, .webPort = 65535},
    // Malformed values are reported and ignored, never half-used.
    {.name = "port too big", .args = {"--web-port=65536"}, .env = {}, .problems = 1},
    {.name = "negative port", .args = {"--web-port=-1"}, .env = {}, .problems = 1},
    {.name = "port with junk", .args = {"--web-port=80x"}, .env = {}, .problems = 1},
    {.name = "empty port", .args = {"--web-port="}, .env = {}, .problems = 1},
    {.name = "bad port from environment", .args = {}, .env = {{"TAVO_WEB_PORT", "http"}}, .problems = 1},
    {.name = "switch without value", .args = {"--api-origin"}, .env = {}, .problems = 1},
    {.name = "bad switch does not fall back to environment",
     .args = {"--site-origin=ftp://x.example"},
     .env = {{"TAVO_SITE_ORIGIN", "https://env.example"}},
     .problems = 1},
    {.name = "origin without scheme", .args = {"--api-origin=api.example"}, .env = {}, .problems = 1},
    {.name = "origin without host", .args = {"--api-origin=https://"}, .env = {}, .problems = 1},
    {.name = "origin with a path", .args = {"--api-origin=https://a.example/api"}, .env = {}, .problems = 1},
    {.name = "origin with user info",
     .args = {"--api-origin=https://u@evil.example"},
     .env = {},
     .problems = 1},
    {.name = "origin with a space", .args = {"--api-origin=https://a example"}, .env = {}, .problems = 1},
    {.name = "origin with a line break",
     .args = {"--api-origin=https://a.example\r\nX: y"},
     .env = {},
     .problems = 1},
    {.name = "empty ca file", .args = {"--ca-file="}, .env = {}, .problems = 1},
};

TEST(CommandLine, Cases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartupOptions options = Parse(c);
    EXPECT_EQ(RoleOf(options), c.role);
    EXPECT_EQ(options.apiOrigin, c.apiOrigin);
    EXPECT_EQ(options.siteOrigin, c.siteOrigin);
    EXPECT_EQ(options.caFile, c.caFile);
    EXPECT_EQ(options.webPort, c.webPort);
    EXPECT_EQ(options.demo, c.demo);
    EXPECT_EQ(options.problems.size(), c.problems);
  }
}

TEST(CommandLine, ProblemNamesTheSourceAndTheValue) {
  Case c{.name = "", .args = {}, .env = {{"TAVO_WEB_PORT", "eighty"}}};
  StartupOptions options = Parse(c);
  ASSERT_EQ(options.problems.size(), 1u);
  EXPECT_NE(options.problems[0].find("TAVO_WEB_PORT"), std::string::npos);
  EXPECT_NE(options.problems[0].find("eighty"), std::string::npos);
}

}  // namespace
