// What the server asks of a connection before it answers it.
#include "web/native/Admission.h"

#include <cctype>
#include <string>

namespace native::http {

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool all_digits(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

bool host_admitted(std::string_view host, int port) {
  const std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view name = host.substr(0, colon);
  const std::string_view number = host.substr(colon + 1);
  if (name != "127.0.0.1" && !equals_ignoring_case(name, "localhost")) return false;
  if (port == 0) return all_digits(number);
  return number == std::to_string(port);
}

}  // namespace native::http
