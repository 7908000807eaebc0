// The store script's answer for a book it stored ("get", "download"): the path it prints, which
// the command line sends to /tmp/ql-dl.path.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "display/device_scripts.h"

constexpr const char* kDownloadPathFile = "/tmp/ql-dl.path";
constexpr size_t kDownloadPathMax = 600;  // bytes of the answer read

// Runs `line` with its output sent to the answer file and returns what it printed, cut at a NUL,
// without trailing line feeds, carriage returns and spaces; none when the line did not run or left
// no file. An answer left by an earlier run is removed first, so it never stands for this one.
std::optional<std::string> store_run_for_path(ScriptLine line);
// True when the answer names a book the script stored: a regular file inside the documents folder
// (not through a link), named whole. A faulty script, or a title or link that steered it
// elsewhere, names no book of the library.
bool store_path_is_book(const std::string& path);
