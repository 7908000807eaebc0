#include "app/reader/reader_open.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "app/reader/layout_cache.h"
#include "app/reader/paginator.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_state.h"
#include "base/paths.h"
#include "base/ql_error.h"
#include "base/system_services.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/toc.h"
#include "display/framebuffer.h"

namespace {
constexpr uint64_t kIdentitySizeFactor = 1000003;
constexpr int kOpenFailWaitMs = 3000;
constexpr int kNoPagesWaitMs = 2500;
constexpr std::string_view kOpening = "Opening...";
constexpr std::string_view kNoPages = "This book has no readable pages.";

bool layout_matches_settings() {
  return layout.font_px == settings.font && layout.margin_px == settings.margin &&
         layout.line_pct == settings.line && layout.align == ui_state.align;
}

// The loaded book can be shown again as it stands: same path, same file, same layout inputs, and
// the page it was left on still exists.
bool can_reuse(const char* path, size_t length) {
  if (!app.reader.book_open) return false;
  if (length != strnlen(app.reader.open_path, sizeof app.reader.open_path) ||
      memcmp(path, app.reader.open_path, length) != 0) {
    return false;
  }
  if (!layout_matches_settings()) return false;
  if (book_file_identity(app.reader.open_path) != app.reader.book_stamp) return false;
  return ql_is_pdf() || app.reader.page < layout.page_count();
}

void show_reader(bool full) {
  if (full) app.present.clean = false;
  app.view = AppView::Reader;
  app.reader.page_turns = 0;
  app.reader.back_valid = false;
  app.reader.back_page = 0;
}

// A failure message that stays until a touch or the time-out; a quit saves and ends.
void fail_open(std::string_view message, int wait_ms) {
  ui_toast_wait(message.data(), message.size(), wait_ms);
  app.reader.book_open = false;
}
}  // namespace

void layout_generation_advance() { ++layout.generation; }

uint64_t book_file_identity(const char* path) {
  const auto mtime = static_cast<uint64_t>(ql_file_mtime(path));
  const auto size = static_cast<uint64_t>(ql_file_size(path));
  return mtime + size * kIdentitySizeFactor;
}

void book_bookmarks_attach_tokens() {
  if (ql_is_pdf()) return;
  const uint64_t pages = layout.page_count();
  bool changed = false;
  for (size_t i = 0; i < qla_bm_count(); ++i) {
    const Bookmark& bm = qla_bms()[i];
    if (bm.is_tok) continue;
    const uint64_t page = pages == 0 ? 0 : std::min(bm.pos, pages - 1);
    qla_bm_set_tok(i, layout.page_first_word(page));
    changed = true;
  }
  // The screenshot mode only looks: the tokens serve this run.
  if (changed && !app.screenshot.on) ui_save_notes();
}

void book_open(const char* path, size_t length) {
  layout_generation_advance();
  // Keyed by its device path however it was named, so position, notes and progress are one.
  const std::string device = ql_device_path(std::string(path, length).c_str());
  path = device.c_str();
  length = std::min(device.size(), sizeof app.reader.open_path - 1);
  if (app.reader.book_open) {
    if (app_hooks.record_progress) app_hooks.record_progress();
    if (can_reuse(path, length)) {
      show_reader(true);
      return;
    }
  }
  // The path is copied first: the caller's text may live in state the open replaces.
  char chosen[sizeof app.reader.open_path] = {};
  memcpy(chosen, path, length);
  memcpy(app.reader.open_path, chosen, sizeof chosen);
  app.reader.book_open = false;
  ui_toast(kOpening.data(), kOpening.size());

  if (!ql_open(app.reader.open_path)) {
    const std::string message = ql_error();
    fail_open(message, kOpenFailWaitMs);
    return;
  }
  ql_tmark("open:parsed");
  app.reader.book_stamp = book_file_identity(app.reader.open_path);
  // Notes whose save failed stay held in memory (and are what reopening their book shows); they
  // get another try before another book's notes take the table.
  ui_retry_failed_saves();
  // Word positions saved before hidden text was left out move onto the words kept now; a PDF's
  // pages and positions never move.
  const BookModel* renumber = ql_is_pdf() ? nullptr : &ql_book();
  qla_load(app.reader.open_path, renumber);
  if (ql_is_pdf()) {
    ql_toc_from_pdf();
  } else if (ql_toc_from_nav() == 0) {
    ql_toc_from_words();
  }
  ql_tmark("open:toc");
  const uint64_t position = ql_load_position(app.reader.open_path, nullptr, renumber);
  layout.font_px = settings.font;
  layout.margin_px = settings.margin;
  layout.line_pct = settings.line;
  layout.align = ui_state.align;
  if (ql_is_pdf()) {
    const int count = ql_page_count();
    app.reader.page =
        count <= 0 ? 0 : std::min<uint64_t>(position, static_cast<uint64_t>(count) - 1);
  } else {
    // Running out of memory keeps what was laid out; no line at all is the failure below.
    (void)layout_cache_load();
    if (layout.lines.empty()) {
      fail_open(kNoPages, kNoPagesWaitMs);
      return;
    }
    app.reader.page = layout_page_of_word(position);
    app.reader.book_open = true;  // the notes are saved under the open path
    book_bookmarks_attach_tokens();
  }
  ql_tmark("open:paginated");
  app.reader.book_open = true;
  show_reader(true);
  if (app_hooks.record_progress) app_hooks.record_progress();
  app_call(app_hooks.save_progress);
}
