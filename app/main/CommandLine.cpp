// Command-line and environment parsing for start-up.
#include "app/main/CommandLine.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

enum class Source { CommandLine, Environment };

struct RawValue {
  std::string text;
  Source source;
};

bool HasControlOrSpace(std::string_view text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7F) {
      return true;
    }
  }
  return false;
}

// An origin is "http(s)://host[:port]" with nothing after it but optional "/"s.
std::optional<std::string> CheckOrigin(std::string text) {
  while (!text.empty() && text.back() == '/') {
    text.pop_back();
  }
  std::string_view view = text;
  std::size_t schemeEnd = view.find("://");
  if (schemeEnd == std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view scheme = view.substr(0, schemeEnd);
  std::string_view rest = view.substr(schemeEnd + 3);
  if (scheme != "http" && scheme != "https") {
    return std::nullopt;
  }
  if (rest.empty() || HasControlOrSpace(rest) || rest.find_first_of("/?#@") != std::string_view::npos) {
    return std::nullopt;
  }
  return text;
}

std::optional<int> CheckPort(std::string_view text) {
  int port = -1;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535) {
    return std::nullopt;
  }
  return port;
}

std::string Describe(const char* switchName, const char* envName, const RawValue& value) {
  std::string where = value.source == Source::CommandLine ? std::string("--") + switchName : envName;
  return where + ": ignored malformed value \"" + value.text + "\"";
}

}  // namespace

StartupOptions ParseCommandLine(int argc, const char* const* argv, const EnvironmentReader& getenv) {
  StartupOptions options;
  std::optional<RawValue> apiOrigin, siteOrigin, caFile, webPort;

  for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--") {
      break;
    }
    if (arg.size() < 3 || arg.substr(0, 2) != "--") {
      continue;
    }
    std::string_view body = arg.substr(2);
    std::size_t equals = body.find('=');
    std::string_view name = body.substr(0, equals);
    std::optional<std::string> value;
    if (equals != std::string_view::npos) {
      value = std::string(body.substr(equals + 1));
    }

    auto take = [&](std::optional<RawValue>& slot) {
      if (value) {
        slot = RawValue{*value, Source::CommandLine};
      } else {
        options.problems.push_back("--" + std::string(name) + ": needs a value (--" + std::string(name) +
                                   "=...)");
      }
    };
    if (name == "type") {
      options.type = value.value_or("");
    } else if (name == "demo") {
      options.demo = true;
    } else if (name == "crash-for-test") {
      options.crashForTest = true;
    } else if (name == "search-provider") {
      options.searchProvider = true;
    } else if (name == "api-origin") {
      take(apiOrigin);
    } else if (name == "site-origin") {
      take(siteOrigin);
    } else if (name == "ca-file") {
      take(caFile);
    } else if (name == "web-port") {
      take(webPort);
    }
  }

  // The environment fills in what the command line did not give.
  auto fromEnvironment = [&](std::optional<RawValue>& slot, const char* envName) {
    if (slot) {
      return;
    }
    const char* text = getenv(envName);
    if (text != nullptr && *text != '\0') {
      slot = RawValue{text, Source::Environment};
    }
  };
  fromEnvironment(apiOrigin, "TAVO_API_ORIGIN");
  fromEnvironment(siteOrigin, "TAVO_SITE_ORIGIN");
  fromEnvironment(caFile, "TAVO_CA_FILE");
  fromEnvironment(webPort, "TAVO_WEB_PORT");

  auto origin = [&](const std::optional<RawValue>& raw, const char* switchName, const char* envName) {
    std::optional<std::string> checked;
    if (raw && !(checked = CheckOrigin(raw->text))) {
      options.problems.push_back(Describe(switchName, envName, *raw));
    }
    return checked;
  };
  options.apiOrigin = origin(apiOrigin, "api-origin", "TAVO_API_ORIGIN");
  options.siteOrigin = origin(siteOrigin, "site-origin", "TAVO_SITE_ORIGIN");
  if (caFile) {
    if (caFile->text.empty() || caFile->text.find('\0') != std::string::npos) {
      options.problems.push_back(Describe("ca-file", "TAVO_CA_FILE", *caFile));
    } else {
      options.caFile = caFile->text;
    }
  }
  if (webPort) {
    if (std::optional<int> port = CheckPort(webPort->text)) {
      options.webPort = *port;
    } else {
      options.problems.push_back(Describe("web-port", "TAVO_WEB_PORT", *webPort));
    }
  }
  return options;
}

ProcessRole RoleOf(const StartupOptions& options) {
  if (!options.type) {
    return ProcessRole::Browser;
  }
  return *options.type == "renderer" ? ProcessRole::Renderer : ProcessRole::Other;
}
