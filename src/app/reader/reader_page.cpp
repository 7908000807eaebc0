#include "app/reader/reader_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/reader/line_walker.h"
#include "app/reader/page_slots.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_bookmark.h"
#include "app/reader/region_note.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_state.h"
#include "base/ql_error.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/book_pictures.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"

namespace {
constexpr uint8_t kHighlightGrey = 205;
constexpr float kHighlightTop = 0.85f;    // of the text size, above the baseline
constexpr float kHighlightHeight = 1.1f;  // of the text size
constexpr int kListNumberGap = 8;
constexpr float kSuperscriptRise = 0.34f;  // of the text size
constexpr int kFooterSize = 30;
constexpr int kFooterBaselineUp = 30;
constexpr int kFooterSide = 56;
constexpr int kRibbonFromRight = 60;
constexpr int kRibbonWidth = 36;
constexpr int kRibbonHeight = 70;
constexpr uint64_t kWordsPerMinute = 250;
constexpr uint64_t kWordsPerHour = kWordsPerMinute * 60;
constexpr size_t kFooterTextMax = 48;
constexpr uint8_t kRegionShade = 200;
constexpr int kRegionPad = 2;
constexpr int kPdfErrorSize = 28;
constexpr int kPdfErrorX = 48;
constexpr int kPdfErrorY = 300;

enum FooterMode : uint8_t { FOOT_TIME_LEFT = 0, FOOT_PAGE = 1, FOOT_PERCENT = 2, FOOT_NONE = 3 };

// A footer text built in a small buffer; one that does not fit is shown empty.
template <class... Args>
std::string footer_text(const char* format, Args... args) {
  char buf[kFooterTextMax];
  const int n = snprintf(buf, sizeof buf, format, args...);
  return n < 0 || static_cast<size_t>(n) >= sizeof buf ? std::string() : std::string(buf, n);
}

bool is_highlighted(uint64_t word) {
  const Highlight* hls = qla_hls();
  for (size_t i = 0; i < qla_hl_count(); ++i) {
    if (word >= hls[i].start && word < hls[i].end) return true;
  }
  return false;
}

void draw_picture_line(const LayoutLine& line, const PageGeometry& g) {
  int iw = 0, ih = 0;
  PictureBox box{0, 0};
  if (ql_img_dims(line.word_from, &iw, &ih) != 1 || !picture_box(g, iw, ih, &box)) box = {0, 0};
  const int dw = static_cast<int>(box.width);
  const int dh = static_cast<int>(box.height);
  const int x = static_cast<int>(g.margin + (g.text_width - static_cast<float>(dw)) / 2);
  const int y = static_cast<int>(line.y);
  if (ql_img_draw(line.word_from, x, y, dw, dh) == 1) ql_mark(x, y, dw, dh, MASK_PICTURE);
}

void draw_list_number(uint32_t number, float y, const PageMetrics& m) {
  char text[16];
  snprintf(text, sizeof text, "%u.", number);
  const float size = static_cast<float>(layout.font_px * 13 / 20);
  const float x = std::max(m.margin - ql_measure(text, TS_REGULAR, size) - kListNumberGap, 2.0f);
  ql_text(text, TS_REGULAR, size, x, y);
}

void draw_text_line(const LayoutLine& line, const PageMetrics& m) {
  const float s = m.size;
  walk_line(line, m, [&](const PlacedWord& p) {
    const BookWord& w = m.words[p.index];
    if (is_highlighted(p.index)) {
      // The shading reaches over the space after the word, stretched as justification made it,
      // so a highlight across a justified line has no white slivers between its words.
      const float after = std::max(m.space, p.gap_after);
      ql_rect(static_cast<int>(p.x - 2), static_cast<int>(line.y - kHighlightTop * s),
              static_cast<int>(p.width + after + 4), static_cast<int>(kHighlightHeight * s),
              kHighlightGrey);
    }
    if (p.line_start && w.num != 0 && line.start_off == 0) draw_list_number(w.num, line.y, m);
    if (w.sup && w.style != STYLE_PICTURE) {
      const float size = static_cast<float>(layout.font_px * 7 / 10);
      ql_text(p.shown.data(), w.style, size, p.x, line.y - kSuperscriptRise * s);
    } else {
      ql_text(p.shown.data(), w.style, s, p.x, line.y);
    }
    return true;
  });
}

// A text page from the pre-rendered slot when one holds it, else drawn now.
void draw_text_page() {
  bool drawn = false;
  if (app.reader.use_prerender) {
    app.reader.use_prerender = false;
    bool paper_mask = false;
    if (const uint8_t* pixels = page_bitmap_cached(app.reader.page, &paper_mask)) {
      ql_blit_frame(pixels, paper_mask);
      drawn = true;
    }
  }
  if (!drawn) reader_render_text_page(app.reader.page);
}

// The words after the first word of the page; the whole book for a page not in the table.
uint64_t words_left_from(uint64_t page) {
  const uint64_t count = ql_word_count();
  if (page >= layout.page_count()) return count;
  const uint64_t first = layout.page_first_word(page);
  return first > count ? 0 : count - first;
}
}  // namespace

