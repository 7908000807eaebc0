// Time from a page-turn tap to the presented frame, with the neighbour page pre-rendered into a
// slot (as the main loop does after each present) and without (the page laid out and drawn).
// Usage: page_turn_bench [turns] (default 200). Headless: the present step is the display layer's.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/support/zip_writer.h"
#include "shell/main_loop.h"
#include "app/reader/page_slots.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_present.h"
#include "base/ql_error.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "scratch_dir.h"

namespace {
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
std::string write_book(const ScratchDir& dir) {
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
  if (dir.path().empty()) return {};
  const std::string path = dir.path() + "/turns.epub";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return {};
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return path;
}

double now_ms() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Figures {
  double median, p90, worst;
};

// Turns forward `turns` times from page 1; each turn is timed from the tap's dispatch to the
// present. With `prerender`, the neighbours are rendered after each present, untimed.
Figures measure(int turns, bool prerender) {
  app.reader.page = 1;
  ++layout.generation;  // nothing kept from an earlier run counts
  std::vector<double> t;
  for (int i = 0; i < turns && app.reader.page + 2 < layout.page_count(); ++i) {
    if (prerender) prerender_neighbours();
    const double t0 = now_ms();
    TapEvent tap{1000, 800, 1000, 800, 0, TAP_EARLY};
    main_loop_dispatch(tap);
    app.reader.use_prerender = true;
    reader_draw_page();
    ui_present(false);
    t.push_back(now_ms() - t0);
  }
  std::sort(t.begin(), t.end());
  if (t.empty()) return {0, 0, 0};
  return {t[t.size() / 2], t[t.size() * 9 / 10], t.back()};
}
}  // namespace

int main(int argc, char** argv) {
  const int turns = argc > 1 ? atoi(argv[1]) : 200;
  const ScratchDir dir("qlturn");
  const std::string book = write_book(dir);
  if (book.empty() || !ql_init(1)) {
    fprintf(stderr, "cannot set up: %s\n", ql_error());
    return 1;
  }
  if (!ql_open(book.c_str()) || !layout_paginate(layout.font_px)) {
    fprintf(stderr, "cannot open the book: %s\n", ql_error());
    return 1;
  }
  app.reader.book_open = true;
  app.view = AppView::Reader;
  printf("book: %llu words, %zu pages, screen %dx%d\n", static_cast<unsigned long long>(ql_word_count()),
         layout.page_count(), ql_fb().width, ql_fb().height);
  const Figures with = measure(turns, true);
  const Figures without = measure(turns, false);
  printf("tap to present, pre-rendered slot: median %.3f ms  p90 %.3f ms  worst %.3f ms\n", with.median, with.p90,
         with.worst);
  printf("tap to present, drawn afresh:      median %.3f ms  p90 %.3f ms  worst %.3f ms\n", without.median,
         without.p90, without.worst);
  return 0;
}
