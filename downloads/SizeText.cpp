// Size texts with whole units.
#include "downloads/SizeText.h"

namespace {

struct Amount {
  std::int64_t value;
  const wchar_t* unit;
};

Amount InUnit(std::int64_t bytes) {
  constexpr std::int64_t kKB = 1024;
  constexpr std::int64_t kMB = kKB * 1024;
  constexpr std::int64_t kGB = kMB * 1024;
  constexpr std::int64_t kTB = kGB * 1024;
  if (bytes >= kTB) return {bytes / kTB, L"TB"};
  if (bytes >= kGB) return {bytes / kGB, L"GB"};
  if (bytes >= kMB) return {bytes / kMB, L"MB"};
  if (bytes >= kKB) return {bytes / kKB, L"KB"};
  return {1, L"KB"};
}

}  // namespace

std::wstring SizeText(std::int64_t bytes) {
  const Amount a = InUnit(bytes);
  return std::to_wstring(a.value) + a.unit;
}

std::wstring ProgressSizeText(std::int64_t totalBytes, int percent) {
  const Amount a = InUnit(totalBytes);
  const std::int64_t done = static_cast<std::int64_t>(percent) * a.value / 100;
  return std::to_wstring(done) + a.unit + L"/" + std::to_wstring(a.value) + a.unit;
}
