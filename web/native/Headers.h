// Header maps of requests and answers: ordered by a case-insensitive byte comparison, so a
// name that differs only in letter case names the same header.
#pragma once

#include <map>
#include <string>

namespace native::http {

struct ci_less {
  bool operator()(const std::string& a, const std::string& b) const;
};

using header_map = std::map<std::string, std::string, ci_less>;

}  // namespace native::http
