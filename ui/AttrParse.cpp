// Attribute text parsers shared by every control's SetAttribute.
#include "ui/AttrParse.h"

#include <cwctype>

namespace {

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && std::iswspace(s.front())) s.remove_prefix(1);
  while (!s.empty() && std::iswspace(s.back())) s.remove_suffix(1);
  return s;
}

bool ParseInts(std::wstring_view text, int* out, size_t count) {
  size_t n = 0;
  while (n < count) {
    size_t comma = text.find(L',');
    std::wstring_view part = text.substr(0, comma);
    if (!ParseInt(part, out[n])) return false;
    ++n;
    if (comma == std::wstring_view::npos) break;
    text.remove_prefix(comma + 1);
    if (n == count) return false;  // more parts than expected
  }
  return n == count;
}

std::wstring DecodeEntities(std::wstring_view v) {
  std::wstring out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == L'&') {
      static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
          {L"&quot;", L'"'}, {L"&apos;", L'\''}, {L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}};
      bool done = false;
      for (auto& [name, ch] : kEntities) {
        std::wstring_view e(name);
        if (v.substr(i, e.size()) == e) {
          out += ch;
          i += e.size() - 1;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    out += v[i];
  }
  return out;
}

}  // namespace

bool ParseInt(std::wstring_view text, int& value) {
  text = Trim(text);
  if (text.empty()) return false;
  bool neg = false;
  if (text.front() == L'-' || text.front() == L'+') {
    neg = text.front() == L'-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    v = v * 10 + (c - L'0');
  }
  value = neg ? -v : v;
  return true;
}

bool ParseColor(std::wstring_view text, DWORD& color) {
  text = Trim(text);
  if (!text.empty() && text.front() == L'#')
    text.remove_prefix(1);
  else if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
    text.remove_prefix(2);
  else
    return false;
  if (text.size() != 6 && text.size() != 8) return false;
  DWORD v = 0;
  for (wchar_t c : text) {
    int d;
    if (c >= L'0' && c <= L'9')
      d = c - L'0';
    else if (c >= L'a' && c <= L'f')
      d = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F')
      d = c - L'A' + 10;
    else
      return false;
    v = (v << 4) | static_cast<DWORD>(d);
  }
  if (text.size() == 6) v |= 0xFF000000u;
  color = v;
  return true;
}

bool ParseBool(std::wstring_view text, bool& value) {
  text = Trim(text);
  if (text == L"true")
    value = true;
  else if (text == L"false")
    value = false;
  else
    return false;
  return true;
}

bool ParseRect(std::wstring_view text, CDuiRect& rect) {
  int v[4];
  if (!ParseInts(text, v, 4)) return false;
  rect = {v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(std::wstring_view text, CDuiSize& size) {
  int v[2];
  if (!ParseInts(text, v, 2)) return false;
  size = {v[0], v[1]};
  return true;
}

bool ParseImage(std::wstring_view text, TImageAttr& image) {
  image = TImageAttr{};
  text = Trim(text);
  if (text.empty()) return true;
  if (text.find(L'=') == std::wstring_view::npos) {
    image.file = std::wstring(text);
    return true;
  }
  while (true) {
    text = Trim(text);
    if (text.empty()) break;
    size_t eq = text.find(L'=');
    if (eq == std::wstring_view::npos) return false;
    std::wstring_view key = Trim(text.substr(0, eq));
    text.remove_prefix(eq + 1);
    text = Trim(text);
    if (text.empty() || (text.front() != L'\'' && text.front() != L'"')) return false;
    wchar_t quote = text.front();
    size_t end = text.find(quote, 1);
    if (end == std::wstring_view::npos) return false;
    std::wstring_view value = text.substr(1, end - 1);
    text.remove_prefix(end + 1);
    bool ok = true;
    if (key == L"file" || key == L"res")
      image.file = std::wstring(value);
    else if (key == L"dest")
      ok = image.hasDest = ParseRect(value, image.dest);
    else if (key == L"source")
      ok = image.hasSource = ParseRect(value, image.source);
    else if (key == L"corner")
      ok = ParseRect(value, image.corner);
    else if (key == L"fade")
      ok = ParseInt(value, image.fade) && image.fade >= 0 && image.fade <= 255;
    else if (key == L"hole")
      ok = ParseBool(value, image.hole);
    else if (key == L"xtiled")
      ok = ParseBool(value, image.xtiled);
    else if (key == L"ytiled")
      ok = ParseBool(value, image.ytiled);
    else if (key == L"mask" || key == L"restype")
      ok = true;  // accepted, no effect here
    else
      ok = false;
    if (!ok) return false;
  }
  return !image.file.empty();
}

bool ParseAttributeList(std::wstring_view text, std::vector<std::pair<std::wstring, std::wstring>>& out) {
  out.clear();
  while (true) {
    text = Trim(text);
    if (text.empty()) return true;
    size_t eq = text.find(L'=');
    if (eq == std::wstring_view::npos) return false;
    std::wstring_view name = Trim(text.substr(0, eq));
    if (name.empty()) return false;
    text.remove_prefix(eq + 1);
    text = Trim(text);
    if (text.empty() || (text.front() != L'"' && text.front() != L'\'')) return false;
    wchar_t quote = text.front();
    size_t end = text.find(quote, 1);
    if (end == std::wstring_view::npos) return false;
    out.emplace_back(std::wstring(name), DecodeEntities(text.substr(1, end - 1)));
    text.remove_prefix(end + 1);
  }
}
