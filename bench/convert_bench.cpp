// Converting books of the other kinds, timed in this process: conversion time per MB for each
// file given, then the first open (which converts) beside a second open (which finds the
// converted book). With --convert BOOK it converts the one book in a fresh data folder and ends,
// for timing the conversion as a whole process (bench/convert_bench.sh).
// Usage: convert_bench BOOK... (MOBI, AZW3, FB2 or TXT files), or convert_bench --convert BOOK.
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

// A fresh device folder with its data and documents folders, used through the path remapping.
// The device folders under the scratch folder `root`, set as the path roots.
void set_root(const std::string& root) {
  for (const char* sub : {"/us", "/tmp", "/us/ql", "/us/ql/state", "/us/documents"}) mkdir((root + sub).c_str(), 0755);
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
}

// The book copied into the documents folder; its device path.
std::string place_book(const std::string& root, const char* path, std::string* bytes_out) {
  const std::string bytes = read_all(path);
  const std::string name = strrchr(path, '/') ? strrchr(path, '/') + 1 : path;
  if (FILE* f = fopen((root + "/us/documents/" + name).c_str(), "wb")) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  if (bytes_out) *bytes_out = bytes;
  return "/mnt/us/documents/" + name;
}

int convert_one(const char* path) {
  const ScratchDir scratch("convert-bench");
  if (scratch.path().empty()) return 1;
  const std::string& root = scratch.path();
  set_root(root);
  const std::string device = place_book(root, path, nullptr);
  char out[kQlPathMax];
  const int ok = ql_convert(device.c_str(), out, sizeof out);
  if (ok != 1) fprintf(stderr, "%s: %s\n", path, ql_convert_error());
  return ok == 1 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--convert") return convert_one(argv[2]);
  if (argc < 2) {
    fprintf(stderr, "usage: convert_bench BOOK... | convert_bench --convert BOOK\n");
    return 2;
  }
  const ScratchDir scratch("convert-bench");
  if (scratch.path().empty()) return 1;
  const std::string& root = scratch.path();
  set_root(root);

  printf("%-28s %9s %12s %10s %12s %12s\n", "book", "MB", "convert ms", "ms/MB", "open 1st ms", "open 2nd ms");
  for (int i = 1; i < argc; i++) {
    std::string bytes;
    const std::string device = place_book(root, argv[i], &bytes);
    const std::string name = device.substr(device.rfind('/') + 1);
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
