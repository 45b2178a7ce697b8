// Process-wide service configuration, read lazily from the environment.
#include "service/ServiceConfig.h"

#include <cstdlib>
#include <mutex>
#include <optional>

namespace {

constexpr const char* kDefaultApiOrigin = "https://api.tavo-school.com";
constexpr const char* kDefaultSiteOrigin = "https://www.tavo-school.com";

std::mutex gConfigMutex;
std::optional<std::string> gApiOrigin;
std::optional<std::string> gSiteOrigin;
std::optional<std::string> gCaFile;

// A trailing "/" would double the slash in front of every endpoint path.
std::string TrimOrigin(std::string origin) {
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin;
}

std::string Resolve(std::optional<std::string>& slot, const char* envName, const char* fallback,
                    bool isOrigin) {
  std::lock_guard lock(gConfigMutex);
  if (!slot) {
    const char* value = std::getenv(envName);
    std::string text = (value != nullptr && *value != '\0') ? value : fallback;
    slot = isOrigin ? TrimOrigin(std::move(text)) : std::move(text);
  }
  return *slot;
}

void Assign(std::optional<std::string>& slot, std::string value) {
  std::lock_guard lock(gConfigMutex);
  slot = std::move(value);
}

}  // namespace

std::string GetApiOrigin() { return Resolve(gApiOrigin, "TAVO_API_ORIGIN", kDefaultApiOrigin, true); }
void SetApiOrigin(const std::string& origin) { Assign(gApiOrigin, TrimOrigin(origin)); }

std::string GetSiteOrigin() { return Resolve(gSiteOrigin, "TAVO_SITE_ORIGIN", kDefaultSiteOrigin, true); }
void SetSiteOrigin(const std::string& origin) { Assign(gSiteOrigin, TrimOrigin(origin)); }

std::string GetExtraCaFile() { return Resolve(gCaFile, "TAVO_CA_FILE", "", false); }
void SetExtraCaFile(const std::string& path) { Assign(gCaFile, path); }

bool ApplyServiceOption(std::string_view argument) {
  const struct {
    std::string_view prefix;
    void (*set)(const std::string&);
  } options[] = {
      {"--api-origin=", SetApiOrigin}, {"--site-origin=", SetSiteOrigin}, {"--ca-file=", SetExtraCaFile}};
  for (const auto& option : options) {
    if (argument.starts_with(option.prefix)) {
      option.set(std::string(argument.substr(option.prefix.size())));
      return true;
    }
  }
  return false;
}
