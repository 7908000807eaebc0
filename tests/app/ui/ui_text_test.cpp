// Fitting a line into a width, wrapping paragraphs and joining with a dot.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/ui/ui_text.h"
#include "support/ui_screen_fixture.h"

namespace {

float width_of(const std::string& s, float size = 44) { return ql_measure(s.c_str(), TS_UI, size); }

bool is_whole_utf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = s[i];
    const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

std::vector<std::string> wrap(const std::string& text, float width, float size = 42) {
  std::vector<std::string> lines;
  ui_wrap(text, TS_UI, size, width, [&](std::string_view line, int index) {
    EXPECT_EQ(index, int(lines.size()));
    lines.emplace_back(line);
  });
  return lines;
}

using UiText = ScreenTest;

TEST_F(UiText, CutKeepsWholeCharactersAndEndsInDots) {
  const std::string e2 = "\xC3\xA9";          // é, two bytes
  const std::string euro = "\xE2\x82\xAC";    // €, three bytes
  std::string many_e, many_euro;
  for (int i = 0; i < 8; ++i) many_e += e2, many_euro += euro;
  struct Case {
    const char* name;
    std::string text;
    float width;
    std::string expected;
  };
  const Case cases[] = {
      {"fits unchanged", "Hello", width_of("Hello"), "Hello"},
      {"ascii: three kept bytes become dots", "WWWWWWWW", width_of("WWWW"), "W..."},
      {"fewer than four bytes left: no dots", "WWWWWWWW", width_of("WWW"), "WWW"},
      {"two-byte letters cut whole", many_e, width_of(e2 + e2 + e2 + e2), e2 + e2 + "..."},
      {"three-byte signs cut whole", many_euro, width_of(euro + euro + euro), euro + euro + "..."},
      {"nothing fits: empty", "WWWW", 1, ""},
      {"a last character that does not fit goes whole", "ab" + euro, width_of("ab" + euro) - 1, "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cut = ui_cut_to_width(c.text, TS_UI, 44, c.width);
    EXPECT_EQ(cut, c.expected);
    EXPECT_TRUE(is_whole_utf8(cut));
  }
}

TEST_F(UiText, CutResultIsAPrefixThatFitsForEveryWidth) {
  const std::string text = "Kl\xC3\xA4ttra \xC3\xB6ver \xE2\x82\xAC 100 \xC3\xA5r, sa hon.";
  for (float width = 0; width < width_of(text) + 10; width += 7) {
    SCOPED_TRACE(width);
    const std::string cut = ui_cut_to_width(text, TS_UI, 44, width);
    ASSERT_TRUE(is_whole_utf8(cut));
    if (width >= width_of(text)) {
      EXPECT_EQ(cut, text);
      continue;
    }
    const bool dotted = cut.size() >= 3 && cut.compare(cut.size() - 3, 3, "...") == 0;
    const std::string kept = dotted ? cut.substr(0, cut.size() - 3) : cut;
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0) << cut;
    if (!dotted) {
      EXPECT_LE(width_of(kept), width);
    }
  }
}

TEST_F(UiText, FittedLineNeverDrawsPastItsWidth) {
  ql_clear();
  const std::string long_text(300, 'M');
  ui_draw_text_fit(long_text.c_str(), TS_REGULAR, 54, 100, 400, 500);
  EXPECT_LT(darkest(100, 340, 500, 80), 128);       // something was drawn
  EXPECT_EQ(darkest(601, 300, W() - 601, 140), 255);  // and nothing beyond the width
}

TEST_F(UiText, FittedLineLongerThanItsBufferKeepsWholeCharacters) {
  // 1021 bytes of two-byte letters: the copy's limit falls inside a letter.
  std::string text(1, 'x');
  while (text.size() < 1021) text += "\xC3\xA9";
  ql_clear();
  ui_draw_text_fit(text.c_str(), TS_BOLD, 40, 10, 400, W() - 20);
  EXPECT_LT(darkest(10, 350, 200, 60), 128);
}

TEST_F(UiText, WrapBreaksAtSpacesOnly) {
  const float narrow = width_of("word word", 42);
  struct Case {
    const char* name;
    std::string text;
    float width;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"empty", "", 500, {}},
      {"only spaces", "     ", 500, {}},
      {"runs of spaces are one gap", "  one   two ", 2000, {"one two"}},
      {"tabs belong to the word", "a\tb c", 2000, {"a\tb c"}},
      {"breaks when the next word does not fit", "word word word", narrow, {"word word", "word"}},
      {"a word wider than the width gets its own line", "a Supercalifragilistic b", narrow,
       {"a", "Supercalifragilistic", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(wrap(c.text, c.width), c.lines);
  }
}

TEST_F(UiText, WrapStopsWhereTheLineBufferIsFull) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "aaaaaaaaa ";  // 10 bytes a word with its space
  const auto lines = wrap(text, 1e9f);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 489u);  // 49 words; the 50th would make 499 bytes
  EXPECT_TRUE(wrap(std::string(600, 'a'), 1e9f).empty());
}

