// The URL of a request.
#include "web/native/Url.h"

#include "web/native/Exception.h"

namespace native::http {

url_obj::url_obj(std::string text, bool is_connect) : m_raw(std::move(text)) {
  http_parser_url_init(&m_parts);
  if (m_raw.empty() || http_parser_parse_url(m_raw.data(), m_raw.size(), is_connect ? 1 : 0, &m_parts) != 0) {
    throw url_parse_exception();
  }
}

std::string url_obj::component(http_parser_url_fields field) const {
  if (!(m_parts.field_set & (1u << field))) return {};
  return m_raw.substr(m_parts.field_data[field].off, m_parts.field_data[field].len);
}

std::string url_obj::path() const {
  std::string path = component(UF_PATH);
  return path.empty() ? "/" : path;
}

std::string url_obj::query() const { return component(UF_QUERY); }

}  // namespace native::http
