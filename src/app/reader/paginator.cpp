#include "app/reader/paginator.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "app/reader/layout_cache.h"
#include "app/reader/line_walker.h"
#include "app/reader/word_breaks.h"
#include "base/utf8.h"
#include "book/book_pictures.h"
#include "display/framebuffer.h"
#include "display/hyphenation.h"

PageTable layout;

namespace {
constexpr float kHeadingAdvance = 1.35f;  // heading lines advance this much more than body text
constexpr float kParagraphGap = 0.48f;    // times the text size, before a new block
constexpr float kPictureGap = 0.6f;       // times the text size, after a picture
constexpr float kLineNeeds = 0.35f;       // of its advance, a line needs this much above the bottom
constexpr float kPictureScaleMax = 1.6f;
constexpr float kTopBelowSize = 72;  // first baseline = text size + this
constexpr float kBottomBand = 92;    // the footer's band at the bottom of the page
constexpr float kPictureHeightMargin = 300;
constexpr int kMaxBreaks = 24;
constexpr size_t kMaxKnownWidths = 16384;  // distinct words kept measured, per style
// A word too wide for a line breaks after one of these when the piece before it fills at least
// this share of the line; otherwise it breaks after its last character that fits.
constexpr std::string_view kBreakAfter = "/-._";
constexpr float kBreakAfterReach = 0.5f;
constexpr size_t kLineGrowth = 3;
constexpr size_t kPageGrowth = 16;

// Appends with the tables' growth rule (needed count plus half of it plus a constant); false
// when memory runs out, the table keeping what it had.
template <class T>
bool append(std::vector<T>& table, const T& item, size_t growth) {
  if (table.size() == table.capacity()) {
    try {
      table.reserve(table.size() + table.size() / 2 + growth);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  table.push_back(item);
  return true;
}

bool picture_dims_of_book(uint64_t word, int* w, int* h) { return ql_img_dims(word, w, h) == 1; }

class Paginator {
 public:
  Paginator(PageTable& table, const LayoutSource& source)
      : t_(table),
        src_(source),
        words_(source.words),
        g_(page_geometry(table, source.screen_w, source.screen_h)),
        space_(source.measure(" ", TS_REGULAR, g_.size)),
        body_advance_(static_cast<float>(table.line_pct) / 100.0f * g_.size),
        y_(g_.top) {}

  bool run() {
    if (!append(t_.page_starts, uint64_t{0}, kPageGrowth)) return false;
    while (next_ < words_.size()) {
      bool ok = words_[next_].style == STYLE_PICTURE ? place_picture() : place_text_line();
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool page_has_line() const { return t_.lines.size() > t_.page_starts.back(); }

  bool start_page() {
    y_ = g_.top;
    return append(t_.page_starts, uint64_t{t_.lines.size()}, kPageGrowth);
  }

  float measure(std::string_view text, uint8_t style) const {
    return src_.measure(text.data(), style, g_.size);
  }

  // A book repeats its words, so each distinct word is measured once per style (its text stays in
  // the book for the whole pagination). The words met first are kept, up to a bound: the common
  // ones come early, and memory does not grow with the book.
  float word_width(uint64_t k) {
    const BookWord& w = words_[k];
    if (w.style >= widths_.size()) return measure(piece_.make(w.text, 0, 0), w.style);
    auto& widths = widths_[w.style];
    // A piece shows at most this much of a word, so the rest cannot change its width.
    const std::string_view text(w.text, strnlen(w.text, kMaxPieceBytes + 1));
    if (const auto known = widths.find(text); known != widths.end()) return known->second;
    const float width = measure(piece_.make(w.text, 0, 0), w.style);
    if (widths.size() < kMaxKnownWidths) {
      try {
        widths.emplace(text, width);
      } catch (const std::bad_alloc&) {
        widths.clear();  // measuring goes on without them
      }
    }
    return width;
  }

  // Whether word k may continue a line whose first word is (or is not) a heading.
  bool continues_line(uint64_t k, bool heading) const {
    const BookWord& w = words_[k];
    return w.brk == BRK_NONE && w.style != STYLE_PICTURE && (w.style == STYLE_HEADING) == heading;
  }

  // Whether no line may end before word k: it is glued to the word before it, or follows it
  // after a no-break space.
  bool is_bound(uint64_t k) const { return words_[k].join || words_[k].tie; }

  // Width of the run that starts at k (k and the words bound to it, with a space before each
  // tied one), measured only until it exceeds `room`; `gaps` counts its spaces. A run is placed
  // whole, or ended after a dash inside it, or, when it is wider than a line, broken word by
  // word.
  float run_width(uint64_t k, bool heading, float room, uint64_t* run_end, uint64_t* gaps) {
    float width = word_width(k);
    uint64_t e = k + 1;
    *gaps = 0;
    while (e < words_.size() && is_bound(e) && continues_line(e, heading) && width <= room) {
      if (!words_[e].join) {
        width += space_;
        ++*gaps;
      }
      width += word_width(e);
      ++e;
    }
    *run_end = e;
    return width;
  }

  bool place_picture() {
    const uint64_t i = next_++;
    // A document that opens with a picture starts a page even when the picture has no size: the
    // next line placed takes the section start.
    if (words_[i].brk == BRK_DOCUMENT) section_pending_ = true;
    int iw = 0, ih = 0;
    PictureBox box{};
    if (!src_.picture_size || !src_.picture_size(i, &iw, &ih) || !picture_box(g_, iw, ih, &box)) {
      return true;
    }
    const bool section = std::exchange(section_pending_, false);
    if (page_has_line() && (section || y_ + box.height > g_.bottom) && !start_page()) return false;
    if (!append(t_.lines, LayoutLine{i, i + 1, 0, y_, box.width, 0, 0, false}, kLineGrowth)) {
      return false;
    }
    y_ += kPictureGap * g_.size + box.height;
    return true;
  }

  // The first break point of word w after byte `from`, in the order word_break_points gives them
  // (soft hyphens, then pattern points, each from the last), whose hyphenated piece fits `room`.
  std::optional<uint16_t> hyphen_point(const BookWord& w, uint32_t from, float room) {
    uint32_t points[kMaxBreaks];
    const int count = word_break_points(w.text, src_.hyphens, points, kMaxBreaks);
    const size_t len = strnlen(w.text, size_t{from} + kMaxPieceBytes);
    for (int j = 0; j < count; ++j) {
      const uint32_t point = points[j];
      // The piece and its hyphen must fit in one piece; the rest must not be empty.
      if (point <= from || point >= len || point - from + 1 > kMaxPieceBytes) continue;
      if (measure(piece_.make(w.text, from, point), w.style) <= room) {
        return static_cast<uint16_t>(point);
      }
    }
    return std::nullopt;
  }

  // Where a line may end after a dash inside the run that starts at word k: in `word` at byte
  // `point`, or after the whole word (the next one glued to it after its dash). `width` is the
  // run's width up to there and `gaps` its spaces.
  struct DashEnd {
    uint64_t word;
    uint16_t point;
    bool whole;
    float width;
    uint64_t gaps;
  };

  // The dash end of the run at k that reaches farthest and still fits `room`.
  std::optional<DashEnd> dash_end(uint64_t k, bool heading, float room) {
    std::optional<DashEnd> best;
    float before = 0;  // the run's words before `e`, with their spaces
    uint64_t gaps = 0;
    for (uint64_t e = k; e < words_.size() && (e == k || (is_bound(e) && continues_line(e, heading)));
         ++e) {
      const BookWord& w = words_[e];
      if (e > k && !w.join) {
        before += space_;
        ++gaps;
      }
      if (before > room) break;
      GluedText glued;
      if (w.join && e > 0) glued.before = words_[e - 1].text;
      if (e + 1 < words_.size() && words_[e + 1].join && continues_line(e + 1, heading)) {
        glued.after = words_[e + 1].text;
      }
      uint32_t points[kMaxBreaks];
      const int count = dash_break_points(w.text, points, kMaxBreaks, glued);
      const size_t len = strnlen(w.text, kMaxPieceBytes + 1);
      for (int j = 0; j < count; ++j) {
        if (points[j] > kMaxPieceBytes) continue;
        const bool whole = points[j] == len;
        const float width =
            before + (whole ? word_width(e) : measure(piece_.make(w.text, 0, points[j], false), w.style));
        if (width <= room) {
          best = DashEnd{e, static_cast<uint16_t>(points[j]), whole, width, gaps};
          break;
        }
      }
      before += word_width(e);
    }
    return best;
  }

  // Tries to end the line inside the run that starts at word k: after a dash in it, or at a
  // hyphenation point of word k, whichever fills more of the line. True when it did, with the
  // line's end set and `next` and `cut` at the word and byte the next line begins with.
  bool split_at(uint64_t k, LayoutLine& line, uint64_t* next, uint16_t* cut) {
    const BookWord& w = words_[k];
    const float sep = w.join ? 0 : space_;
    const float room = g_.text_width - line.width - sep;
    const std::optional<DashEnd> dash = dash_end(k, false, room);
    const std::optional<uint16_t> hyphen = hyphen_point(w, 0, room);
    if (!dash && !hyphen) return false;
    // A dash end past word k, or after all of it, reaches farther than any point inside it.
    const bool at_dash =
        dash && (!hyphen || dash->word > k || dash->whole || dash->point >= *hyphen);
    if (!w.join) ++line.gaps;
    if (at_dash) {
      line.width += sep + dash->width;
      line.gaps += dash->gaps;
      line.word_to = dash->word + 1;
      line.cut_off = dash->whole ? 0 : dash->point;
      line.bare_cut = !dash->whole;
      *next = dash->whole ? dash->word + 1 : dash->word;
      *cut = line.cut_off;
      return true;
    }
    line.width += sep + measure(piece_.make(w.text, 0, *hyphen), w.style);
    line.word_to = k + 1;
    line.cut_off = *hyphen;
    *next = k;
    *cut = *hyphen;
    return true;
  }

  // Whether the rest of word w from byte `from`, `width` wide, is too wide for a line or too
  // long for one piece.
  bool needs_breaking(const BookWord& w, uint32_t from, float width) const {
    return width > g_.text_width || strnlen(w.text + from, kMaxPieceBytes + 1) > kMaxPieceBytes;
  }

  // Where word w, starting at byte `from` on a line of its own, is broken: at a break point with a
  // hyphen when one fits, else without one after its last character that fits (or after a "/",
  // "-", "." or "_" not far before it). The cut and whether a hyphen is shown; none when the
  // rest is one character or its offsets would not fit a line record.
  std::optional<std::pair<uint16_t, bool>> break_wide_word(const BookWord& w, uint32_t from,
                                                           bool heading) {
    if (!heading) {
      if (const std::optional<uint16_t> point = hyphen_point(w, from, g_.text_width)) {
        return std::pair{*point, true};
      }
    }
    const size_t limit = std::min<size_t>(size_t{from} + kMaxPieceBytes, UINT16_MAX);
    const size_t len = strnlen(w.text, limit + 1);
    size_t first = 0, fits = 0, after_mark = 0;
    float mark_width = 0;
    for (size_t end = size_t{from} + 1; end < len && end <= limit; ++end) {
      if (utf8_is_continuation(w.text[end])) continue;
      if (first == 0) first = end;
      const float width =
          measure(piece_.make(w.text, from, static_cast<uint32_t>(end), false), w.style);
      if (width > g_.text_width) break;
      fits = end;
      const char before = w.text[end - 1];
      if (kBreakAfter.find(before) != std::string_view::npos && w.text[end] != before) {
        after_mark = end;
        mark_width = width;
      }
    }
    if (after_mark != 0 && mark_width >= kBreakAfterReach * g_.text_width) fits = after_mark;
    // When not even one character fits, it takes the line alone so that the word still moves on.
    if (fits == 0) fits = first;
    if (fits == 0) return std::nullopt;
    return std::pair{static_cast<uint16_t>(fits), false};
  }

  bool place_text_line() {
    const uint64_t i = next_;
    const BookWord& first = words_[i];
    if (cut_ == 0) {
      const bool section = std::exchange(section_pending_, false) || first.brk == BRK_DOCUMENT;
      if (section && page_has_line()) {
        if (!start_page()) return false;
      } else if ((section || first.brk == BRK_BLOCK) && y_ > g_.top) {
        y_ += kParagraphGap * g_.size;
      }
    }
    const bool heading = first.style == STYLE_HEADING;
    const float advance = heading ? body_advance_ * kHeadingAdvance : body_advance_;
    // A page with no line yet takes the line whatever its size, so no page is ever empty.
    if (y_ + kLineNeeds * advance > g_.bottom && page_has_line() && !start_page()) return false;

    LayoutLine line{i, 0, 0, y_, 0, cut_, 0, false};
    line.width = measure(piece_.make(first.text, cut_, 0), first.style);
    const auto wide = needs_breaking(first, cut_, line.width)
                          ? break_wide_word(first, cut_, heading)
                          : std::nullopt;
    if (wide) {
      const auto [cut, hyphen] = *wide;
      line.word_to = i + 1;
      line.cut_off = cut;
      line.bare_cut = !hyphen;
      line.width = measure(piece_.make(first.text, cut_, cut, hyphen), first.style);
      if (!append(t_.lines, line, kLineGrowth)) return false;
      cut_ = cut;
      y_ += advance;
      return true;
    }
    uint64_t k = i + 1;
    bool full = false;
    while (k < words_.size() && continues_line(k, heading)) {
      const bool glued = words_[k].join != 0;
      const float sep = glued ? 0 : space_;
      const float room = g_.text_width - line.width - sep;
      uint64_t run_end = k, run_gaps = 0;
      const float run = run_width(k, heading, room, &run_end, &run_gaps);
      if (run <= room) {
        line.width += sep + run;
        line.gaps += (glued ? 0 : 1) + run_gaps;
        k = run_end;
        continue;
      }
      // A run bound to the line so far (the line began inside it) is wider than the rest of the
      // line: it is broken between its words, as many as fit staying here.
      if (is_bound(k)) {
        const float width = word_width(k);
        if (width <= room) {
          line.width += sep + width;
          if (!glued) ++line.gaps;
          ++k;
          continue;
        }
      }
      full = true;
      break;
    }
    uint64_t next = k;
    uint16_t cut = 0;
    const bool split = full && !heading && split_at(k, line, &next, &cut);
    if (!split) line.word_to = k;
    line.justify = line.gaps > 0 && !heading && !t_.align &&
                   (split || (k < words_.size() && words_[k].brk == BRK_NONE));
    if (!append(t_.lines, line, kLineGrowth)) return false;
    next_ = next;
    cut_ = cut;
    y_ += advance;
    return true;
  }

  PageTable& t_;
  const LayoutSource& src_;
  std::span<const BookWord> words_;
  PageGeometry g_;
  float space_;
  float body_advance_;
  float y_;
  uint64_t next_ = 0;  // the word the next line or picture starts with
  uint16_t cut_ = 0;   // byte where that word continues after a hyphen, else 0
  bool section_pending_ = false;
  WordPiece piece_;
  std::array<std::unordered_map<std::string_view, float>, STYLE_PICTURE> widths_;
};
}  // namespace

std::pair<size_t, size_t> PageTable::page_lines(uint64_t page) const {
  if (page >= page_starts.size()) return {0, 0};
  const uint64_t first = std::min<uint64_t>(page_starts[page], lines.size());
  uint64_t last = page + 1 < page_starts.size() ? page_starts[page + 1] : lines.size();
  last = std::clamp<uint64_t>(last, first, lines.size());
  return {first, last};
}

uint64_t PageTable::page_first_word(uint64_t page) const {
  if (page >= page_starts.size() || page_starts[page] >= lines.size()) return 0;
  return lines[page_starts[page]].word_from;
}

PageGeometry page_geometry(const PageTable& table, int32_t screen_w, int32_t screen_h) {
  PageGeometry g{};
  g.size = static_cast<float>(table.font_px);
  g.margin = static_cast<float>(table.margin_px);
  g.text_width = static_cast<float>(screen_w) - 2 * g.margin;
  g.top = g.size + kTopBelowSize;
  g.bottom = static_cast<float>(screen_h) - kBottomBand;
  g.max_picture_h = static_cast<float>(screen_h) - kPictureHeightMargin;
  return g;
}

bool picture_box(const PageGeometry& g, int iw, int ih, PictureBox* box) {
  if (iw <= 0 || ih <= 0) return false;
  const float scale = std::min({g.text_width / static_cast<float>(iw),
                                g.max_picture_h / static_cast<float>(ih), kPictureScaleMax});
  box->width = scale * static_cast<float>(iw);
  box->height = scale * static_cast<float>(ih);
  return box->width > 0 && box->height > 0;
}

LayoutSource layout_source() {
  LayoutSource s;
  s.words = std::span<const BookWord>(ql_words(), ql_word_count());
  s.screen_w = ql_fb().width;
  s.screen_h = ql_fb().height;
  s.measure = ql_measure;
  s.picture_size = picture_dims_of_book;
  s.hyphens = ql_hy_lang(ql_language()) != HY_NONE ? ql_hyphens : nullptr;
  return s;
}

bool paginate(PageTable& table, const LayoutSource& source, int32_t font_px) {
  table.lines.clear();
  table.page_starts.clear();
  table.font_px = font_px;
  return Paginator(table, source).run();
}

bool layout_paginate(int32_t font_px) {
  const bool ok = paginate(layout, layout_source(), font_px);
  layout.key = layout_key();
  return ok;
}

uint64_t page_of_word(const PageTable& table, uint64_t word) {
  const auto& starts = table.page_starts;
  // Page starts ascend, so those pointing past the lines form the tail.
  const auto valid_end = std::lower_bound(starts.begin(), starts.end(), table.lines.size());
  const auto after = std::upper_bound(
      starts.begin(), valid_end, word,
      [&](uint64_t w, uint64_t start) { return w < table.lines[start].word_from; });
  return after == starts.begin() ? 0 : static_cast<uint64_t>(after - starts.begin() - 1);
}

uint64_t layout_page_of_word(uint64_t word) { return page_of_word(layout, word); }

void layout_free() {
  std::vector<LayoutLine>().swap(layout.lines);
  std::vector<uint64_t>().swap(layout.page_starts);
}
