// Checks for programming errors: the failed condition's text goes to the log and to stderr;
// debug builds stop there, release builds let the operation fail instead.
#pragma once

void ReportAssertion(const char* text, const char* file, int line);

#define TAVO_ASSERT(condition, text)                         \
  ((condition) ? true : (ReportAssertion(text, __FILE__, __LINE__), false))
