// The desktop program's start-up: the data and temporary folders, seed files and sample books, the
// path remapping, the environment the core expects, the log, then the front end and the core
// thread.
#pragma once
#include <string>

// The core's entry, run on its own thread; its status is the process's.
using CoreEntry = int (*)(int argc, char** argv);
// Runs the interactive program with `core` as its core; returns only when it cannot start (no
// display).
int host_main(int argc, char** argv, CoreEntry core);

// Copies every item below `src` to the same place below `dst`, creating folders as needed. An
// existing file is kept, or replaced when `overwrite` is set. Errors are ignored.
void copy_seed(const std::string& src, const std::string& dst, bool overwrite);

// The log keeps at most this many bytes from earlier runs: a larger one is removed at start.
constexpr long kLogLimit = 200000;
// Removes the log when it holds more than kLogLimit bytes.
void trim_log(const std::string& path);

// The local time zone's offset from UTC in whole minutes (truncated toward zero), as text.
std::string tz_minutes_text();

// The folder the running program lies in ("" when unknown).
std::string host_program_dir();
// The folder holding the "seed" and "bundled" resources: "resources" beside the program, else
// "share/quillo" beside its folder.
std::string host_resources_dir();
