// Local file names of new downloads.
#include "mainwnd/DownloadNaming.h"

#include <string_view>

namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kMaxExtensionChars = 15;

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Cuts UTF-8 text to at most `bytes` without splitting a character.
std::string CutUtf8(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// What a download may be called: extensions of media and of documents. Anything else (a
// page, a script) gets the kind's usual one, so no downloaded file is ever opened as a page.
constexpr std::string_view kVideoExtensions[] = {"mp4", "m4v", "mov", "webm", "mkv", "flv", "avi", "wmv",
                                                 "ts",  "mpg", "mpeg", "3gp", "ogv", "mp3", "m4a", "aac",
                                                 "wav", "ogg", "oga", "opus", "flac"};
constexpr std::string_view kDocumentExtensions[] = {"pdf", "doc", "docx", "ppt",  "pptx", "xls", "xlsx",
                                                    "txt", "rtf", "odt", "odp",  "ods",  "epub", "zip",
                                                    "rar", "7z",  "jpg", "jpeg", "png"};

bool IsKnownExtension(std::string_view extension, TaskKind kind) {
  std::string lower;
  for (char c : extension) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  if (kind == TaskKind::Document) {
    for (std::string_view known : kDocumentExtensions)
      if (lower == known) return true;
    return false;
  }
  for (std::string_view known : kVideoExtensions)
    if (lower == known) return true;
  return false;
}

}  // namespace

std::string UrlExtension(const std::string& url, TaskKind kind) {
  const std::string fallback = kind == TaskKind::Document ? ".pdf" : ".mp4";
  const std::string path = url.substr(0, url.find_first_of("?#"));
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string::npos) return fallback;
  const std::string extension = fileName.substr(dot);
  if (extension.size() < 2 || extension.size() > kMaxExtensionChars + 1) return fallback;
  for (std::size_t i = 1; i < extension.size(); ++i)
    if (!IsAsciiAlnum(extension[i])) return fallback;
  if (!IsKnownExtension(std::string_view(extension).substr(1), kind)) return fallback;
  return extension;
}

std::string MakeDownloadName(const std::string& title, const std::string& url, TaskKind kind) {
  std::string base;
  for (char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) continue;
    base.push_back(c);
  }
  const std::string extension = UrlExtension(url, kind);
  base = CutUtf8(base, kMaxNameBytes - extension.size());
  if (base.empty() || base == "." || base == "..") return {};
  return base + extension;
}
