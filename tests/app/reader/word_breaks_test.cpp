#include "app/reader/word_breaks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Pattern points by word, as a language's patterns would give them.
int patterns(const char* word, uint32_t* out, int max) {
  static const std::map<std::string, std::vector<uint32_t>> table = {
      {"everything", {2, 5}},
      {"everything.", {2, 5}},
      {"https://everything", {10, 13}},
      {"www.everything", {6, 9}},
      {"artist", {3}},
      {"standardebooks.org", {3, 8}},
      {"hyphenation", {2, 6}},
  };
  auto it = table.find(word);
  if (it == table.end()) return 0;
  int n = 0;
  for (uint32_t p : it->second)
    if (n < max) out[n++] = p;
  return n;
}

std::vector<uint32_t> points_of(const std::string& word, bool with_patterns = true) {
  uint32_t out[24];
  const int n = word_break_points(word.c_str(), with_patterns ? patterns : nullptr, out, 24);
  return {out, out + n};
}

TEST(WordBreaks, SoftHyphensComeFirstThenPatternsMovedPastThem) {
  struct Case {
    const char* name;
    std::string word;
    bool with_patterns;
    std::vector<uint32_t> want;
  };
  const Case cases[] = {
      {"patterns only, last first", "everything", true, {5, 2}},
      {"soft hyphen at a pattern point counts once", "every\xC2\xADthing", true, {5, 2}},
      {"pattern points after a soft hyphen move past it", "ev\xC2\xAD" "erything", true, {2, 7}},
      {"several soft hyphens, last first", "hy\xC2\xADphen\xC2\xAD" "ation", true, {8, 2}},
      {"soft hyphens without patterns", "art\xC2\xADist", false, {3}},
      {"none at either end", "\xC2\xAD" "artist\xC2\xAD", true, {5}},
      {"an address gets soft hyphens only", "standard\xC2\xAD" "ebooks.org", true, {8}},
      {"an address gets no pattern points", "standardebooks.org", true, {}},
      {"nor does a scheme", "https://everything", true, {}},
      {"nor www.", "www.everything", true, {}},
      {"a dot after the word is no address", "everything.", true, {5, 2}},
      {"a word without points", "cat", true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(points_of(c.word, c.with_patterns), c.want);
  }
}

}  // namespace

namespace {
TEST(WordBreaks, DashesGiveTheirPointsFromTheLast) {
  const struct {
    const char* name;
    std::string word;
    std::vector<uint32_t> points;
    GluedText glued = {};
  } cases[] = {
      {"em dash", "observer\xE2\x80\x94" "excellent", {11}},
      {"en dash", "pages\xE2\x80\x93" "more", {8}},
      {"hyphens between letters", "Illiers-Combray-Sud", {16, 8}},
      {"hyphen after a letter of another script", "\xC3\xA9t\xC3\xA9-long", {6}},
      {"hyphen between digits", "1914-1918", {}},
      {"hyphen before a digit", "page-5", {}},
      {"dash opening the word", "\xE2\x80\x94" "excellent", {}},
      {"dash ending the word", "observer\xE2\x80\x94", {}},
      {"a run of dashes breaks after its last", "so\xE2\x80\x94\xE2\x80\x94" "so", {8}},
      {"two hyphens stand for a dash", "word--word", {6}},
      {"so do three, between digits too", "1914---1918", {7}},
      {"never before a closing quotation mark", "\xE2\x80\x9CYes\xE2\x80\x94\xE2\x80\x9D", {}},
      {"nor before a comma", "said\xE2\x80\x94,", {}},
      {"nor before a closing bracket", "aside--)", {}},
      {"nor before a closing guillemet or an ellipsis",
       "non\xE2\x80\x94\xC2\xBB" "a\xE2\x80\x94\xE2\x80\xA6", {}},
      {"before an opening quotation mark", "said\xE2\x80\x94\xE2\x80\x9CStop", {7}},
      {"an italic word glued after the dash", "road\xE2\x80\x94", {7}, {"", "one"}},
      {"a comma glued after the dash", "said\xE2\x80\x94", {}, {"", ","}},
      {"the dash opens a word glued to the one before", "\xE2\x80\x94" "one", {3}, {"road", ""}},
      {"a hyphen opens a word glued to letters", "-Combray", {1}, {"Illiers", ""}},
      {"a lone dash glued on both sides", "\xE2\x80\x94", {3}, {"road", "one"}},
      {"a run of dashes going on in the next word", "so\xE2\x80\x94", {}, {"", "\xE2\x80\x94so"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t out[24];
    const int n = dash_break_points(c.word.c_str(), out, 24, c.glued);
    EXPECT_EQ(std::vector<uint32_t>(out, out + n), c.points);
  }
}
}  // namespace
