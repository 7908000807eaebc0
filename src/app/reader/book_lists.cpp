#include "app/reader/book_lists.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "app/reader/paginator.h"
#include "app/reader/reader_bookmark.h"
#include "app/reader/reader_words.h"
#include "app/reader/region_note.h"
#include "app/reader/ui_goto_page.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/toc.h"
#include "display/framebuffer.h"

namespace {
enum Tab { kContents = 0, kNotes = 1, kBookmarks = 2 };

constexpr int kRowHeight = 116;
constexpr int kTabBaseline = 174;
constexpr int kTabSize = 42;
constexpr int kRowSize = 40;
constexpr int kHeldMenuMs = 450;
constexpr size_t kNoteCapacity = 400;
constexpr size_t kHighlightTextMax = 200;

struct TabGeometry {
  int contents_w, notes_x, bookmarks_x;
};

TabGeometry tab_geometry() {
  const int wc = int(ql_measure("Contents", TS_UI_BOLD, kTabSize));
  const int wn = int(ql_measure("Notes", TS_UI_BOLD, kTabSize));
  return {wc, wc + 174, wc + wn + 218};
}

int rows_per_page() { return std::max((ql_fb().height - kListReservedH) / kRowHeight, 1); }

size_t row_count(int tab) {
  if (tab == kContents) return ql_toc_count();
  return tab == kNotes ? qla_hl_count() : qla_bm_count();
}

uint64_t last_page() { return std::max<uint64_t>(reader_page_total(), 1) - 1; }

// A contents entry's or a highlight's page: a word's page in a text book (the first without a
// pagination), the page itself in a PDF or comic.
uint64_t position_page(uint64_t pos) {
  if (ql_is_pdf()) return std::min(pos, last_page());
  return layout.page_count() ? layout_page_of_word(pos) : 0;
}

bool is_region(const Highlight& h) { return note_parse_region(h.note, strlen(h.note)).valid; }
}  // namespace

std::string book_lists_note_row(const Highlight& h) {
  std::string text;
  if (ql_is_pdf()) {
    const char* bar = strchr(h.note, '|');
    text = is_region(h) && bar ? bar + 1 : "page note";
  } else {
    char buffer[kHighlightTextMax];
    text = words_join_text(h.start, h.end, buffer, sizeof buffer);
  }
  const std::string quoted = "\"" + text + "\"";
  const std::string_view note = h.note;
  if (note.empty() || note == "mark" || is_region(h)) return "Highlight  " + quoted;
  return "Note: " + std::string(note) + "  \xE2\x80\x94  " + quoted;
}

namespace {

void draw_header(int tab, const TabGeometry& g) {
  const int w = ql_fb().width;
  ql_clear();
  ui_draw_status_bar();
  ql_line(0, 42, 156, 84, 156, 5);
  ql_line(0, 42, 156, 60, 138, 5);
  ql_line(0, 42, 156, 60, 174, 5);
  const std::array<std::pair<const char*, int>, 3> tabs = {
      {{"Contents", 130}, {"Notes", g.notes_x}, {"Bookmarks", g.bookmarks_x}}};
  for (int t = 0; t < 3; ++t) {
    const auto [label, x] = tabs[size_t(t)];
    const TextStyle face = t == tab ? TS_UI_BOLD : TS_UI;
    ql_text(label, face, kTabSize, float(x), kTabBaseline);
    if (t == tab) ql_rect(x, 192, int(ql_measure(label, TS_UI_BOLD, kTabSize)), 6, 0);
  }
  const float page_w = ql_measure("Page", TS_UI_BOLD, kTabSize);
  ql_text("Page", TS_UI_BOLD, kTabSize, float(w - 48) - page_w, kTabBaseline);
  ql_rect(0, 224, w, 2, 0);
}

struct Lists {
  explicit Lists(int first_tab) : tab(first_tab) {}

  int tab;
  uint64_t list_page = 0;
  // The current chapter, found on the first contents pass. A plain index: GCC 12 at -O2 takes
  // an optional member's value for uninitialized here.
  static constexpr size_t kNoChapter = SIZE_MAX;
  size_t chapter = kNoChapter;
  bool chapter_known = false;

  uint64_t list_pages() const {
    const size_t n = row_count(tab);
    return (n + size_t(rows_per_page()) - 1) / size_t(rows_per_page());
  }

  void find_chapter() {
    if (chapter_known) return;
    chapter_known = true;
    const TocEntry* toc = ql_toc();
    for (size_t i = 0; i < ql_toc_count(); ++i) {
      if (position_page(toc[i].pos) <= app.reader.page) chapter = i;
    }
    if (chapter != kNoChapter) list_page = chapter / size_t(rows_per_page());
  }

