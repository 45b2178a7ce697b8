// Text conversions. UTF-8 and the wide side are coded here, strictly: malformed input gives
// empty text. The locale's character set goes through iconv unless it is UTF-8 already.
#include "app/TextConv.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

namespace {

bool IsScalarValue(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

// The locale's character set. The plain C locale only promises ASCII; its text is taken
// as UTF-8 (a superset), so names outside ASCII survive a process started without a locale.
std::string LocaleCodeset() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
      std::strcmp(codeset, "ASCII") == 0 || std::strcmp(codeset, "US-ASCII") == 0) {
    return "UTF-8";
  }
  return codeset;
}

bool LocaleIsUtf8(const std::string& codeset) {
  return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "UTF8") == 0;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(m_cd);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return m_cd; }

 private:
  iconv_t m_cd;
};

// Converts between two byte encodings. A malformed input sequence fails the whole text;
// with `replaceUnmappable` a character the target cannot hold becomes "?" (the source is
// UTF-8 then, so the character's length is known from its lead byte).
bool Convert(const char* to, const char* from, std::string_view in, std::string& out,
             bool replaceUnmappable) {
  Iconv cd(to, from);
  if (!cd.ok()) return false;
  out.clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[4096];
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof(buffer);
    size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, dst - buffer);
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (errno == EILSEQ && replaceUnmappable) {
      // glibc reports an unmappable but valid character as EILSEQ too; the source was
      // checked to be valid UTF-8, so skip one character.
      unsigned char lead = static_cast<unsigned char>(*src);
      size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (len > srcLeft) return false;
      src += len;
      srcLeft -= len;
      out.push_back('?');
      continue;
    }
    return false;  // EILSEQ or EINVAL: malformed or cut-off input
  }
  char* dst = buffer;
  size_t dstLeft = sizeof(buffer);
  if (iconv(cd.get(), nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1)) return false;
  out.append(buffer, dst - buffer);
  return true;
}

// Strict UTF-8 decoding: no overlong forms, no surrogates, nothing above U+10FFFF.
bool DecodeUtf8(std::string_view text, std::wstring& out) {
  out.clear();
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    }
    size_t len;
    char32_t c;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
      len = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (i + len > text.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || !IsScalarValue(c)) return false;
    out.push_back(static_cast<wchar_t>(c));
    i += len;
  }
  return true;
}

bool EncodeUtf8(std::wstring_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (wchar_t w : text) {
    char32_t c = static_cast<char32_t>(w);
    if (!IsScalarValue(c)) return false;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  if (!DecodeUtf8(text, out)) out.clear();
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  if (!EncodeUtf8(text, out)) out.clear();
  return out;
}

std::string AnsiToUtf8(std::string_view text) {
  std::string codeset = LocaleCodeset();
  if (LocaleIsUtf8(codeset)) {
    std::wstring check;
    return DecodeUtf8(text, check) ? std::string(text) : std::string();
  }
  std::string out;
  if (!Convert("UTF-8", codeset.c_str(), text, out, false)) out.clear();
  return out;
}

std::string Utf8ToAnsi(std::string_view text) {
  std::wstring check;
  if (!DecodeUtf8(text, check)) return {};
  std::string codeset = LocaleCodeset();
  if (LocaleIsUtf8(codeset)) return std::string(text);
  std::string out;
  if (!Convert(codeset.c_str(), "UTF-8", text, out, true)) out.clear();
  return out;
}

std::wstring AnsiToWide(std::string_view text) { return Utf8ToWide(AnsiToUtf8(text)); }

std::string WideToAnsi(std::wstring_view text) {
  std::string utf8;
  if (!EncodeUtf8(text, utf8)) return {};
  return Utf8ToAnsi(utf8);
}
