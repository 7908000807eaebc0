// Scanning a documents folder of generated books: a cold scan (no scan cache, every book opened
// for its title and author), a warm scan in the same run, and a scan of a new run that reads the
// cache file. Usage: library_scan_bench [books] (default 2000).
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "base/paths.h"
#include "library/document_scan.h"
#include "library/scan_cache.h"
#include "scratch_dir.h"

namespace {

std::string book(int n) {
  const std::string id = std::to_string(n);
  const std::string opf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" "
      "version=\"3.0\" unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:identifier id=\"id\">bench-" + id + "</dc:identifier><dc:title>Generated Book " + id +
      "</dc:title><dc:creator>Author " + std::to_string(n % 97) + "</dc:creator><dc:language>en"
      "</dc:language></metadata><manifest><item id=\"c\" href=\"c.xhtml\" "
      "media-type=\"application/xhtml+xml\"/></manifest><spine><itemref idref=\"c\"/></spine></package>\n";
  std::string text = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>";
  for (int i = 0; i < 400; i++) text += "<p>Paragraph " + std::to_string(i) + " of book " + id + ".</p>";
  text += "</body></html>";
  return zipw::build({
      {"mimetype", "application/epub+zip", zipw::kStored},
      {"META-INF/container.xml",
       "<?xml version=\"1.0\"?><container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:"
       "xmlns:container\"><rootfiles><rootfile full-path=\"OPS/p.opf\" "
       "media-type=\"application/oebps-package+xml\"/></rootfiles></container>"},
      {"OPS/p.opf", opf},
      {"OPS/c.xhtml", text},
  });
}

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void report(const char* label, uint64_t count, double ms) {
  const ScanStats s = ql_scan_stats();
  printf("%-22s %6llu entries  %9.1f ms  %6llu books opened  %6llu from the cache\n", label,
         static_cast<unsigned long long>(count), ms, static_cast<unsigned long long>(s.probed),
         static_cast<unsigned long long>(s.cached));
}

}  // namespace

int main(int argc, char** argv) {
  const int books = argc > 1 ? atoi(argv[1]) : 2000;
  const ScratchDir scratch("ql-scan-bench");
  if (scratch.path().empty()) return 1;
  const std::string& root = scratch.path();
  for (const char* sub : {"/us", "/tmp", "/us/ql", "/us/ql/state", "/us/documents"}) {
    mkdir((root + sub).c_str(), 0755);
  }
  ql_set_root((root + "/us").c_str(), (root + "/tmp").c_str());
  unsetenv("QUILLO_STATE");
  for (int i = 0; i < books; i++) {
    const std::string folder = root + "/us/documents/shelf" + std::to_string(i / 100);
    mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/book" + std::to_string(i) + ".epub", std::ios::binary) << book(i);
  }
  printf("%d generated books\n", books);

  auto t0 = std::chrono::steady_clock::now();
  uint64_t n = ql_scan("/mnt/us/documents");
  report("cold (no cache)", n, ms_since(t0));

  t0 = std::chrono::steady_clock::now();
  n = ql_scan("/mnt/us/documents");
  report("warm (same run)", n, ms_since(t0));

  scan_cache_forget();
  t0 = std::chrono::steady_clock::now();
  n = ql_scan("/mnt/us/documents");
  report("warm (cache file)", n, ms_since(t0));

  ql_set_root(nullptr, nullptr);
  return 0;
}
