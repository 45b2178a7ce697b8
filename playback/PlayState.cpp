#include "playback/PlayState.h"

#include <rapidjson/document.h>

#include <cmath>
#include <cstring>
#include <string>

#include "app/TextConv.h"

namespace {

struct NamedState {
  const char* name;
  PlayState state;
};
constexpr NamedState kStates[] = {
    {"playing", PlayState::Playing}, {"paused", PlayState::Paused},   {"stalled", PlayState::Stalled},
    {"ended", PlayState::Ended},     {"stopped", PlayState::Stopped},
};

bool ParseObject(std::wstring_view params, rapidjson::Document& doc) {
  std::string text = WideToUtf8(params);
  doc.Parse(text.c_str(), text.size());
  return !doc.HasParseError() && doc.IsObject();
}

double NumberMember(const rapidjson::Document& doc, const char* name, double otherwise) {
  auto it = doc.FindMember(name);
  if (it == doc.MemberEnd() || !it->value.IsNumber()) return otherwise;
  double value = it->value.GetDouble();
  return std::isfinite(value) && value >= 0 ? value : otherwise;
}

}  // namespace

const char* PlayStateName(PlayState state) {
  for (const NamedState& named : kStates) {
    if (named.state == state) return named.name;
  }
  return "stopped";
}

std::optional<PlayStateReport> ParsePlayState(std::wstring_view params) {
  rapidjson::Document doc;
  if (!ParseObject(params, doc)) return std::nullopt;
  auto it = doc.FindMember("state");
  if (it == doc.MemberEnd() || !it->value.IsString()) return std::nullopt;
  PlayStateReport report;
  bool known = false;
  for (const NamedState& named : kStates) {
    if (std::strcmp(it->value.GetString(), named.name) == 0) {
      report.state = named.state;
      known = true;
    }
  }
  if (!known) return std::nullopt;
  report.seconds = NumberMember(doc, "time", 0);
  report.duration = NumberMember(doc, "duration", 0);
  report.rate = NumberMember(doc, "rate", 1);
  if (report.rate == 0) report.rate = 1;
  return report;
}

bool IsOfferedPlaybackRate(double rate) {
  if (!std::isfinite(rate) || rate < kMinPlaybackRate || rate > kMaxPlaybackRate) return false;
  const double quarters = rate * 4;
  return std::fabs(quarters - std::round(quarters)) < 1e-9;
}

std::optional<double> ParsePlaybackRate(std::wstring_view params) {
  rapidjson::Document doc;
  if (!ParseObject(params, doc)) return std::nullopt;
  auto it = doc.FindMember("rate");
  if (it == doc.MemberEnd() || !it->value.IsNumber()) return std::nullopt;
  const double rate = it->value.GetDouble();
  if (!IsOfferedPlaybackRate(rate)) return std::nullopt;
  return rate;
}