TEST_F(UiText, DrawWrappedReturnsTheNextBaseline) {
  ql_clear();
  const std::string text = "alpha beta alpha beta";
  const int narrow = int(width_of("alpha beta", 40)) + 1;
  EXPECT_EQ(ui_draw_wrapped(text.data(), text.size(), TS_REGULAR, 40, 48, 300, narrow, 58),
            300 + 2 * 58);
  EXPECT_LT(darkest(48, 260, narrow, 50), 128);
  EXPECT_LT(darkest(48, 318, narrow, 50), 128);
  EXPECT_EQ(ui_draw_wrapped("   ", 3, TS_REGULAR, 40, 48, 700, 500, 58), 700);
}

// A title in a box of its own never leaves it: a word wider than the box is cut, and text left
// after the last line ends that line in dots.
TEST_F(UiText, WrapCutKeepsATitleInItsBox) {
  const float narrow = width_of("word word", 42);
  const std::string long_word = "Supercalifragilisticexpialidocious";
  struct Case {
    const char* name;
    std::string text;
    int max_lines;
    std::vector<std::string> lines;  // "...": the line ends in dots
  };
  const Case cases[] = {
      {"fits: unchanged", "word", 3, {"word"}},
      {"wraps within its lines", "word word word", 3, {"word word", "word"}},
      {"the rest ends the last line", "word word word word word", 2, {"word word", "..."}},
      {"a long word is cut", "a " + long_word + " b", 3, {"a", "...", "b"}},
      {"a long last word is cut too", "a " + long_word, 1, {"..."}},
      {"at least one line", "word word word", 0, {"..."}},
      {"empty", "", 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> lines = ui_wrap_cut(c.text, TS_UI, 42, narrow, c.max_lines);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      SCOPED_TRACE(lines[i]);
      if (c.lines[i] == "...") {
        EXPECT_TRUE(lines[i].ends_with("...")) << lines[i];
      } else {
        EXPECT_EQ(lines[i], c.lines[i]);
      }
      EXPECT_LE(width_of(lines[i], 42), narrow);
      EXPECT_TRUE(is_whole_utf8(lines[i]));
    }
  }
}

TEST_F(UiText, WrappedTitleNeverDrawsPastItsBox) {
  ql_clear();
  const std::string title = std::string(120, 'W') + " and a few more words after it";
  EXPECT_EQ(ui_draw_wrapped_cut(title, TS_BOLD, 54, 100, 300, 500, 60, 2), 300 + 2 * 60);
  EXPECT_LT(darkest(100, 250, 500, 60), 128);          // the first line
  EXPECT_LT(darkest(100, 310, 500, 60), 128);          // the second
  EXPECT_EQ(darkest(601, 200, W() - 601, 200), 255);   // nothing beyond the width
  EXPECT_EQ(darkest(0, 380, W(), 100), 255);           // nor below the two lines
}

// A label centred in a band shrinks and is cut rather than run past it.
TEST_F(UiText, CentredTextStaysInItsBand) {
  ql_clear();
  ui_draw_centred("Pay with Lightning instead", TS_REGULAR, 54, 300, 300, 400);
  EXPECT_LT(darkest(300, 340, 300, 80), 128);
  EXPECT_EQ(darkest(0, 300, 300, 150), 255);
  EXPECT_EQ(darkest(601, 300, W() - 601, 150), 255);
  ql_clear();
  ui_draw_centred("Done", TS_BOLD, 54, 300, 300, 400);  // one that fits sits in the middle
  const int ink_left = [&] {
    for (int x = 300; x < 600; ++x)
      if (darkest(x, 340, 1, 80) < 128) return x;
    return 600;
  }();
  const int ink_right = [&] {
    for (int x = 599; x >= 300; --x)
      if (darkest(x, 340, 1, 80) < 128) return x;
    return 300;
  }();
  EXPECT_NEAR((ink_left + ink_right) / 2, 450, 4);
}

TEST_F(UiText, JoinDotFitsOrIsEmpty) {
  char buf[16];
  // "ab" + 6 separator bytes + "cd" = 10 bytes and the NUL.
  EXPECT_EQ(ui_join_dot(buf, 11, "ab", "cd"), "ab  \xC2\xB7  cd");
  EXPECT_STREQ(buf, "ab  \xC2\xB7  cd");
  EXPECT_EQ(ui_join_dot(buf, 10, "ab", "cd").size(), 0u);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(ui_join_dot(buf, 0, "ab", "cd").size(), 0u);
}

TEST_F(UiText, PrefixNeverSplitsACharacter) {
  const std::string s = "a\xC3\xA9\xE2\x82\xAC";  // a é €
  EXPECT_EQ(ui_utf8_prefix(s, 2), "a");
  EXPECT_EQ(ui_utf8_prefix(s, 3), "a\xC3\xA9");
  EXPECT_EQ(ui_utf8_prefix(s, 5), "a\xC3\xA9");
  EXPECT_EQ(ui_utf8_prefix(s, 6), s);
  EXPECT_EQ(ui_utf8_prefix(s, 60), s);
}

}  // namespace
