// The timing log: opened per line so that a crash never loses what was written before it.
#include "base/timing_log.h"

#include <cstdarg>
#include <cstdlib>

#include "base/paths.h"

namespace {
constexpr long kTimingLogMax = 400000;
}

bool ql_timing_on() {
  static const bool on = getenv("QL_TIMING") != nullptr;
  return on;
}

void ql_timing_write(const char* fmt, ...) {
  if (!ql_timing_on()) return;
  FilePtr f(qlp_fopen("/tmp/ql-timing.log", "a"));
  if (!f) return;
  if (fseek(f.get(), 0, SEEK_END) == 0 && ftell(f.get()) > kTimingLogMax) {
    f.reset(qlp_fopen("/tmp/ql-timing.log", "w"));
    if (!f) return;
  }
  va_list ap;
  va_start(ap, fmt);
  vfprintf(f.get(), fmt, ap);
  va_end(ap);
}
