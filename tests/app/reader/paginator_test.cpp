#include "app/reader/paginator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "app/reader/line_walker.h"
#include "support/layout_fixture.h"

using namespace layout_test;

namespace {
struct LineWant {
  uint64_t from, to, gaps;
  float y, width;
  uint16_t start_off, cut_off;
  bool justify;
};

void expect_lines(const PageTable& t, const std::vector<LineWant>& want) {
  ASSERT_EQ(t.lines.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i));
    const LayoutLine& l = t.lines[i];
    EXPECT_EQ(l.word_from, want[i].from);
    EXPECT_EQ(l.word_to, want[i].to);
    EXPECT_EQ(l.gaps, want[i].gaps);
    EXPECT_NEAR(l.y, want[i].y, 1e-3);
    EXPECT_NEAR(l.width, want[i].width, 1e-3);
    EXPECT_EQ(l.start_off, want[i].start_off);
    EXPECT_EQ(l.cut_off, want[i].cut_off);
    EXPECT_EQ(l.justify, want[i].justify);
  }
}

std::vector<float> placed_x(const PageTable& t, size_t line, const std::vector<BookWord>& words) {
  std::vector<float> xs;
  walk_line(t.lines[line], page_metrics(t, source_of(words, {})), [&](const PlacedWord& p) {
    xs.push_back(p.x);
    return true;
  });
  return xs;
}

std::vector<std::string> shown(const PageTable& t, size_t line,
                               const std::vector<BookWord>& words) {
  std::vector<std::string> out;
  walk_line(t.lines[line], page_metrics(t, source_of(words, {})), [&](const PlacedWord& p) {
    out.emplace_back(p.shown);
    return true;
  });
  return out;
}

class Paginator : public testing::Test {
 protected:
  void SetUp() override { reset_tables(); }
  void TearDown() override { reset_tables(); }
  Stream s;
};

// Four 40-px words and three 10-px spaces fill 190 of the 200 px; a fifth would need 240.
TEST_F(Paginator, BreaksLinesWhereTheNextWordWouldPassTheTextWidth) {
  for (int i = 0; i < 10; ++i) s.word("aaaa");
  PageTable t = lay_out(s.all());
  expect_lines(t, {{0, 4, 3, 112, 190, 0, 0, true},
                   {4, 8, 3, 152, 190, 0, 0, true},
                   {8, 10, 1, 192, 90, 0, 0, false}});
  EXPECT_EQ(t.page_starts, std::vector<uint64_t>{0});
  EXPECT_EQ(t.font_px, 40);
}

