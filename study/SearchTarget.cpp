// Search hits as ids.
#include "study/SearchTarget.h"

#include <vector>

namespace {

constexpr const char* kKindNames[] = {"class", "lesson", "doc", "note", "page"};
constexpr std::size_t kMaxPart = 64;

std::string Encode(const std::string& part) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : part) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
        c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> Decode(const std::string& part) {
  std::string out;
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (part[i] != '%') {
      out += part[i];
      continue;
    }
    if (i + 2 >= part.size()) return std::nullopt;
    int value = 0;
    for (int k = 1; k <= 2; ++k) {
      const char c = part[i + k];
      value *= 16;
      if (c >= '0' && c <= '9') {
        value += c - '0';
      } else if (c >= 'A' && c <= 'F') {
        value += c - 'A' + 10;
      } else {
        return std::nullopt;
      }
    }
    out += static_cast<char>(value);
    i += 2;
  }
  if (out.size() > kMaxPart) return std::nullopt;
  return out;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == '/') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

std::string TargetId(const SearchHit& hit) {
  return std::string(kKindNames[static_cast<int>(hit.kind)]) + "/" + Encode(hit.classId) + "/" +
         Encode(hit.itemId) + "/" + std::to_string(hit.page) + "/" + Encode(hit.noteOf);
}

std::optional<SearchTarget> ParseTargetId(const std::string& id) {
  const std::vector<std::string> parts = Split(id);
  if (parts.size() != 5) return std::nullopt;
  SearchTarget target;
  int kind = -1;
  for (int k = 0; k < 5; ++k) {
    if (parts[0] == kKindNames[k]) kind = k;
  }
  if (kind < 0) return std::nullopt;
  target.kind = static_cast<SearchKind>(kind);
  const auto classId = Decode(parts[1]);
  const auto itemId = Decode(parts[2]);
  const auto noteOf = Decode(parts[4]);
  if (!classId || !itemId || !noteOf || itemId->empty()) return std::nullopt;
  if (parts[3].empty() || parts[3].size() > 9 || parts[3].find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  target.classId = *classId;
  target.itemId = *itemId;
  target.page = std::stoi(parts[3]);
  target.noteOf = *noteOf;
  return target;
}
