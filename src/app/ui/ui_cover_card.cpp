#include "app/ui/ui_cover_card.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/cover_jobs.h"
#include "book/covers.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {
constexpr size_t kLineMax = 118;   // bytes a placeholder line holds; longer words are skipped
constexpr int kTextInset = 10;
constexpr int kBottomMargin = 12;
constexpr size_t kExtensionSpan = 5;

// The title's words wrapped greedily into the box, each line drawn while the text still fits.
void draw_placeholder_title(std::string_view title, int x, int y, int w, int h) {
  const int fs = cover_title_size(w);
  const float width = static_cast<float>(w - 2 * kTextInset);
  const int step = fs + fs / 4;
  const int last_baseline = y + h - kBottomMargin;
  int baseline = y + h / 4;
  std::string line;
  auto draw = [&](const std::string& text) {
    ql_text(text.c_str(), TS_REGULAR, static_cast<float>(fs), static_cast<float>(x + kTextInset),
            static_cast<float>(baseline));
  };
  size_t at = 0;
  while (at < title.size()) {
    size_t end = title.find(' ', at);
    if (end == std::string_view::npos) end = title.size();
    const std::string_view word = title.substr(at, end - at);
    at = end + 1;
    if (word.empty() || word.size() > kLineMax) continue;
    std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
    const bool fits = candidate.size() < kLineMax &&
                      ql_measure(candidate.c_str(), TS_REGULAR, static_cast<float>(fs)) <= width;
    if (fits || line.empty()) {
      line = std::move(candidate);
      continue;
    }
    if (baseline + step > last_baseline) return;  // no room for the line after this one
    draw(line);
    baseline += step;
    line = std::string(word);
  }
  if (!line.empty() && baseline <= last_baseline) draw(line);
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
