#include "base/ql_error.h"

#include <cstdarg>
#include <cstdio>

namespace {
char error_text[512];

void store(const char* fmt, va_list ap) { vsnprintf(error_text, sizeof error_text, fmt, ap); }
}  // namespace

const char* ql_error() { return error_text; }

void ql_fail(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  store(fmt, ap);
  va_end(ap);
  fprintf(stderr, "quillo: %s\n", error_text);
}

void ql_set_error(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  store(fmt, ap);
  va_end(ap);
}

void ql_clear_error() { error_text[0] = 0; }
