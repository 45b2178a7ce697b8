// Reporting of failed programming-error checks.
#include "app/Assert.h"

#include <cstdio>
#include <cstdlib>

#include "app/Log.h"
#include "app/TextConv.h"

void ReportAssertion(const char* text, const char* file, int line) {
  std::fprintf(stderr, "assertion failed: %s (%s:%d)\n", text, file, line);
  LogError(L"assertion failed: " + Utf8ToWide(text));
#ifndef NDEBUG
  std::abort();
#endif
}
