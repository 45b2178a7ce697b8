#include "playback/PlaybackPrefs.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "playback/PlayState.h"

namespace {
constexpr int kDefaultReconnectMs = 30000;
constexpr int kMinReconnectMs = 1000;
constexpr int kMaxReconnectMs = 600000;
}  // namespace

std::wstring PlaybackRateValueName(const std::string& account) {
  return account.empty() ? L"playbackRate" : L"playbackRate." + AnsiToWide(account);
}

double LoadPlaybackRate() {
  std::wstring text;
  if (ReadRegString(PlaybackRateValueName(GetSignedInAccount()), text) != 0 || text.empty()) return 1;
  const std::string narrow = WideToUtf8(text);
  double rate = 0;
  auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), rate);
  if (error != std::errc() || end != narrow.data() + narrow.size() || !IsOfferedPlaybackRate(rate)) {
    LogError(L"kept playback rate ignored: " + text + L"\n");
    return 1;
  }
  return rate;
}

bool StorePlaybackRate(double rate) {
  if (!IsOfferedPlaybackRate(rate)) return false;
  char text[16];
  auto [end, error] = std::to_chars(text, text + sizeof text, rate);
  if (error != std::errc()) return false;
  return WriteRegString(PlaybackRateValueName(GetSignedInAccount()), Utf8ToWide(std::string(text, end))) == 0;
}

int PlayerReconnectMs() {
  const char* text = std::getenv("TAVO_PLAYER_RECONNECT_MS");
  if (!text || !*text) return kDefaultReconnectMs;
  int value = 0;
  auto [end, error] = std::from_chars(text, text + std::strlen(text), value);
  if (error != std::errc() || *end != '\0' || value < kMinReconnectMs || value > kMaxReconnectMs) {
    return kDefaultReconnectMs;
  }
  return value;
}
