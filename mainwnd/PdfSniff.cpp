// The PDF header test.
#include "mainwnd/PdfSniff.h"

#include <fstream>
#include <string_view>

bool LooksLikePdf(const std::string& path) {
  constexpr std::streamsize kHeaderWindow = 1024;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  char head[kHeaderWindow];
  file.read(head, kHeaderWindow);
  const std::string_view bytes(head, static_cast<std::size_t>(file.gcount()));
  return bytes.find("%PDF-") != std::string_view::npos;
}
