// A page turn as the program makes it, in one process: the tap dispatched, the page drawn (from the
// pre-rendered slot when one holds it), presented through the host as a headless run presents it,
// the position saved (written, flushed and renamed into place), then the neighbour pages
// pre-rendered. Each step is timed on its own (the save by the wall clock and its thread's CPU), and
// whole passes of the main loop (a tap waiting in the host's event ring before each) give a
// turn's wall time and the process's CPU time a turn, the folder-flushing thread's share included.
// Books: a generated EPUB of 60,000 words and a generated 100-page PDF of prose.
// Usage: page_turn_bench [turns] (default 200). Build a release tree for figures that mean something.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "app/reader/page_slots.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_present.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "base/sync_later.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "host/host_queue.h"
#include "library/document_scan.h"
#include "prose_pdf.h"
#include "scratch_dir.h"
#include "shell/app_connect.h"
#include "shell/main_loop.h"

namespace {
constexpr int kTapX = 1000, kTapY = 800;  // the early zone's forward side

std::string chapter(int n) {
  static const char* kWords[] = {"river",  "stone",  "quiet",  "morning", "lantern", "harbour",
                                 "window", "garden", "letter", "meadow",  "silver",  "anchor"};
  std::string body = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><h2>Chapter " + std::to_string(n) + "</h2><p>";
  for (int i = 0; i < 6000; i++) {
    if (i % 90 == 89) body += "</p><p>";
    body += kWords[(n * 31 + i * 7 + i / 13) % 12];
    body += ' ';
  }
  return body + "</p></body></html>";
}

// The book's file in `dir`; empty when it cannot be written.
std::string write_book(const std::string& dir) {
  std::vector<zipw::Member> m;
  m.push_back({"mimetype", "application/epub+zip", zipw::kStored});
  m.push_back({"META-INF/container.xml",
               "<container><rootfiles><rootfile full-path=\"OEBPS/content.opf\"/></rootfiles></container>"});
  std::string manifest, spine;
  for (int c = 1; c <= 10; c++) {
    const std::string id = "ch" + std::to_string(c);
    manifest += "<item id=\"" + id + "\" href=\"" + id + ".xhtml\" media-type=\"application/xhtml+xml\"/>";
    spine += "<itemref idref=\"" + id + "\"/>";
    m.push_back({"OEBPS/" + id + ".xhtml", chapter(c)});
  }
  m.push_back({"OEBPS/content.opf", "<package><metadata><dc:title>Turns</dc:title><dc:language>en</dc:language>"
                                    "</metadata><manifest>" + manifest + "</manifest><spine>" + spine +
                                        "</spine></package>"});
  const std::string bytes = zipw::build(m);
  const std::string path = dir + "/turns.epub";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return {};
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return path;
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of the whole process (every thread), in ms.
double process_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1000 + double(ts.tv_nsec) / 1e6;
}

// CPU time of the calling thread, in ms.
double thread_cpu_ms() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1000 + double(ts.tv_nsec) / 1e6;
}

struct Figures {
  std::vector<double> t;
  void add(double ms) { t.push_back(ms); }
  void print(const char* what) {
    if (t.empty()) return;
    std::sort(t.begin(), t.end());
    printf("  %-34s median %7.3f ms  p90 %7.3f ms  worst %7.3f ms\n", what, t[t.size() / 2],
           t[t.size() * 9 / 10], t.back());
  }
};

uint64_t page_count() {
  return ql_is_pdf() ? static_cast<uint64_t>(std::max(ql_page_count(), 0)) : layout.page_count();
}

