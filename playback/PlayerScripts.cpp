#include "playback/PlayerScripts.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "app/TextConv.h"

std::wstring JsQuoted(std::string_view text) {
  std::wstring in = Utf8ToWide(text);
  std::wstring out;
  out.reserve(in.size());
  for (wchar_t c : in) {
    switch (c) {
      case L'\\':
        out += L"\\\\";
        break;
      case L'\'':
        out += L"\\'";
        break;
      case L'"':
        out += L"\\\"";
        break;
      case L'<':  // no "</script>" or "<!--" can form
        out += L"\\x3c";
        break;
      default:
        if (c < 0x20 || c == 0x2028 || c == 0x2029) {
          wchar_t escape[8];
          std::swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::wstring ScriptReplay(const std::string& vid, const std::string& playAuth) {
  return L"replay('" + JsQuoted(vid) + L"','" + JsQuoted(playAuth) + L"')";
}

std::wstring ScriptSeek(const std::string& seconds) { return L"seek('" + JsQuoted(seconds) + L"')"; }

std::wstring ScriptGetPlayCurrentTime(const std::string& lessonId, const std::string& classId,
                                      const std::string& vid) {
  return L"getPlayCurrentTime('" + JsQuoted(lessonId) + L"','" + JsQuoted(classId) + L"','" + JsQuoted(vid) +
         L"')";
}

std::wstring ScriptPlayerSeekTo(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return L"playerSeekTo('" + Utf8ToWide(text) + L"')";
}

std::wstring ScriptSetPrismPlayerSize(int width, int height) {
  return L"setPrismPlayerSize('" + std::to_wstring(width) + L"','" + std::to_wstring(height) + L"')";
}

namespace {

std::string PlayAuthAnswerWith(const std::string& vid, const std::string& playAuth, int width, int height,
                               const std::string& lessonId, const std::string& classId,
                               const PageOptions* options, const std::string* src = nullptr) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("vid");
  writer.String(vid);
  writer.Key("playAuth");
  writer.String(playAuth);
  if (src) {
    writer.Key("src");
    writer.String(*src);
  }
  writer.Key("width");
  writer.String(std::to_string(width) + "px");
  writer.Key("height");
  writer.String(std::to_string(height) + "px");
  writer.Key("lessonId");
  writer.String(lessonId);
  writer.Key("classId");
  writer.String(classId);
  if (options) {
    writer.Key("reconnectMs");
    writer.Int(options->reconnectMs);
    writer.Key("playbackRate");
    writer.Double(options->playbackRate);
  }
  writer.EndObject();
  return buffer.GetString();
}

}  // namespace

std::string PlayAuthAnswer(const std::string& vid, const std::string& playAuth, int width, int height,
                           const std::string& lessonId, const std::string& classId) {
  return PlayAuthAnswerWith(vid, playAuth, width, height, lessonId, classId, nullptr);
}

std::string PlayAuthAnswer(const std::string& vid, const std::string& playAuth, int width, int height,
                           const std::string& lessonId, const std::string& classId, const PageOptions& options) {
  return PlayAuthAnswerWith(vid, playAuth, width, height, lessonId, classId, &options);
}

std::string LocalMediaAnswer(const std::string& vid, const std::string& src, int width, int height,
                             const std::string& lessonId, const std::string& classId, const PageOptions& options) {
  return PlayAuthAnswerWith(vid, "", width, height, lessonId, classId, &options, &src);
}

namespace {

bool ParseObject(std::wstring_view params, rapidjson::Document& doc) {
  std::string text = WideToUtf8(params);
  doc.Parse(text.c_str(), text.size());
  return !doc.HasParseError() && doc.IsObject();
}

std::string TextMember(const rapidjson::Document& doc, const char* name) {
  auto it = doc.FindMember(name);
  if (it == doc.MemberEnd()) return "";
  if (it->value.IsString()) return std::string(it->value.GetString(), it->value.GetStringLength());
  // Ids sent as numbers are taken as their decimal text.
  if (it->value.IsInt64()) return std::to_string(it->value.GetInt64());
  return "";
}

}  // namespace

std::optional<ProgressReport> ParseProgressReport(std::wstring_view params) {
  rapidjson::Document doc;
  if (!ParseObject(params, doc)) return std::nullopt;
  ProgressReport report;
  auto time = doc.FindMember("time");
  if (time != doc.MemberEnd() && time->value.IsNumber()) {
    double value = time->value.GetDouble();
    // Cut to whole seconds; a negative or absurd position counts as none.
    if (value > 0 && value < static_cast<double>(std::numeric_limits<int64_t>::max() / 2))
      report.seconds = static_cast<int64_t>(std::trunc(value));
  }
  report.lessonId = TextMember(doc, "lessonId");
  report.classId = TextMember(doc, "classId");
  report.vid = TextMember(doc, "vid");
  return report;
}

std::optional<int64_t> ParseIntegerMember(std::wstring_view params, const char* name) {
  rapidjson::Document doc;
  if (!ParseObject(params, doc)) return std::nullopt;
  auto it = doc.FindMember(name);
  if (it == doc.MemberEnd() || !it->value.IsInt64()) return 0;
  return it->value.GetInt64();
}
