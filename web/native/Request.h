// A parsed request: method, URL and headers (a header repeated keeps its last value).
#pragma once

#include <string>

#include "web/native/Headers.h"
#include "web/native/Url.h"

namespace native::http {

class request {
 public:
  const url_obj& url() const { return m_url; }
  const std::string& method() const { return m_method; }
  const header_map& headers() const { return m_headers; }
  // The local port the request came in on, 0 when the connection is not a TCP socket.
  int local_port() const { return m_local_port; }
  // The value of header `name` in any letter case, empty when absent.
  std::string get_header(const std::string& name) const {
    auto it = m_headers.find(name);
    return it == m_headers.end() ? std::string() : it->second;
  }

 private:
  friend class client_context;
  url_obj m_url;
  std::string m_method;
  header_map m_headers;
  int m_local_port = 0;
};

}  // namespace native::http
