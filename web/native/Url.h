// The URL of a request: the raw text as received and http-parser's component table.
#pragma once

#include <http_parser.h>

#include <string>

namespace native::http {

class url_obj {
 public:
  url_obj() { http_parser_url_init(&m_parts); }
  // Parses `text` (a CONNECT target when `is_connect`); throws url_parse_exception.
  explicit url_obj(std::string text, bool is_connect = false);

  const std::string& raw() const { return m_raw; }
  // The path component, "/" when the URL has none; query and fragment are not part of it.
  std::string path() const;
  std::string query() const;

 private:
  std::string component(http_parser_url_fields field) const;

  std::string m_raw;
  http_parser_url m_parts;
};

}  // namespace native::http
