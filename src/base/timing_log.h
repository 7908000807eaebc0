// The optional timing log "/tmp/ql-timing.log", written only when QL_TIMING is set.
#pragma once

bool ql_timing_on();
// Appends one formatted line; the file is restarted once it has reached 400001 bytes.
void ql_timing_write(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
