// Synthetic word streams laid out with a measurer whose widths are known: every byte is 10 px
// wide at any size and style, so line breaks, gaps and page starts can be worked out by hand.
#pragma once
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"

namespace layout_test {

constexpr float kByte = 10;  // px per byte, the space included

inline float measure(const char* text, TextStyle, float) {
  return kByte * static_cast<float>(strlen(text));
}

// Break points and picture sizes the tests hand the paginator; set per test.
inline std::map<std::string, std::vector<uint32_t>>& hyphen_table() {
  static std::map<std::string, std::vector<uint32_t>> table;
  return table;
}
inline std::map<uint64_t, std::pair<int, int>>& picture_table() {
  static std::map<uint64_t, std::pair<int, int>> table;
  return table;
}

inline int hyphens(const char* word, uint32_t* out, int max) {
  auto it = hyphen_table().find(word);
  if (it == hyphen_table().end()) return 0;
  int n = 0;
  for (uint32_t p : it->second) {
    if (n < max) out[n++] = p;
  }
  return n;
}

inline bool picture_size(uint64_t word, int* w, int* h) {
  auto it = picture_table().find(word);
  if (it == picture_table().end()) return false;
  *w = it->second.first;
  *h = it->second.second;
  return true;
}

// A word stream under construction. Text stays alive in a deque (stable addresses).
class Stream {
 public:
  Stream& word(std::string text, uint8_t style = STYLE_PLAIN, uint8_t brk = BRK_NONE,
               bool join = false) {
    texts_.push_back(std::move(text));
    words_.push_back(
        BookWord{texts_.back().c_str(), style, brk, static_cast<uint8_t>(join), 0, 0, 0, 0});
    return *this;
  }
  // A plain word after a no-break space: a space before it, but no line ends there.
  Stream& tied(std::string text) {
    word(std::move(text));
    words_.back().tie = 1;
    return *this;
  }
  // Several plain words, the first with the given break.
  Stream& words(const std::vector<std::string>& texts, uint8_t brk = BRK_NONE) {
    for (size_t i = 0; i < texts.size(); ++i)
      word(texts[i], STYLE_PLAIN, i == 0 ? brk : uint8_t{BRK_NONE});
    return *this;
  }
  Stream& picture(int w, int h, uint8_t brk = BRK_BLOCK) {
    if (w > 0) picture_table()[words_.size()] = {w, h};
    return word("\x01pic.png", STYLE_PICTURE, brk);
  }
  std::vector<BookWord>& all() { return words_; }
  size_t size() const { return words_.size(); }

 private:
  std::deque<std::string> texts_;
  std::vector<BookWord> words_;
};

// Screen 220 x 400 with margin 10: text width 200 (20 bytes); size 40 with 100 % line spacing:
// first baseline 112, advance 40, bottom 308, so five lines make a page.
struct LayoutSetup {
  int32_t screen_w = 220;
  int32_t screen_h = 400;
  int32_t font_px = 40;
  int32_t margin_px = 10;
  int32_t line_pct = 100;
  bool align = false;
  bool hyphenate = true;
};

inline LayoutSource source_of(const std::vector<BookWord>& words, const LayoutSetup& s) {
  LayoutSource src;
  src.words = words;
  src.screen_w = s.screen_w;
  src.screen_h = s.screen_h;
  src.measure = measure;
  src.picture_size = picture_size;
  src.hyphens = s.hyphenate ? hyphens : nullptr;
  return src;
}

inline PageTable lay_out(const std::vector<BookWord>& words, const LayoutSetup& s = {}) {
  PageTable t;
  t.margin_px = s.margin_px;
  t.line_pct = s.line_pct;
  t.align = s.align;
  EXPECT_TRUE(paginate(t, source_of(words, s), s.font_px));
  return t;
}

// The pieces of a line as the walker places them: "shown@x" for each word.
inline std::vector<std::string> placed(const PageTable& t, size_t line,
                                       const std::vector<BookWord>& words,
                                       const LayoutSetup& s = {}) {
  std::vector<std::string> out;
  walk_line(t.lines[line], page_metrics(t, source_of(words, s)), [&](const PlacedWord& p) {
    char buf[32];
    snprintf(buf, sizeof buf, "@%g", p.x);
    out.push_back(std::string(p.shown) + buf);
    return true;
  });
  return out;
}

inline void reset_tables() {
  hyphen_table().clear();
  picture_table().clear();
}

}  // namespace layout_test
