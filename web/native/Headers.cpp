// Case-insensitive ordering of header names.
#include "web/native/Headers.h"

#include <algorithm>

namespace native::http {

namespace {
unsigned char Lower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}
}  // namespace

bool ci_less::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return Lower(static_cast<unsigned char>(x)) < Lower(static_cast<unsigned char>(y));
  });
}

}  // namespace native::http
