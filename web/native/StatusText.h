// The reason phrases of the status codes an answer may use.
#pragma once

namespace native::http {

// The text of `code`; throws response_exception for any code without one (306 included).
const char* status_text(int code);

}  // namespace native::http
