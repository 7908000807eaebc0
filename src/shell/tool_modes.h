// The command-line tool modes. Each gets the whole argument vector, already checked by
// app_dispatch for its minimum count; they write to standard error and open no window.
#pragma once
#include "shell/errors.h"

// "--render" book png [page]: one page of a book as a PNG.
AppResult tool_render(int argc, char** argv);
// "--hyph" lang word...: each word with "-" at its break points.
AppResult tool_hyphenate(int argc, char** argv);
// "--bench-open" book [count]: timings of opening, laying out and drawing a book.
AppResult tool_bench_open(int argc, char** argv);
// "--opds-parse" feed: the number of entries in an OPDS feed file.
AppResult tool_opds_parse(int argc, char** argv);
// "--screen" name png [book [page]]: one named screen as a PNG; 3 when the name draws nothing.
AppResult tool_screen(int argc, char** argv);
