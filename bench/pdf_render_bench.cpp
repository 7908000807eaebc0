// Rendering PDF pages fitted into the screen in grey, beside MuPDF's own `mutool draw` at the same
// size, compared two ways, each side timed alike:
// - whole process against whole process: this program started with --draw (open the document,
//   draw the pages, end) beside `mutool draw` of the same pages to PGM on /dev/null, wall time from
//   start to exit, the best of several runs;
// - in-process against in-process: the same --draw run's own time for its pages (a fresh process,
//   so caches start cold as in mutool's) beside mutool's own total for its pages (`-s t`).
// Then figures of quillo's alone: pages drawn again in a warm process, and a revisit of a kept page.
// Usage: pdf_render_bench [file.pdf] [pages] (default: a generated 100-page document of dense
// text, 30 pages drawn). Build a release tree for figures that mean something.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "book/pdf_adapter.h"
#include "prose_pdf.h"
#include "scratch_dir.h"

namespace {

constexpr int kW = 1072, kH = 1448;
// The page area the adapter fits pages into.
constexpr int kPageW = kW - 64, kPageH = kH - 180;

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Run {
  double wall_ms = -1;   // the whole process
  double pages_ms = -1;  // its own total of the pages drawn
};

// Keeps the run with the shorter whole process.
void keep_best(Run& best, const Run& r) {
  if (r.wall_ms >= 0 && (best.wall_ms < 0 || r.wall_ms < best.wall_ms)) best = r;
}

// Runs a command; its wall time, and the number after `key` in its output as its own time.
Run timed(const std::string& cmd, const char* key) {
  Run run;
  const double t0 = now_ms();
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char line[256];
  double own = -1;
  while (fgets(line, sizeof line, p)) {
    if (sscanf(line, key, &own) == 1) run.pages_ms = own;
  }
  if (pclose(p) != 0) return Run{};
  run.wall_ms = now_ms() - t0;
  return run;
}

// The --draw mode: opens the document, draws pages 1 to `pages` and prints its time for them.
int draw_mode(const char* pdf, int pages) {
  std::vector<uint8_t> screen(size_t(kW) * kH);
  if (!qlpdf_open(pdf)) return 1;
  const double t0 = now_ms();  // mutool's own total counts its pages alone, not the opening
  for (int page = 0; page < pages; ++page) qlpdf_render(page, screen.data(), kW, kH);
  printf("total %.3f\n", now_ms() - t0);
  qlpdf_close();
  return 0;
}

std::string self_path() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// This program drawing the pages as a whole process.
Run quillo_draw(const std::string& pdf, int pages) {
  std::string command = "'";
  command.append(self_path()).append("' --draw '").append(pdf).append("' ");
  command.append(std::to_string(pages));
  return timed(command, "total %lf");
}

// `mutool draw` in grey at the adapter's page size, output thrown away.
Run mutool_draw(const std::string& pdf, const std::string& pages) {
  const std::string cmd = "mutool draw -q -s t -F pgm -o /dev/null -c gray -w " + std::to_string(kPageW) + " -h " +
                          std::to_string(kPageH) + " '" + pdf + "' " + pages + " 2>&1";
  return timed(cmd, "total %lfms");
}

void print_pair(const char* what, const Run& ours, const Run& theirs) {
  printf("%s\n", what);
  if (ours.wall_ms < 0) {
    printf("  quillo --draw failed\n");
    return;
  }
  if (theirs.wall_ms < 0) {
    printf("  whole process: quillo %.1f ms; mutool draw not available\n", ours.wall_ms);
    return;
  }
  printf("  whole process: quillo %.1f ms, mutool draw %.1f ms, quillo / mutool %.2f\n", ours.wall_ms,
         theirs.wall_ms, ours.wall_ms / theirs.wall_ms);
  printf("  in-process (each side's own time for its pages, cold): quillo %.1f ms, mutool %.0f ms, "
         "quillo / mutool %.2f\n",
         ours.pages_ms, theirs.pages_ms, ours.pages_ms / theirs.pages_ms);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 && std::string(argv[1]) == "--draw") return draw_mode(argv[2], atoi(argv[3]));
  const ScratchDir dir("pdf-bench");
  if (dir.path().empty()) return 1;
  const std::string pdf = argc > 1 ? argv[1] : write_prose_pdf(dir.path() + "/prose.pdf", 100);
  std::vector<uint8_t> screen(size_t(kW) * kH);
  if (!qlpdf_open(pdf.c_str())) {
    fprintf(stderr, "%s\n", qlpdf_error());
    return 1;
  }
  const int pages = std::min(argc > 2 ? atoi(argv[2]) : 30, qlpdf_count());
  printf("%s: %d pages, drawing %d at %d x %d (page area %d x %d), grey\n", pdf.c_str(), qlpdf_count(), pages, kW,
         kH, kPageW, kPageH);

  // Alternated, so both sides meet the same load; the machine may be shared: the best run counts.
  const int runs = 7;
  Run ours, theirs, ours_one, theirs_one;
  for (int i = 0; i < runs; ++i) {
    keep_best(ours, quillo_draw(pdf, pages));
    keep_best(theirs, mutool_draw(pdf, "1-" + std::to_string(pages)));
    keep_best(ours_one, quillo_draw(pdf, 1));
    keep_best(theirs_one, mutool_draw(pdf, "1"));
  }
  print_pair(("open and draw " + std::to_string(pages) + " pages").c_str(), ours, theirs);
  print_pair("open and draw page 1", ours_one, theirs_one);

  // quillo alone: the same pages drawn again in this process, fonts and pictures already met.
  double warm = 1e300;
  for (int i = 0; i < runs; ++i) {
    qlpdf_open(pdf.c_str());  // no page kept from the run before
    const double t0 = now_ms();
    for (int page = 0; page < pages; ++page) qlpdf_render(page, screen.data(), kW, kH);
    warm = std::min(warm, now_ms() - t0);
  }
  printf("quillo alone, in-process: %d pages drawn again in a warm process %.1f ms (%.2f ms a page)\n", pages, warm,
         warm / pages);
  // A revisit of a page still kept: a copy of the screen.
  qlpdf_render(0, screen.data(), kW, kH);
  const int revisits = 200;
  const double t0 = now_ms();
  for (int i = 0; i < revisits; ++i) qlpdf_render(0, screen.data(), kW, kH);
  printf("quillo alone, in-process: revisit of a kept page %.3f ms\n", (now_ms() - t0) / revisits);
  qlpdf_close();
  return 0;
}
