// The lower layer's last-error text: failures return 0 and leave their message here.
#pragma once

const char* ql_error();
// Stores the message (cut to 511 bytes) and writes "quillo: <message>" to standard error.
void ql_fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Stores the message without reporting it.
void ql_set_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void ql_clear_error();