TEST_F(Paginator, JustifiedLineSpreadsItsSlackOverTheGapsUpToTwoAndAHalfSpaces) {
  s.words({"aaaa", "aaaa", "aaaa", "aaaa", "aaaa"})
      .words({"aaaaaaaaa", "bb", "cccccccccc"}, BRK_BLOCK);
  PageTable t = lay_out(s.all());
  ASSERT_EQ(t.lines.size(), 4u);
  // 10 px of slack over three gaps: the last word ends exactly at the right margin.
  std::vector<float> xs = placed_x(t, 0, s.all());
  ASSERT_EQ(xs.size(), 4u);
  const float gap = 40 + 10 + 10.0f / 3;
  for (size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(xs[i], 10 + i * gap, 1e-3);
  EXPECT_NEAR(xs[3] + 40, 10 + 200, 1e-3);
  // 80 px of slack over one gap: the space grows by 25 px (2.5 spaces), the rest stays at the end.
  EXPECT_EQ(t.lines[2].gaps, 1u);
  EXPECT_TRUE(t.lines[2].justify);
  xs = placed_x(t, 2, s.all());
  ASSERT_EQ(xs.size(), 2u);
  EXPECT_NEAR(xs[1], 10 + 90 + 10 + 25, 1e-3);
}

TEST_F(Paginator, HyphenatesTheWordThatDoesNotFitAtTheLastBreakThatFits) {
  hyphen_table()["bbbbbbbbbb"] = {2, 5, 8};
  s.words({"aaaaaaaaaa", "bbbbbbbbbb", "cc"});
  PageTable t = lay_out(s.all());
  // "bbbbbbbb-" is 90 px and fits the 90 px left after "aaaaaaaaaa" and a space.
  expect_lines(t, {{0, 2, 1, 112, 200, 0, 8, true}, {1, 3, 1, 152, 50, 8, 0, false}});
  EXPECT_EQ(shown(t, 0, s.all()), (std::vector<std::string>{"aaaaaaaaaa", "bbbbbbbb-"}));
  EXPECT_EQ(shown(t, 1, s.all()), (std::vector<std::string>{"bb", "cc"}));
}

// "aaaaaaa" and a space leave 120 px (12 bytes) for a word that does not fit whole: it ends the
// line after a dash it holds, the dash shown and no hyphen added, or at a hyphenation point when
// that fills more of the line.
TEST_F(Paginator, ALineMayEndAfterADashInsideAWord) {
  hyphen_table()["ab\xE2\x80\x94" "cdefghijklmnop"] = {11};
  hyphen_table()["observer\xE2\x80\x94" "excellent"] = {2, 5};
  const struct {
    const char* name;
    std::string word;
    uint16_t cut;  // 0: the word moves to the next line whole
    std::string first_piece, rest;
  } cases[] = {
      {"em dash", "observer\xE2\x80\x94" "excellent", 11, "observer\xE2\x80\x94", "excellent"},
      {"en dash", "contralto\xE2\x80\x93" "humming", 12, "contralto\xE2\x80\x93", "humming"},
      {"hyphen between letters", "Illiers-Combray", 8, "Illiers-", "Combray"},
      {"a later hyphenation point", "ab\xE2\x80\x94" "cdefghijklmnop", 11,
       "ab\xE2\x80\x94" "cdefgh-", "ijklmnop"},
      {"hyphen between digits", "19141918-19201921", 0, "", ""},
      {"dash opening the word", "\xE2\x80\x94" "abcdefghijklmnop", 0, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Stream words;
    words.word("aaaaaaa").word(c.word).word("zz");
    PageTable t = lay_out(words.all());
    ASSERT_GE(t.lines.size(), 2u);
    EXPECT_EQ(t.lines[0].cut_off, c.cut);
    if (c.cut == 0) {
      EXPECT_EQ(t.lines[0].word_to, 1u);
      continue;
    }
    EXPECT_TRUE(t.lines[0].justify);
    EXPECT_EQ(shown(t, 0, words.all()), (std::vector<std::string>{"aaaaaaa", c.first_piece}));
    EXPECT_EQ(shown(t, 1, words.all()), (std::vector<std::string>{c.rest, "zz"}));
    EXPECT_NEAR(t.lines[0].width, 80 + 10 * c.first_piece.size(), 1e-3);
  }
}

// Where a line may not end, and where it may end after a dash that an inline tag touches, in a
// line of 20 bytes: the pieces of the first two lines.
TEST_F(Paginator, LinesEndAfterDashesButNeverBeforeClosingMarksOrAtNoBreakSpaces) {
  const std::string em = "\xE2\x80\x94";
  const struct {
    const char* name;
    std::function<void(Stream&)> words;
    std::vector<std::string> first, second;
  } cases[] = {
      {"a closing quotation mark after the dash",
       [&](Stream& w) { w.word("aaaaaaaaa").word("\xE2\x80\x9CYes" + em + "\xE2\x80\x9D"); },
       {"aaaaaaaaa"}, {"\xE2\x80\x9CYes" + em + "\xE2\x80\x9D"}},
      {"a comma after the dash", [&](Stream& w) { w.word("aaaaaaaaaaaa").word("said" + em + ","); },
       {"aaaaaaaaaaaa"}, {"said" + em + ","}},
      {"an italic word glued after the dash",
       [&](Stream& w) {
         w.word("aaaaaaa").word("road" + em).word("onetwothree", STYLE_ITALIC, BRK_NONE, true);
       },
       {"aaaaaaa", "road" + em}, {"onetwothree"}},
      {"an italic word glued before the dash",
       [&](Stream& w) {
         w.word("aaaaaaa").word("road", STYLE_ITALIC).word(em + "onetwothree", STYLE_PLAIN, BRK_NONE, true);
       },
       {"aaaaaaa", "road", em}, {"onetwothree"}},
      {"two hyphens", [&](Stream& w) { w.word("aaaaaaa").word("word--wordwordword"); },
       {"aaaaaaa", "word--"}, {"wordwordword"}},
      {"no-break spaces inside guillemets",
       [&](Stream& w) { w.word("aaaaaaaaaaaaa").word("\xC2\xAB").tied("Oui").tied("\xC2\xBB"); },
       {"aaaaaaaaaaaaa"}, {"\xC2\xAB", "Oui", "\xC2\xBB"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Stream words;
    c.words(words);
    words.word("zz");
    PageTable t = lay_out(words.all());
    ASSERT_GE(t.lines.size(), 2u);
    EXPECT_EQ(shown(t, 0, words.all()), c.first);
    std::vector<std::string> second = shown(t, 1, words.all());
    if (second.back() == "zz") second.pop_back();
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(t.lines[0].justify, c.first.size() > 1) << "a line ending mid-paragraph";
  }
  // The tied words keep their spaces where the paginator counted them.
  Stream french;
  french.word("aaaaaaaaaaaaa").word("\xC2\xAB").tied("Oui").tied("\xC2\xBB");
  const PageTable t = lay_out(french.all());
  ASSERT_EQ(t.lines.size(), 2u);
  EXPECT_EQ(t.lines[1].gaps, 2u);
  EXPECT_NEAR(t.lines[1].width, 90, 1e-3);
  EXPECT_EQ(placed_x(t, 1, french.all()), (std::vector<float>{10, 40, 80}));
}

// A line break inside a paragraph (verse, the lines of a play) starts a new line right below,
// without the paragraph gap, and the line before it is not stretched.
TEST_F(Paginator, ALineBreakStartsALineWithoutAGap) {
  s.words({"aa", "bb"}, BRK_BLOCK).words({"cc"}, BRK_LINE).words({"dd"}, BRK_BLOCK);
  PageTable t = lay_out(s.all());
  expect_lines(t, {{0, 2, 1, 112, 50, 0, 0, false},
                   {2, 3, 0, 152, 20, 0, 0, false},
                   {3, 4, 0, 192 + 0.48f * 40, 20, 0, 0, false}});
}

TEST_F(Paginator, WordsAreNotSplitInHeadingsRaggedTextOrLanguagesWithoutPatterns) {
  hyphen_table()["bbbbbbbbbb"] = {2, 5, 8};
  struct Case {
    const char* name;
    uint8_t style;
    LayoutSetup setup;
    bool split;
    bool justified;
  };
  LayoutSetup ragged;
  ragged.align = true;
  LayoutSetup no_patterns;
  no_patterns.hyphenate = false;
  const Case cases[] = {
      {"body", STYLE_PLAIN, {}, true, true},
      {"heading", STYLE_HEADING, {}, false, false},
      {"ragged right", STYLE_PLAIN, ragged, true, false},
      {"no patterns", STYLE_PLAIN, no_patterns, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Stream words;
    for (const char* text : {"aa", "aaaaaaa", "bbbbbbbbbb", "cc", "dd"}) words.word(text, c.style);
    PageTable t = lay_out(words.all(), c.setup);
    ASSERT_GE(t.lines.size(), 2u);
    // "bbbbbbbb-" just fits after "aa aaaaaaa"; the whole word does not.
    EXPECT_EQ(t.lines[0].cut_off, c.split ? 8 : 0);
    EXPECT_EQ(t.lines[0].word_to, c.split ? 3u : 2u);
    EXPECT_EQ(t.lines[0].justify, c.justified);
    EXPECT_FALSE(t.lines.back().justify);
  }
}

TEST_F(Paginator, HeadingsAdvanceFurtherAndNeverShareALineWithBodyText) {
  s.word("Title", STYLE_HEADING, BRK_BLOCK).word("aa").word("bb", STYLE_PLAIN, BRK_NONE);
  PageTable t = lay_out(s.all());
  ASSERT_EQ(t.lines.size(), 2u);
  EXPECT_EQ(t.lines[0].word_to, 1u);
  EXPECT_NEAR(t.lines[1].y, 112 + 40 * 1.35f, 1e-3);
}

TEST_F(Paginator, ParagraphGapExceptAtThePageTop) {
  s.words({"aa"}, BRK_BLOCK).words({"bb"}, BRK_BLOCK);
  PageTable t = lay_out(s.all());
  expect_lines(t, {{0, 1, 0, 112, 20, 0, 0, false}, {1, 2, 0, 152 + 0.48f * 40, 20, 0, 0, false}});
}

TEST_F(Paginator, FivelinesMakeAPageAndTheSixthStartsTheNext) {
  for (int i = 0; i < 24; ++i) s.word("aaaa");
  PageTable t = lay_out(s.all());
  ASSERT_EQ(t.lines.size(), 6u);
  EXPECT_EQ(t.page_starts, (std::vector<uint64_t>{0, 5}));
  EXPECT_NEAR(t.lines[4].y, 272, 1e-3);
  EXPECT_NEAR(t.lines[5].y, 112, 1e-3);
}

TEST_F(Paginator, SectionStartBeginsAPageButNeverLeavesOneEmpty) {
  s.words({"aa"}, BRK_DOCUMENT).words({"bb"}, BRK_BLOCK).words({"cc"}, BRK_DOCUMENT);
  PageTable t = lay_out(s.all());
  EXPECT_EQ(t.page_starts, (std::vector<uint64_t>{0, 2}));
  EXPECT_NEAR(t.lines[0].y, 112, 1e-3);
  EXPECT_NEAR(t.lines[2].y, 112, 1e-3);
}

TEST_F(Paginator, AWordWiderThanTheLineStandsAlone) {
  s.words({"aa", std::string(30, 'x'), "bb"});
  PageTable t = lay_out(s.all());
  // Broken where the line is full, with no hyphen; its rest goes on with the words after it.
  expect_lines(t, {{0, 1, 0, 112, 20, 0, 0, false},
                   {1, 2, 0, 152, 200, 0, 20, false},
                   {1, 3, 1, 192, 130, 20, 0, false}});
  EXPECT_TRUE(t.lines[1].bare_cut);
  EXPECT_EQ(shown(t, 1, s.all()), (std::vector<std::string>{std::string(20, 'x')}));
  EXPECT_EQ(shown(t, 2, s.all()), (std::vector<std::string>{std::string(10, 'x'), "bb"}));
}

TEST_F(Paginator, WordsWiderThanALineAreBrokenOverAsManyLinesAsTheyNeed) {
  auto e_acute = [](int n) {
    std::string out;
    while (n-- > 0) out += "\xC3\xA9";  // two bytes, 20 px
    return out;
  };
  struct Case {
    const char* name;
    std::string word;
    uint8_t style;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      // After the last separator that leaves at least half a line; never at pattern points.
      {"address", "www.example.com/some_long_name_here", STYLE_PLAIN,
       {"www.example.com/", "some_long_name_here"}},
      {"separator too early", "https://standardebooks.org/ebooks/a/b", STYLE_PLAIN,
       {"https://standardeboo", "ks.org/ebooks/a/b"}},
      {"no separator near the end", std::string(45, 'q'), STYLE_PLAIN,
       {std::string(20, 'q'), std::string(20, 'q'), std::string(5, 'q')}},
      {"break points first, with a hyphen", "Tetramethylammoniumhydroxide", STYLE_PLAIN,
       {"Tetramethylammonium-", "hydroxide"}},
      {"a heading breaks only where it must", "Tetramethylammoniumhydroxide", STYLE_HEADING,
       {"Tetramethylammoniumh", "ydroxide"}},
      {"characters are never cut", e_acute(12), STYLE_PLAIN, {e_acute(10), e_acute(2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_tables();
    hyphen_table()["Tetramethylammoniumhydroxide"] = {5, 10, 15, 19};
    hyphen_table()["https://standardebooks.org/ebooks/a/b"] = {3, 12, 20};
    hyphen_table()["www.example.com/some_long_name_here"] = {6, 14};
    Stream words;
    words.word(c.word, c.style, BRK_BLOCK);
    PageTable t = lay_out(words.all());
    std::vector<std::string> pieces;
    for (size_t i = 0; i < t.lines.size(); ++i) pieces.push_back(shown(t, i, words.all()).at(0));
    EXPECT_EQ(pieces, c.pieces);
  }
}

TEST_F(Paginator, GluedWordsMoveToTheNextLineTogether) {
  s.words({"aaaaaaaaa", "bbbbbbbbb"}).word("ccc", STYLE_ITALIC, BRK_NONE, true);
  PageTable t = lay_out(s.all());
  // "bbbbbbbbb" alone would fit after "aaaaaaaaa"; with its glued "ccc" it does not.
  expect_lines(t, {{0, 1, 0, 112, 90, 0, 0, false}, {1, 3, 0, 152, 120, 0, 0, false}});
}

TEST_F(Paginator, AGluedRunWiderThanTheLineBreaksBetweenItsWords) {
  s.word("aaaaaaaa");
  for (int i = 0; i < 4; ++i) s.word("bbbbbbbb", STYLE_PLAIN, BRK_NONE, true);
  PageTable t = lay_out(s.all());
  expect_lines(t, {{0, 2, 0, 112, 160, 0, 0, false},
                   {2, 4, 0, 152, 160, 0, 0, false},
                   {4, 5, 0, 192, 80, 0, 0, false}});
  EXPECT_EQ(shown(t, 1, s.all()), (std::vector<std::string>{"bbbbbbbb", "bbbbbbbb"}));
  EXPECT_EQ(placed_x(t, 1, s.all()), (std::vector<float>{10, 90}));
}

// Widths are kept per word and style: a word met plain and then bold (here twice as wide) is
// measured bold, and the plain one again after it keeps its own width.
TEST_F(Paginator, TheSameWordInAnotherStyleTakesThatStylesWidth) {
  s.word("aaaa").word("aaaa", STYLE_BOLD).word("aaaa").word("aaaa", STYLE_BOLD).word("aaaa");
  LayoutSource src = source_of(s.all(), {});
  src.measure = [](const char* text, TextStyle style, float) {
    return kByte * static_cast<float>(strlen(text)) * (style == TS_BOLD ? 2.0f : 1.0f);
  };
  PageTable t;
  t.margin_px = 10;
  t.line_pct = 100;
  ASSERT_TRUE(paginate(t, src, 40));
  // 40 + 10 + 80 + 10 + 40 = 180 fits the 200 px; the second bold word (80) does not.
  expect_lines(t, {{0, 3, 2, 112, 180, 0, 0, true}, {3, 5, 1, 152, 130, 0, 0, false}});
}

TEST_F(Paginator, PicturesAreScaledAndPlaced) {
  struct Case {
    const char* name;
    int w, h;
    float drawn_w;
    float next_y;  // the text after it, a paragraph gap below the picture and its gap
  };
  // Text width 200, pictures at most 100 high (400 - 300), at most 1.6 times enlarged.
  const Case cases[] = {
      {"small, enlarged 1.6 times", 100, 50, 160, 152 + 80 + 24 + 19.2f},
      {"wide, fitted to the width", 1000, 100, 200, 152 + 20 + 24 + 19.2f},
      // 152 + 100 + 24 + 19.2 leaves no room for a line: the text goes on at the next page's top
      {"tall, fitted to the height", 50, 1000, 5, 112},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset_tables();
    Stream words;
    words.words({"aa"}, BRK_BLOCK).picture(c.w, c.h).words({"bb"}, BRK_BLOCK);
    PageTable t = lay_out(words.all());
    ASSERT_EQ(t.lines.size(), 3u);
    EXPECT_EQ(t.lines[1].word_from, 1u);
    EXPECT_NEAR(t.lines[1].y, 152, 1e-3);
    EXPECT_NEAR(t.lines[1].width, c.drawn_w, 1e-3);
    EXPECT_NEAR(t.lines[2].y, c.next_y, 1e-3);
  }
}

TEST_F(Paginator, APictureThatDoesNotFitTheRestOfThePageStartsTheNext) {
  for (int i = 0; i < 16; ++i) s.word("aaaa");
  s.picture(100, 50);
  PageTable t = lay_out(s.all());
  ASSERT_EQ(t.lines.size(), 5u);
  EXPECT_EQ(t.page_starts, (std::vector<uint64_t>{0, 4}));
  EXPECT_NEAR(t.lines[4].y, 112, 1e-3);
}

TEST_F(Paginator, APictureWithoutASizeTakesNoLine) {
  s.words({"aa"}, BRK_BLOCK).picture(0, 0).words({"bb"}, BRK_BLOCK);
  PageTable t = lay_out(s.all());
  ASSERT_EQ(t.lines.size(), 2u);
  EXPECT_EQ(t.lines[1].word_from, 2u);
}

TEST_F(Paginator, AChapterThatOpensWithAPictureStartsAPage) {
  for (bool sized : {true, false}) {
    SCOPED_TRACE(sized ? "picture with a size" : "picture without a size");
    reset_tables();
    Stream words;
    words.words({"aa"}, BRK_DOCUMENT)
        .picture(sized ? 100 : 0, 50, BRK_DOCUMENT)
        .words({"bb"}, BRK_BLOCK);
    PageTable t = lay_out(words.all());
    EXPECT_EQ(t.page_starts, (std::vector<uint64_t>{0, 1}));
    EXPECT_EQ(t.lines[1].word_from, sized ? 1u : 2u);
    EXPECT_NEAR(t.lines[1].y, 112, 1e-3);
  }
}

TEST_F(Paginator, ABookWithoutWordsHasOnePageAndNoLines) {
  PageTable t = lay_out(s.all());
  EXPECT_TRUE(t.lines.empty());
  EXPECT_EQ(t.page_starts, std::vector<uint64_t>{0});
}

TEST(PageOfWord, FindsTheLastPageStartingAtOrBeforeTheWord) {
  PageTable t;
  t.lines = {{2, 3, 0, 0, 0, 0, 0, false},
             {3, 5, 0, 0, 0, 0, 0, false},
             {5, 8, 0, 0, 0, 0, 0, false},
             {8, 9, 0, 0, 0, 0, 0, false}};
  t.page_starts = {0, 2, 7};  // the last one points past the lines
  const std::pair<uint64_t, uint64_t> cases[] = {{0, 0}, {2, 0}, {4, 0}, {5, 1}, {8, 1}, {1000, 1}};
  for (auto [word, page] : cases) {
    SCOPED_TRACE(word);
    EXPECT_EQ(page_of_word(t, word), page);
  }
  EXPECT_EQ(page_of_word(PageTable{}, 5), 0u);
  EXPECT_EQ(t.page_first_word(1), 5u);
  EXPECT_EQ(t.page_first_word(2), 0u);
  EXPECT_EQ(t.page_lines(1), (std::pair<size_t, size_t>{2, 4}));
  EXPECT_EQ(t.page_lines(3), (std::pair<size_t, size_t>{0, 0}));
}

#ifdef __SANITIZE_ADDRESS__
// The sanitizer's allocator reports every allocation to a hook.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
std::atomic<bool> counting{false};
std::atomic<size_t> allocations{0};
void count_malloc(const volatile void*, size_t) {
  if (counting) ++allocations;
}
void ignore_free(const volatile void*) {}

size_t allocations_while(const std::function<void()>& work) {
  static const int installed = __sanitizer_install_malloc_and_free_hooks(count_malloc, ignore_free);
  EXPECT_NE(installed, 0);
  allocations = 0;
  counting = true;
  work();
  counting = false;
  return allocations;
}

// The tables grow geometrically; nothing else is allocated, whatever the book's length.
TEST_F(Paginator, AllocatesNothingPerWord) {
  LayoutSetup setup;
  setup.hyphenate = false;
  std::vector<size_t> counts;
  for (int words : {20000, 200000}) {
    Stream book;
    for (int i = 0; i < words; ++i) book.word(i % 3 ? "aaaa" : "bb", STYLE_PLAIN, i % 50 ? 0 : 1);
    const LayoutSource src = source_of(book.all(), setup);
    PageTable t;
    t.margin_px = setup.margin_px;
    t.line_pct = setup.line_pct;
    counts.push_back(allocations_while([&] { ASSERT_TRUE(paginate(t, src, setup.font_px)); }));
    EXPECT_GT(t.lines.size(), static_cast<size_t>(words / 5));
  }
  EXPECT_LT(counts[0], 60u);
  EXPECT_LT(counts[1], counts[0] + 15);  // ten times the words: a few more growth steps
}
#endif

// Random books under ordinary and extreme settings keep the layout's promises.
class PaginatorInvariants : public testing::TestWithParam<LayoutSetup> {};

Stream random_book(unsigned seed) {
  std::mt19937 rng(seed);
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  Stream s;
  for (int i = 0; i < 3000; ++i) {
    if (chance(2)) {
      // One draw after another: the order in which a call's arguments are taken is the
      // compiler's, and every build must lay out the same book.
      const int w = chance(70) ? 1 + static_cast<int>(rng() % 900) : 0;
      const int h = 1 + static_cast<int>(rng() % 900);
      s.picture(w, h, chance(20) ? uint8_t{BRK_DOCUMENT} : uint8_t{BRK_BLOCK});
      continue;
    }
    const size_t length = 1 + rng() % (chance(3) ? 40 : 12);
    std::string text(length, static_cast<char>('a' + rng() % 26));
    static const char* const kDashes[] = {"\xE2\x80\x94", "-", "--"};
    if (text.size() >= 4 && chance(10)) text.insert(text.size() / 2, kDashes[rng() % 3]);
    if (chance(3)) text += "\xE2\x80\x94";  // often glued to the next word
    if (text.size() >= 6 && chance(50))
      hyphen_table()[text] = {2, static_cast<uint32_t>(text.size() - 2)};
    const uint8_t brk = chance(1)   ? uint8_t{BRK_DOCUMENT}
                        : chance(6) ? uint8_t{BRK_BLOCK}
                        : chance(4) ? uint8_t{BRK_LINE}
                                    : uint8_t{BRK_NONE};
    const uint8_t style = chance(3) ? uint8_t{STYLE_HEADING} : static_cast<uint8_t>(rng() % 3);
    const bool join = brk == BRK_NONE && chance(12);
    s.word(text, style, brk, join);
    if (brk == BRK_NONE && !join && chance(6)) s.all().back().tie = 1;
  }
  return s;
}

TEST_P(PaginatorInvariants, EveryWordLandsOnExactlyOnePageAndLinesStayInTheirWidth) {
  const LayoutSetup setup = GetParam();
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    reset_tables();
    Stream s = random_book(seed);
    const std::vector<BookWord>& words = s.all();
    PageTable t = lay_out(words, setup);
    const PageGeometry g = page_geometry(t, setup.screen_w, setup.screen_h);
    const PageMetrics m = page_metrics(t, source_of(words, setup));

    // Pages: start at line 0, strictly ascending, none empty.
    ASSERT_FALSE(t.page_starts.empty());
    EXPECT_EQ(t.page_starts[0], 0u);
    for (size_t p = 1; p < t.page_starts.size(); ++p) {
      EXPECT_GT(t.page_starts[p], t.page_starts[p - 1]);
      EXPECT_LT(t.page_starts[p], t.lines.size());
    }

    // Words: each in one line, or in consecutive lines when split; only pictures without a size
    // are left out.
    std::vector<int> seen(words.size(), 0);
    for (size_t i = 0; i < t.lines.size(); ++i) {
      const LayoutLine& l = t.lines[i];
      for (uint64_t w = l.word_from; w < l.word_to; ++w) seen[w]++;
      if (l.start_off != 0) {
        ASSERT_GT(i, 0u);
        EXPECT_EQ(t.lines[i - 1].cut_off, l.start_off);
        EXPECT_EQ(t.lines[i - 1].word_to, l.word_from + 1);
      }
      // Only a line showing a single character may be wider than the text width.
      size_t shown_chars = 0;
      walk_line(l, m, [&](const PlacedWord& p) {
        for (char c : p.shown) shown_chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return true;
      });
      const bool lone = l.word_to - l.word_from == 1 && shown_chars <= 1;
      // A line ends before a word tied to it by a no-break space only inside a run of tied words
      // too wide for a line, which then fills the line alone, or where a picture without a size,
      // left out, broke the block between them.
      const uint64_t next = i + 1 < t.lines.size() ? t.lines[i + 1].word_from : words.size();
      const auto at = [&](uint64_t k) { return words.begin() + static_cast<std::ptrdiff_t>(k); };
      const bool broken_between = std::any_of(at(l.word_to), at(std::min<uint64_t>(next, words.size())),
                                              [](const BookWord& b) { return b.brk != BRK_NONE; });
      if (next < words.size() && t.lines[i + 1].start_off == 0 && words[next].tie && !broken_between &&
          !is_picture_line(l, m) &&
          (words[next].style == STYLE_HEADING) == (words[l.word_to - 1].style == STYLE_HEADING)) {
        for (uint64_t w = l.word_from + 1; w < l.word_to; ++w) {
          EXPECT_TRUE(words[w].join || words[w].tie) << "line " << i << " word " << w;
        }
      }
      if (!lone && !is_picture_line(l, m)) {
        EXPECT_LE(l.width, g.text_width + 1e-3) << "line " << i;
      }
      bool heading = words[l.word_from].style == STYLE_HEADING;
      for (uint64_t w = l.word_from; w < l.word_to; ++w) {
        EXPECT_EQ(words[w].style == STYLE_HEADING, heading);
      }
      // Where the walker puts the last word agrees with the width the paginator measured.
      float end = 0;
      walk_line(l, m, [&](const PlacedWord& p) {
        end = p.x + p.width;
        return true;
      });
      if (!is_picture_line(l, m)) {
        const float stretch = justify_extra(l, m) * static_cast<float>(l.gaps);
        EXPECT_NEAR(end, g.margin + l.width + stretch, 0.05) << "line " << i;
        if (!lone) {
          EXPECT_LE(end, g.margin + g.text_width + 0.05) << "line " << i;
        }
      }
    }
    for (size_t w = 0; w < words.size(); ++w) {
      if (words[w].style == STYLE_PICTURE) {
        int iw = 0, ih = 0;
        PictureBox box;
        if (!picture_size(w, &iw, &ih) || !picture_box(g, iw, ih, &box)) continue;  // takes no line
      }
      EXPECT_GE(seen[w], 1) << "word " << w;
    }

    // The page of each page's first word is that page, or the last of the pages right after it
    // that go on with the rest of that word.
    for (size_t p = 0; p < t.page_count(); ++p) {
      const LayoutLine& first = t.lines[t.page_starts[p]];
      if (first.start_off != 0) continue;
      size_t last = p;
      while (last + 1 < t.page_count() && t.lines[t.page_starts[last + 1]].start_off != 0 &&
             t.lines[t.page_starts[last + 1]].word_from == first.word_from) {
        ++last;
      }
      EXPECT_EQ(page_of_word(t, first.word_from), last);
    }
  }
}

LayoutSetup with(int32_t font, int32_t margin, int32_t line_pct, int32_t w = 1072,
                 int32_t h = 1448) {
  LayoutSetup s;
  s.font_px = font;
  s.margin_px = margin;
  s.line_pct = line_pct;
  s.screen_w = w;
  s.screen_h = h;
  return s;
}

std::string setting_name(const testing::TestParamInfo<LayoutSetup>& info) {
  static const char* const names[] = {"small_screen",
                                      "defaults",
                                      "largest",
                                      "landscape_smallest",
                                      "text_taller_than_the_page",
                                      "margins_wider_than_the_screen"};
  return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(LayoutSettings, PaginatorInvariants,
                         testing::Values(LayoutSetup{}, with(40, 64, 148), with(110, 144, 180),
                                         with(32, 24, 92, 1448, 1072), with(2000, 64, 148),
                                         with(40, 700, 148)),
                         setting_name);
// A justified line without a space (a damaged cache can say so) adds nothing instead of dividing
// its slack by zero.
TEST(JustifyExtra, LineWithoutGapsGetsNone) {
  LayoutLine line{};
  line.justify = true;
  line.width = 300;
  PageMetrics m;
  m.text_width = 900;
  m.space = 10;
  EXPECT_EQ(justify_extra(line, m), 0.0f);
  line.gaps = 4;
  EXPECT_EQ(justify_extra(line, m), 25.0f);
}
}  // namespace
