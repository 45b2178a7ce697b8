// The command line of the executable: the process role and the start-up options.
#pragma once

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

constexpr int kDefaultWebPort = 8501;

// The role of this process, decided from the "type" switch alone.
enum class ProcessRole { Browser, Renderer, Other };

struct StartupOptions {
  std::optional<std::string> type;  // the --type switch's value; none for the browser process
  bool demo = false;                // --demo: start and use the embedded demo school
  // Each from its switch, else from its environment variable; none means the built-in default.
  std::optional<std::string> apiOrigin;   // --api-origin= / TAVO_API_ORIGIN
  std::optional<std::string> siteOrigin;  // --site-origin= / TAVO_SITE_ORIGIN
  std::optional<std::string> caFile;      // --ca-file= / TAVO_CA_FILE
  int webPort = kDefaultWebPort;          // --web-port= / TAVO_WEB_PORT; 0 picks a free port
  bool crashForTest = false;              // --crash-for-test: fault after the crash handler is in
  bool searchProvider = false;            // --search-provider: serve the desktop's search, no windows
  // One text per malformed value (ignored); written to the log once it is open.
  std::vector<std::string> problems;
};

using EnvironmentReader = std::function<const char*(const char* name)>;

// Reads switches of the form --name or --name=value; unknown switches and other
// arguments are left alone (the toolkit and the engine may have their own).
StartupOptions ParseCommandLine(
    int argc, const char* const* argv,
    const EnvironmentReader& getenv = [](const char* n) { return std::getenv(n); });

ProcessRole RoleOf(const StartupOptions& options);
