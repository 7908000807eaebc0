// Unpacking an audiobook archive of many small recordings, as a dropped archive is unpacked: the
// time to the folder in view and the number of progress reports. Usage: unpack_bench [members]
// (default 20000).
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "base/paths.h"
#include "store/audio_unpack.h"

int main(int argc, char** argv) {
  const int members = argc > 1 ? atoi(argv[1]) : 20000;
  char pattern[] = "/tmp/ql-unpack-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  for (const char* sub : {"/us", "/tmp", "/us/ql", "/us/ql/state", "/us/documents"}) {
    mkdir((root + sub).c_str(), 0755);
  }
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
  std::vector<zipw::Member> list;
  for (int i = 0; i < members; i++) {
    list.emplace_back("Book/part " + std::to_string(i) + ".mp3", std::string(200, char('a' + i % 26)));
  }
  std::ofstream(root + "/us/documents/Book.zip", std::ios::binary) << zipw::build(list);
  printf("%d members\n", members);

  size_t reports = 0;
  const auto t0 = std::chrono::steady_clock::now();
  const int unpacked = ql_unpack_zips(
      "/mnt/us/documents", [&reports](std::string_view, size_t, size_t) { ++reports; });
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  printf("unpacked %d archive(s) in %.1f ms, %zu progress reports\n", unpacked, ms, reports);

  ql_set_root(nullptr, nullptr);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return unpacked == 1 ? 0 : 1;
}