  void draw(const TabGeometry& g) {
    const int w = ql_fb().width, h = ql_fb().height;
    if (tab == kContents) find_chapter();
    draw_header(tab, g);
    const size_t n = row_count(tab);
    if (n == 0) {
      static constexpr std::array<const char*, 3> kEmpty = {
          "This book has no contents page.", "No highlights or notes yet.", "No bookmarks yet."};
      ql_text(kEmpty[size_t(tab)], TS_UI, 54, 48, 316);
    }
    const size_t first = size_t(list_page) * size_t(rows_per_page());
    for (size_t i = first; i < n && i < first + size_t(rows_per_page()); ++i) {
      const int r = int(i - first) * kRowHeight;
      draw_row(i, r + 300, w);
      ql_rect(48, r + 341, w - 96, 1, 170);
    }
    if (list_pages() > 1) {
      const std::string pager = ui_pager_label(list_page + 1, list_pages());
      const float pw = ql_measure(pager.c_str(), TS_UI, kTabSize);
      ql_text(pager.c_str(), TS_UI, kTabSize, float(int(float(w) - pw) / 2), float(h - 36));
    }
    ui_present(false);
  }

  void draw_row(size_t i, int baseline, int w) const {
    if (tab == kContents) {
      const TocEntry& e = ql_toc()[i];
      const int indent = int(std::min<uint32_t>(e.level, 4)) * 36;
      const TextStyle face = chapter == i ? TS_BOLD : TS_UI;  // as ui_draw_text_fit names its faces
      ui_draw_text_fit(e.title, face, kRowSize, indent + 48, baseline, w - indent - 200);
      const std::string page = std::to_string(position_page(e.pos) + 1);
      const float pw = ql_measure(page.c_str(), TS_UI, kTabSize);
      ql_text(page.c_str(), TS_UI, kTabSize, float(w - 48) - pw, float(baseline));
      return;
    }
    const std::string text = tab == kNotes
                                 ? book_lists_note_row(qla_hls()[i])
                                 : "Bookmark  \xC2\xB7  page " +
                                       std::to_string(reader_bookmark_page(qla_bms()[i], last_page() + 1) + 1);
    ui_draw_text_fit(text.c_str(), TS_UI, kRowSize, 48, baseline, w - 96);
  }

  void jump(size_t i) const {
    uint64_t page = 0;
    if (tab == kContents) page = position_page(ql_toc()[i].pos);
    if (tab == kNotes) page = position_page(qla_hls()[i].start);
    if (tab == kBookmarks) page = reader_bookmark_page(qla_bms()[i], last_page() + 1);
    app.reader.back_page = app.reader.page;
    app.reader.back_valid = true;
    app.reader.page = std::min(page, last_page());
  }

  // The long-press menu of a highlight or bookmark. A region highlight's note holds where the
  // highlight stands on the page, so it is not offered for editing.
  void row_menu(size_t i) {
    const bool editable = tab == kNotes && !is_region(qla_hls()[i]);
    static constexpr std::array<std::string_view, 2> kBoth = {"Edit note", "Delete"};
    const std::span<const std::string_view> rows =
        tab == kNotes && !editable ? std::span(kBoth).subspan(1) : std::span(kBoth);
    static constexpr char kTitle[] = "Note / highlight";
    const auto chosen = ui_list_menu(kTitle, sizeof kTitle - 1, rows);
    if (!chosen) return;
    if (rows[*chosen] == "Delete") {
      if (tab == kNotes) qla_hl_del(i);
      else qla_bm_del(i);
      list_page = std::min(list_page, std::max<uint64_t>(list_pages(), 1) - 1);
    } else if (editable) {
      edit_note(i);
    }
    ui_save_notes();
  }

  static void edit_note(size_t i) {
    char buffer[kNoteCapacity];
    const char* note = qla_hls()[i].note;
    const std::string_view initial = ui_utf8_prefix(note, kNoteCapacity - 1);
    static constexpr char kTitle[] = "Note";
    if (keyboard_edit(kTitle, sizeof kTitle - 1, buffer, sizeof buffer, initial.data(), initial.size(),
                      false)) {
      qla_hl_set_note(i, buffer);
    }
  }
};
}  // namespace

void book_lists_screen(int tab) {
  Lists lists(std::clamp(tab, 0, 2));
  app.present.waveform = kWaveformFull;
  ql_settle();
  const int w = ql_fb().width, h = ql_fb().height;
  for (;;) {
    const TabGeometry g = tab_geometry();
    lists.draw(g);
    TapEvent event;
    const PageKeyTaps keys = ui_pager_keys(w, h - kPagerKeyRise);
    ui_wait_event(event, &keys);
    if (event.code != TAP_TOUCH) continue;
    const int x = int(event.x), y = int(event.y);
    if (y < kListTop) {
      if (x < 112) return;
      if (x > w - 260) {
        goto_page_dialog();
        return;
      }
      lists.tab = x < g.contents_w + 154 ? kContents : x < g.bookmarks_x - 20 ? kNotes : kBookmarks;
      lists.list_page = 0;
    } else if (y <= h - kListPagerBand) {
      const int slot = (y - kListTop) / kRowHeight;
      const size_t row = size_t(lists.list_page) * size_t(rows_per_page()) + size_t(slot);
      if (slot >= rows_per_page() || row >= row_count(lists.tab)) continue;
      if (lists.tab == kContents || event.held_ms < kHeldMenuMs) {
        lists.jump(row);
        return;
      }
      lists.row_menu(row);
    } else if (x >= w / 2) {
      if (lists.list_page + 1 < lists.list_pages()) ++lists.list_page;
    } else if (lists.list_page > 0) {
      --lists.list_page;
    }
  }
}
