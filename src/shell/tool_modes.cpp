#include "shell/tool_modes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/reader/reader_page.h"
#include "shell/screen_shots.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_wait.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_state.h"
#include "base/number_parse.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/covers.h"
#include "book/pdf_adapter.h"
#include "book/toc.h"
#include "display/framebuffer.h"
#include "display/hyphenation.h"
#include "library/document_scan.h"
#include "library/library_view.h"
#include "library/scan_cache.h"
#include "store/opds_parse.h"

namespace {
constexpr int kMaxBreaks = 24;
constexpr uint32_t kOpeningFrames = 1000;

// The book the screenshot mode opens, named when it cannot be opened.
const char* opened_book = nullptr;
void report_unopened_book() { fprintf(stderr, "quillo: %s could not be opened\n", opened_book); }

// The frame exists but is never shown.
bool init_headless() {
  if (ql_init(1)) return true;
  fprintf(stderr, "%s\n", ql_error());
  return false;
}

// The tool modes lay books out with the settings' text size, margin and line spacing.
void take_layout_settings() {
  layout.font_px = settings.font;
  layout.margin_px = settings.margin;
  layout.line_pct = settings.line;
}

std::string hyphenated(const char* word) {
  uint32_t points[kMaxBreaks];
  int n = ql_hyphens(word, points, kMaxBreaks);
  size_t len = strlen(word);
  std::string out;
  size_t from = 0;
  for (int i = 0; i < n; ++i) {
    // Break points are ascending offsets inside the word; anything else is not ours to print.
    if (points[i] <= from || points[i] >= len) continue;
    out.append(word + from, points[i] - from);
    out += '-';
    from = points[i];
  }
  out.append(word + from, len - from);
  return out;
}
}  // namespace

AppResult tool_render(int argc, char** argv) {
  if (!init_headless()) return 1u;
  qls_load(settings);
  take_layout_settings();
  layout.align = false;  // the interface state is not read: text is justified
  qlpdf_keep_pages(false);  // the one page is drawn once
  if (!ql_open(argv[2])) {
    layout_free();
    ql_close();
    return 1u;
  }
  if (ql_is_pdf()) {
    ql_toc_from_pdf();
  } else {
    ql_toc_from_words();
    if (!layout_paginate(layout.font_px)) {
      layout_free();
      ql_close();
      return AppError::OutOfMemory;
    }
  }
  app.reader.page = page_index_arg(argc > 4 ? argv[4] : nullptr);
  const uint64_t pages =
      ql_is_pdf() ? static_cast<uint64_t>(std::max(ql_page_count(), 0)) : layout.page_count();
  if (app.reader.page >= pages) {
    // A picture of a page that does not exist (blank, or a message) would pass for a drawn one.
    fprintf(stderr, "quillo: page %llu is past the end of the book (%llu pages)\n",
            static_cast<unsigned long long>(app.reader.page + 1),
            static_cast<unsigned long long>(pages));
    layout_free();
    ql_close();
    return 1u;
  }
  reader_draw_page();
  const bool written = ql_png(argv[3]) == 1;
  layout_free();
  ql_close();
  return written ? AppResult(0u) : AppResult(AppError::PngWriteFailed);
}

AppResult tool_hyphenate(int argc, char** argv) {
  ql_hy_lang(argv[2]);
  for (int i = 3; i < argc; ++i) {
    std::string line = hyphenated(argv[i]) + "\n";
    fwrite(line.data(), 1, line.size(), stderr);
  }
  return 0u;
}

AppResult tool_bench_open(int argc, char** argv) {
  if (!init_headless()) return 1u;
  qls_load(settings);
  uint32_t repeat = 1;
  if (argc > 3) repeat = parse_unsigned(argv[3]).value_or(1);
  take_layout_settings();
  for (uint32_t i = 0; i < repeat; ++i) {
    const double t0 = ql_now_ms();
    if (!ql_open(argv[2])) return 1u;
    const double t1 = ql_now_ms();
    const bool pdf = ql_is_pdf() != 0;
    if (!pdf && !layout_paginate(layout.font_px)) return AppError::OutOfMemory;
    const double t2 = ql_now_ms();
    if (pdf) {
      ql_pdf_draw(0);
    } else {
      reader_render_text_page(layout.page_count() / 2);
    }
    const double t3 = ql_now_ms();
    const uint64_t pages = pdf ? static_cast<uint64_t>(ql_page_count()) : layout.page_count();
    fprintf(stderr, "open %.1f ms  layout %.1f ms  draw %.1f ms  words %llu pages %llu\n", t1 - t0,
            t2 - t1, t3 - t2, static_cast<unsigned long long>(ql_word_count()),
            static_cast<unsigned long long>(pages));
  }
  return 0u;
}

AppResult tool_opds_parse(int, char** argv) {
  fprintf(stderr, "opds entries %d\n", ql_opds_parse(argv[2]));
  return 0u;
}

AppResult tool_screen(int argc, char** argv) {
  const std::string_view name = argv[2];
  const ScreenShot* shot = screen_shot_named(name);
  if (!shot || !shot->show) {
    fprintf(stderr, "quillo: there is no screen \"%s\"; the screens are %s\n", argv[2],
            screen_shot_names().c_str());
    return kScreenshotNothingStatus;
  }
  if (shot->book == ScreenBook::Given && argc < 5) {
    fprintf(stderr,
            "quillo: no book was given (quillo --screen %s OUT.png BOOK [PAGE]), so the screen "
            "\"%s\" shows none\n",
            argv[2], argv[2]);
  }
  if (!init_headless()) return 1u;
  app.screenshot.on = true;
  app.screenshot.png = argv[3];
  // A picture of a screen changes nothing the reader keeps: the book opens without recording a
  // position or progress, a screen that ends in a wait leaves without saving, and the scan and the
  // covers fill only their caches in memory.
  app_hooks.record_progress = nullptr;
  app_hooks.save_progress = nullptr;
  app_hooks.persist_all = nullptr;
  sc_keep_file(false);
  cover_files_keep(false);
  qls_load(settings);
  take_layout_settings();
  ui_state_load();
  // Frames drawn while the book opens ("Opening...") only count down; the screen's own present
  // writes the PNG and ends the process.
  app.screenshot.frames = kOpeningFrames;
  if (argc > 4) {
    // A book that cannot be opened ends the process from the wait after its message.
    opened_book = argv[4];
    const QuitCleanup report(report_unopened_book);
    book_open(argv[4], strlen(argv[4]));
    if (argc > 5) app.reader.page = page_index_arg(argv[5]);
  }
  app.screenshot.frames = 1;
  if (shot->book == ScreenBook::InLibrary) {
    library_rescan_documents();
    if (ql_entries().empty()) {
      char documents[4096];
      fprintf(stderr,
              "quillo: the screen \"%s\" shows a book of the documents folder, and %s holds none\n",
              argv[2], ql_path(library_documents_root(), documents, sizeof documents));
      return kScreenshotNothingStatus;
    }
  }
  // A screen that presents ends the process.
  shot->show(name);
  return kScreenshotNothingStatus;
}
