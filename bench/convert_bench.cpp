// Converting books of the other kinds: conversion time per MB for each file given, then the
// first open (which converts) beside a second open (which finds the converted book).
// Usage: convert_bench BOOK... (MOBI, AZW3, FB2 or TXT files).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/paths.h"
#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/convert/convert.h"
#include "scratch_dir.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string read_all(const char* path) {
  std::string bytes;
  if (FILE* f = fopen(path, "rb")) {
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    fclose(f);
  }
  return bytes;
}

void clear_converted(const std::string& root) {
  const std::string cmd = "rm -rf '" + root + "/us/ql/state/conv'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not empty the conversion folder\n");
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: convert_bench BOOK...\n");
    return 2;
  }
  const ScratchDir scratch("convert-bench");
  if (scratch.path().empty()) return 1;
  const std::string& root = scratch.path();
  for (const char* sub : {"/us", "/tmp", "/us/ql", "/us/ql/state", "/us/documents"}) mkdir((root + sub).c_str(), 0755);
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());

  printf("%-28s %9s %12s %10s %12s %12s\n", "book", "MB", "convert ms", "ms/MB", "open 1st ms", "open 2nd ms");
  for (int i = 1; i < argc; i++) {
    const std::string bytes = read_all(argv[i]);
    const std::string name = strrchr(argv[i], '/') ? strrchr(argv[i], '/') + 1 : argv[i];
    const std::string device = "/mnt/us/documents/" + name;
    if (FILE* f = fopen((root + "/us/documents/" + name).c_str(), "wb")) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    const double mb = static_cast<double>(bytes.size()) / (1 << 20);
    double best = 1e12;
    char out[kQlPathMax];
    for (int run = 0; run < kRuns; run++) {
      clear_converted(root);
      auto start = Clock::now();
      if (ql_convert(device.c_str(), out, sizeof out) != 1) {
        fprintf(stderr, "%s: %s\n", name.c_str(), ql_convert_error());
        break;
      }
      best = std::min(best, ms_since(start));
    }
    clear_converted(root);
    auto first = Clock::now();
    const int ok1 = ql_open(device.c_str());
    const double first_ms = ms_since(first);
    auto second = Clock::now();
    const int ok2 = ql_open(device.c_str());
    const double second_ms = ms_since(second);
    if (!ok1 || !ok2) fprintf(stderr, "%s: %s\n", name.c_str(), ql_error());
    printf("%-28s %9.2f %12.1f %10.1f %12.1f %12.1f\n", name.c_str(), mb, best, best / mb, first_ms, second_ms);
  }
  return 0;
}
