#include "app/ui/ui_cover_card.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/cover_jobs.h"
#include "base/utf8.h"
#include "book/covers.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kLineMax = 118;   // bytes a placeholder line holds; longer words are skipped
constexpr int kTextInset = 10;
constexpr int kBottomMargin = 12;
constexpr size_t kExtensionSpan = 5;

// A word too wide for the box breaks after one of these when the piece before it fills at least
// this share of the width, else after its last character that fits.
constexpr std::string_view kBreakAfter = "/-._";
constexpr float kBreakAfterReach = 0.5f;

float measure(std::string_view text, int fs) {
  return ql_measure(std::string(text).c_str(), TS_REGULAR, static_cast<float>(fs));
}

// Where a word wider than `width` is broken: the byte count of its first piece, at least one
// character so that the word always moves on.
size_t wide_word_cut(std::string_view word, int fs, float width) {
  size_t first = 0, fits = 0, after_mark = 0;
  for (size_t end = 1; end < word.size(); ++end) {
    if (utf8_is_continuation(word[end])) continue;
    if (first == 0) first = end;
    const float piece = measure(word.substr(0, end), fs);
    if (piece > width) break;
    fits = end;
    const char before = word[end - 1];
    if (kBreakAfter.find(before) != std::string_view::npos && word[end] != before &&
        piece >= kBreakAfterReach * width) {
      after_mark = end;
    }
  }
  if (after_mark != 0) return after_mark;
  if (fits != 0) return fits;
  return first != 0 ? first : word.size();
}

// The title's words wrapped greedily into the box, a word wider than the box broken into pieces
// that each take a line, each line drawn while the text still fits below it.
void draw_placeholder_title(std::string_view title, int x, int y, int w, int h) {
  const int fs = cover_title_size(w);
  const float width = static_cast<float>(w - 2 * kTextInset);
  const int step = fs + fs / 4;
  const int last_baseline = y + h - kBottomMargin;
  int baseline = y + h / 4;
  std::string line;
  auto draw_line = [&] {
    ql_text(line.c_str(), TS_REGULAR, static_cast<float>(fs), static_cast<float>(x + kTextInset),
            static_cast<float>(baseline));
  };
  // Draws the line and starts an empty one below it; false when that one would not fit.
  auto next_line = [&] {
    if (baseline + step > last_baseline) return false;
    draw_line();
    baseline += step;
    line.clear();
    return true;
  };
  size_t at = 0;
  while (at < title.size()) {
    size_t end = title.find(' ', at);
    if (end == std::string_view::npos) end = title.size();
    std::string_view word = title.substr(at, end - at);
    at = end + 1;
    if (word.empty() || word.size() > kLineMax) continue;
    std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
    if (candidate.size() < kLineMax && measure(candidate, fs) <= width) {
      line = std::move(candidate);
      continue;
    }
    if (!line.empty() && !next_line()) return;
    while (measure(word, fs) > width) {
      const size_t cut = wide_word_cut(word, fs, width);
      if (cut >= word.size()) break;  // one character wider than the box: nothing to break
      line = word.substr(0, cut);
      word.remove_prefix(cut);
      if (!next_line()) return;
    }
    line = word;
  }
  if (!line.empty() && baseline <= last_baseline) draw_line();
}
}  // namespace

std::string_view cover_title_text(std::string_view title) {
  const size_t from = title.size() > kExtensionSpan ? title.size() - kExtensionSpan : 1;
  const size_t dot = title.rfind('.');
  if (dot != std::string_view::npos && dot >= from && dot >= 1) return title.substr(0, dot);
  return title;
}

int cover_title_size(int w) { return std::max(w / 6, 20); }

void ui_draw_cover_card(const char* path, size_t path_length, uint32_t kind, const char* title,
                        size_t title_length, int x, int y, int w, int h) {
  if (w < 0 || h < 0) return;
  const uint64_t bytes = uint64_t(w) * uint64_t(h);
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes]);
  if (!buffer) return;
  const int r = cover_get(path, path_length, kind, uint32_t(w), uint32_t(h), buffer.get(), bytes,
                          !app.covers.deferred);
  if (r == 1) {
    ql_blit(buffer.get(), w, h, x, y);
    ql_mark(x, y, w, h, MASK_PICTURE);
  } else {
    if (r < 0) cover_job_queue(path, path_length, kind, x, y, uint32_t(w), uint32_t(h));
    ql_rect(x, y, w, h, 255);
    draw_placeholder_title(cover_title_text(std::string_view(title, title_length)), x, y, w, h);
  }
  ql_frame(x, y, w, h, 1);
}