// The steps of a turn in the main loop's order, each timed: from the tap to the presented page,
// the position saved after it, and (with `prerender`) the neighbours drawn for the next turn.
void measure_steps(int turns, bool prerender) {
  app.reader.page = 1;
  app.reader.early_pending = false;
  ++layout.generation;  // nothing kept from an earlier run counts
  Figures shown, saved, saved_cpu, ahead;
  for (int i = 0; i < turns && app.reader.page + 2 < page_count(); ++i) {
    if (prerender) {
      const double t0 = now_ms();
      prerender_neighbours();
      ahead.add(now_ms() - t0);
    }
    const double t0 = now_ms();
    main_loop_dispatch(TapEvent{kTapX, kTapY, kTapX, kTapY, 0, TAP_EARLY});
    app.reader.use_prerender = true;
    reader_draw_page();
    ui_present(false);
    const double t1 = now_ms(), c1 = thread_cpu_ms();
    main_loop_save_position();
    shown.add(t1 - t0);
    saved.add(now_ms() - t1);
    saved_cpu.add(thread_cpu_ms() - c1);
  }
  shown.print(prerender ? "tap to present, pre-rendered slot" : "tap to present, drawn afresh");
  saved.print("position saved after the present");
  saved_cpu.print("  the save's CPU (its thread)");
  if (prerender) ahead.print("neighbours pre-rendered");
}

// Whole passes of the main loop, each finding a tap in the event ring: a turn's wall time and the
// process's CPU time a turn.
void measure_passes(int turns) {
  app.reader.page = 1;
  app.reader.early_pending = false;
  ++layout.generation;
  Figures wall;
  int done = 0;
  const double cpu0 = process_cpu_ms();
  for (; done < turns && app.reader.page + 2 < page_count(); ++done) {
    host_tap(kTapX, kTapY);
    const double t0 = now_ms();
    main_loop_pass();
    wall.add(now_ms() - t0);
  }
  const double cpu = process_cpu_ms() - cpu0;
  // The last tap's release is still in the ring: taken now, it ends that gesture.
  int x = 0, y = 0, x2 = 0, y2 = 0, held = 0;
  ql_touch_poll(&x, &y, &x2, &y2, &held, 1);
  wall.print("whole pass of the main loop");
  if (done > 0) printf("  CPU a turn (every thread): %.3f ms over %d turns\n", cpu / done, done);
}

bool open_book(const std::string& path) {
  if (!ql_open(path.c_str())) return false;
  if (!ql_is_pdf() && !layout_paginate(layout.font_px)) return false;
  snprintf(app.reader.open_path, sizeof app.reader.open_path, "%s", path.c_str());
  app.reader.book_open = true;
  app.reader.page_turns = 0;
  app.view = AppView::Reader;
  return true;
}

void bench_book(const std::string& path, int turns) {
  if (!open_book(path)) {
    fprintf(stderr, "cannot open %s: %s\n", path.c_str(), ql_error());
    exit(1);
  }
  const std::string_view name = path_file_name(path);
  if (ql_is_pdf()) {
    printf("\n%.*s: %d pages, screen %dx%d\n", int(name.size()), name.data(), ql_page_count(),
           ql_fb().width, ql_fb().height);
    measure_steps(turns, false);
  } else {
    printf("\n%.*s: %llu words, %zu pages, screen %dx%d\n", int(name.size()), name.data(),
           static_cast<unsigned long long>(ql_word_count()), layout.page_count(), ql_fb().width,
           ql_fb().height);
    measure_steps(turns, true);
    measure_steps(turns, false);
  }
  measure_passes(turns);
  qlpdf_close();
}
}  // namespace

int main(int argc, char** argv) {
  const int turns = argc > 1 ? atoi(argv[1]) : 200;
  const ScratchDir dir("qlturn");
  if (dir.path().empty()) return 1;
  // The program's own folders inside the scratch folder, so the saves land there.
  const std::string data = dir.path() + "/data", tmp = dir.path() + "/tmp";
  for (const std::string& d : {data, data + "/ql", data + "/ql/state", data + "/documents", tmp}) {
    mkdir(d.c_str(), 0755);
  }
  ql_set_root(data.c_str(), tmp.c_str());
  app_connect_hooks();
  const std::string epub = write_book(data + "/documents");
  const std::string pdf = write_prose_pdf(data + "/documents/prose.pdf", 100);
  // Presents go through the host's frame as in a headless run (no window shows them).
  if (epub.empty() || !ql_init(0)) {
    fprintf(stderr, "cannot set up: %s\n", ql_error());
    return 1;
  }
  printf("a turn in one process, %d turns a book (timer: steady clock; CPU: the process's clock)\n",
         turns);
  bench_book(epub, turns);
  bench_book(pdf, turns);
  sync_pending_now();
  return 0;
}
