// Opening a large generated EPUB: open time and words per second, with contents and search.
// Usage: epub_open_bench [words] (default 500000).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/toc.h"
#include "scratch_dir.h"

namespace {
// Pseudo-random prose: a vocabulary of made-up words, common ones drawn more often, so the archive
// compresses like real text rather than like a repeated pattern.
class Prose {
 public:
  Prose() {
    for (int i = 0; i < 6000; i++) {
      std::string w;
      size_t len = 2 + next() % 9;
      for (size_t k = 0; k < len; k++) w += "etaoinshrdlucmfwypvbgkjqxz"[next() % (k % 3 == 1 ? 6 : 26)];
      vocabulary_.push_back(w);
    }
  }
  const std::string& word() {
    uint64_t r = next() % 6000;
    return vocabulary_[r * r / 6000];
  }
  uint64_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return state_ >> 33;
  }

 private:
  uint64_t state_ = 42;
  std::vector<std::string> vocabulary_;
};

std::string chapter(Prose& prose, int n, size_t words) {
  std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">"
                     "<head><title>c</title></head><body>\n<h2 id=\"c" + std::to_string(n) + "\">Chapter " +
                     std::to_string(n) + "</h2>\n<p>";
  for (size_t i = 0; i < words; i++) {
    if (i % 120 == 119) body += "</p>\n<p>";
    const std::string& w = prose.word();
    if (i % 50 == 10) body += "<i>" + w + "</i> ";
    else if (i % 90 == 30) body += "<a href=\"ch" + std::to_string(n % 7 + 1) + ".xhtml#c1\">" + w + "</a> ";
    else if (i % 200 == 5) body += w + "&nbsp;&mdash; ";
    else body += w + " ";
  }
  return body + "</p>\n</body></html>\n";
}

double ms_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

int main(int argc, char** argv) {
  size_t total = argc > 1 ? strtoul(argv[1], nullptr, 10) : 500000;
  const int chapters = 100;
  Prose prose;
  std::vector<zipw::Member> m;
  m.push_back({"mimetype", "application/epub+zip", zipw::kStored});
  m.push_back({"META-INF/container.xml",
               "<container><rootfiles><rootfile full-path=\"OEBPS/content.opf\"/></rootfiles></container>"});
  std::string manifest, spine, nav = "<html><body><nav epub:type=\"toc\"><ol>";
  for (int c = 1; c <= chapters; c++) {
    std::string id = "ch" + std::to_string(c);
    manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
    spine += "<itemref idref=\"" + id + "\"/>";
    nav += "<li><a href=\"" + id + ".xhtml\">Chapter " + std::to_string(c) + "</a></li>";
    m.push_back({"OEBPS/" + id + ".xhtml", chapter(prose, c, total / chapters)});
  }
  m.push_back({"OEBPS/nav.xhtml", nav + "</ol></nav></body></html>"});
  m.push_back({"OEBPS/content.opf",
               "<package><metadata><dc:title>Benchmark</dc:title><dc:language>en</dc:language></metadata><manifest>" +
                   manifest + "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
                              "properties=\"nav\"/></manifest><spine>" + spine + "</spine></package>"});
  std::string bytes = zipw::build(m);
  const ScratchDir dir("qlbench");
  if (dir.path().empty()) return 1;
  std::string path = dir.path() + "/big.epub";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 1;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);

  const int runs = 7;
  double best = 1e30, sum = 0;
  for (int r = 0; r < runs; r++) {
    auto t0 = std::chrono::steady_clock::now();
    if (!ql_open(path.c_str())) {
      fprintf(stderr, "open failed: %s\n", ql_error());
      return 1;
    }
    double t = ms_since(t0);
    best = std::min(best, t);
    sum += t;
  }
  uint64_t words = ql_word_count();
  auto t0 = std::chrono::steady_clock::now();
  size_t entries = ql_toc_from_nav();
  double toc_ms = ms_since(t0);
  std::vector<uint64_t> hits(64);
  t0 = std::chrono::steady_clock::now();
  // A phrase from the middle of the book.
  const BookWord* w = ql_words() + words / 2 + 7;
  std::string phrase = std::string(w[0].text) + " " + w[1].text;
  size_t found = ql_search(phrase.c_str(), hits.data(), hits.size());
  double hit_ms = ms_since(t0);
  t0 = std::chrono::steady_clock::now();
  size_t none = ql_search("nowhere to be found", hits.data(), hits.size());
  double miss_ms = ms_since(t0);

  printf("book: %.1f MB archive, %d documents, %llu words\n", bytes.size() / 1e6, chapters,
         static_cast<unsigned long long>(words));
  printf("open: best %.1f ms, mean %.1f ms over %d runs; %.2f M words/s (best)\n", best, sum / runs, runs,
         words / best / 1000.0);
  printf("contents from nav: %zu entries in %.2f ms\n", entries, toc_ms);
  printf("search \"%s\": %zu hits (at most 64) in %.2f ms; an absent phrase (%zu hits) scans the book in %.1f ms\n",
         phrase.c_str(), found, hit_ms, none, miss_ms);
  return 0;
}