std::string reading_time_left(uint64_t words_left) {
  const uint64_t minutes = words_left / kWordsPerMinute;
  if (words_left < kWordsPerHour)
    return footer_text("%llu min left", static_cast<unsigned long long>(minutes));
  return footer_text("%llu h %llu min left",
                     static_cast<unsigned long long>(words_left / kWordsPerHour),
                     static_cast<unsigned long long>(minutes % 60));
}

FooterTexts reader_footer_texts(uint64_t page, uint64_t pages) {
  FooterTexts t;
  const uint8_t mode = ui_state.foot;
  if (mode >= FOOT_NONE) return t;
  const auto percent = static_cast<unsigned long long>(pages == 0 ? 0 : (page + 1) * 100 / pages);
  t.right = footer_text("%llu%%", percent);
  const bool pdf = ql_is_pdf() != 0;
  if (mode == FOOT_PAGE || (mode == FOOT_TIME_LEFT && pdf)) {
    t.left = footer_text("Page %llu of %llu", static_cast<unsigned long long>(page + 1),
                         static_cast<unsigned long long>(pages));
  } else if (mode == FOOT_TIME_LEFT) {
    t.left = reading_time_left(words_left_from(page));
  }
  return t;
}

void reader_draw_footer(uint64_t page, uint64_t pages) {
  const FooterTexts t = reader_footer_texts(page, pages);
  const Framebuffer& fb = ql_fb();
  const auto y = static_cast<float>(fb.height - kFooterBaselineUp);
  if (!t.left.empty()) ql_text(t.left.c_str(), TS_UI, kFooterSize, kFooterSide, y);
  if (!t.right.empty()) {
    const int width = static_cast<int>(ql_measure(t.right.c_str(), TS_UI, kFooterSize));
    ql_text(t.right.c_str(), TS_UI, kFooterSize, static_cast<float>(fb.width - width - kFooterSide),
            y);
  }
}

void reader_render_text_page(uint64_t page) {
  ql_clear();
  if (page >= layout.page_count()) return;
  const PageMetrics m = reader_page_metrics();
  const PageGeometry g = page_geometry(layout, ql_fb().width, ql_fb().height);
  const auto [first, last] = layout.page_lines(page);
  for (size_t i = first; i < last; ++i) {
    const LayoutLine& line = layout.lines[i];
    if (is_picture_line(line, m)) {
      draw_picture_line(line, g);
    } else {
      draw_text_line(line, m);
    }
  }
  reader_draw_footer(page, layout.page_count());
}

void reader_draw_pdf_highlights() {
  const Highlight* hls = qla_hls();
  for (size_t i = 0; i < qla_hl_count(); ++i) {
    if (hls[i].start != app.reader.page) continue;
    const RegionNote r = note_parse_region(hls[i].note, strnlen(hls[i].note, sizeof hls[i].note));
    if (!r.valid) continue;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    qlpdf_page_to_screen(r.x0, r.y0, &x0, &y0);
    qlpdf_page_to_screen(r.x1, r.y1, &x1, &y1);
    ql_shade(x0 - kRegionPad, y0 - kRegionPad, x1 - x0 + 2 * kRegionPad, y1 - y0 + 2 * kRegionPad,
             kRegionShade);
  }
}

void reader_draw_page() {
  if (ql_is_pdf()) {
    if (!ql_pdf_draw(app.reader.page)) {
      ql_clear();
      ql_text(ql_error(), TS_UI, kPdfErrorSize, kPdfErrorX, kPdfErrorY);
    }
    reader_draw_pdf_highlights();
    reader_draw_footer(app.reader.page, static_cast<uint64_t>(std::max(ql_page_count(), 0)));
  } else {
    draw_text_page();
  }
  if (reader_page_bookmark()) {
    ql_rect(ql_fb().width - kRibbonFromRight, 0, kRibbonWidth, kRibbonHeight, 0);
  }
}

