// Conversions without locale dependence: skins and Pango always speak UTF-8.
#include "ui/UIText.h"

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    auto c = static_cast<uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
      cp = c & 0x07;
    } else {
      out += wchar_t(0xFFFD);
      ++i;
      continue;
    }
    if (i + n > text.size()) {
      out += wchar_t(0xFFFD);
      break;
    }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += wchar_t(0xFFFD);
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(cp);
    i += n;
  }
  return out;
}
