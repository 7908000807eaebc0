// Text speed: measuring words as pagination does (words per second) and drawing a full page.
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {

// Prose of the kind a novel holds: punctuation, capitals, quotes, dashes, a few accented words.
const char kProse[] =
    "The harbour was still dark when Marguerite left the house, her coat buttoned to the chin and "
    "the letter folded twice inside her glove. \xE2\x80\x9CYou will not go alone,\xE2\x80\x9D her "
    "brother had said the night before, but he was asleep now, and the boats would not wait. Along "
    "the quay the fishermen were already hauling crates of ice; a gull screamed somewhere above the "
    "warehouses, and the smell of tar and salt and diesel hung in the cold air. She counted the "
    "moorings as she passed them \xE2\x80\x94 seven, eight, nine \xE2\x80\x94 until she found the "
    "blue-hulled ketch with its name painted over in white. Nobody was on deck. She waited, "
    "listening to the slap of water against the pilings, and thought of the caf\xC3\xA9 in "
    "Saint-Malo where her father had first told her about the island: its lighthouse, its single "
    "road, the winter when the ferry stopped running and the post arrived by aeroplane, dropped in "
    "canvas sacks onto the frozen marsh. \xE2\x80\x98Nobody leaves,\xE2\x80\x99 he had said, "
    "\xE2\x80\x98""because nobody remembers how.\xE2\x80\x99 At a quarter past six a light came on "
    "below deck. A man climbed the companionway, looked at her for a long moment, and asked "
    "whether she had brought the money. She had. Half of it, anyway; the rest would follow, if "
    "the island was what her father had promised. \xE2\x80\x9C""Forty-two nautical miles,\xE2\x80\x9D "
    "the man said. \xE2\x80\x9CSix hours if the wind holds. Eleven if it doesn\xE2\x80\x99t.\xE2\x80\x9D";

std::vector<std::string> words() {
  std::vector<std::string> out;
  std::istringstream in(kProse);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Lays the words out on one page the way a reader page does and draws them; returns the words set.
size_t draw_page(const std::vector<std::string>& ws, size_t first, float size) {
  const Framebuffer& fb = ql_fb();
  const float margin = 64, space = ql_measure(" ", 0, size), line = size * 1.45f;
  float x = margin, y = margin + size;
  size_t i = first;
  ql_clear();
  for (;; ++i) {
    const std::string& w = ws[i % ws.size()];
    const TextStyle style = (i % 53 == 7) ? 1 : 0;
    const float width = ql_measure(w.c_str(), style, size);
    if (x + width > fb.width - margin) {
      x = margin;
      y += line;
      if (y > fb.height - margin) break;
    }
    ql_text(w.c_str(), style, size, x, y);
    x += width + space;
  }
  return i - first;
}

}  // namespace

int main() {
  if (!ql_init(1)) return 1;
  const std::vector<std::string> ws = words();

  // Pagination: every word measured, the caches warm after the first page.
  const size_t measures = 4000000;
  float sink = 0;
  auto t = std::chrono::steady_clock::now();
  for (size_t i = 0; i < measures; ++i) sink += ql_measure(ws[i % ws.size()].c_str(), i % 53 == 7 ? 1 : 0, 36);
  const double ms = seconds_since(t);
  printf("ql_measure: %zu words (%zu distinct) in %.3f s: %.0f words/s (%.0f ns/word), sink %.0f\n", measures,
         ws.size(), ms, measures / ms, ms * 1e9 / measures, double(sink));

  // Measuring with cold caches each time: the first page of a freshly loaded font.
  t = std::chrono::steady_clock::now();
  size_t cold_words = 0;
  for (int r = 0; r < 200; ++r) {
    ql_font_load(nullptr);
    for (const std::string& w : ws) sink += ql_measure(w.c_str(), 0, 36);
    cold_words += ws.size();
  }
  const double cs = seconds_since(t);
  printf("ql_measure from empty caches: %.0f words/s\n", cold_words / cs);

  // A full page of text at reading size: the first one rasterises its glyphs, later ones reuse them.
  ql_font_load(nullptr);
  t = std::chrono::steady_clock::now();
  const size_t on_page = draw_page(ws, 0, 36);
  const double first_ms = seconds_since(t) * 1000;
  const int pages = 300;
  size_t drawn = 0;
  t = std::chrono::steady_clock::now();
  for (int p = 0; p < pages; ++p) drawn += draw_page(ws, size_t(p) * 37, 36);
  const double page_ms = seconds_since(t) * 1000 / pages;
  printf("full page (1072 x 1448, size 36, %zu words): first %.2f ms with rasterising, then %.3f ms a page "
         "(%.0f pages/s)\n",
         on_page, first_ms, page_ms, 1000 / page_ms);
  (void)drawn;
  ql_close();
  return 0;
}
