#include "display/hyphenation.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
std::vector<uint32_t> breaks(const std::string& word, int max = 64) {
  std::vector<uint32_t> out(static_cast<size_t>(std::max(max, 1)));
  int n = ql_hyphens(word.c_str(), out.data(), max);
  out.resize(static_cast<size_t>(n));
  return out;
}

// The word with a "-" at every break point.
std::string hyphenated(const std::string& word) {
  std::string s;
  size_t prev = 0;
  for (uint32_t at : breaks(word)) {
    s += word.substr(prev, at - prev) + "-";
    prev = at;
  }
  return s + word.substr(prev);
}

struct Golden {
  const char* word;
  const char* expected;
};

void expect_goldens(const char* lang, const std::vector<Golden>& goldens) {
  ql_hy_lang(lang);
  for (const Golden& g : goldens) {
    SCOPED_TRACE(g.word);
    EXPECT_EQ(hyphenated(g.word), g.expected);
  }
}
}  // namespace

TEST(Hyphenation, LanguageTags) {
  struct { const char* tag; int lang; } cases[] = {
      {"en", HY_ENGLISH}, {"en-US", HY_ENGLISH}, {"EN_gb", HY_ENGLISH}, {"fi", HY_FINNISH},
      {"FI-fi", HY_FINNISH}, {"fin", HY_FINNISH}, {"de", HY_NONE}, {"", HY_NONE},
      {"e", HY_NONE}, {nullptr, HY_NONE},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.tag ? c.tag : "(null)");
    EXPECT_EQ(ql_hy_lang(c.tag), c.lang);
  }
}

TEST(Hyphenation, EnglishGoldens) {
  expect_goldens("en", {
      {"hyphenation", "hy-phen-ation"},
      {"hyphenate", "hy-phen-ate"},
      {"computer", "com-puter"},
      {"algorithm", "al-go-rithm"},
      {"encyclopedia", "en-cy-clo-pe-dia"},
      {"typesetting", "type-set-ting"},
      {"mathematics", "math-e-mat-ics"},
      {"dictionary", "dic-tio-nary"},
      {"communication", "com-mu-ni-ca-tion"},
      {"university", "uni-ver-sity"},
      {"information", "in-for-ma-tion"},
      {"development", "de-vel-op-ment"},
      {"programming", "pro-gram-ming"},
      {"international", "in-ter-na-tional"},
      {"representation", "rep-re-sen-ta-tion"},
      {"characters", "char-ac-ters"},
      {"paragraph", "para-graph"},
      {"example", "ex-am-ple"},
      {"possible", "pos-si-ble"},
      {"concatenation", "con-cate-na-tion"},
      {"manuscript", "man-u-script"},
      {"project", "pro-ject"},
      {"table", "table"},
      {"supercalifragilisticexpialidocious", "su-per-cal-ifrag-ilis-tic-ex-pi-ali-do-cious"},
      // Capitals are looked up as lower case; the text keeps its own bytes.
      {"Hyphenation", "Hy-phen-ation"},
      {"TYPESETTING", "TYPE-SET-TING"},
  });
}

TEST(Hyphenation, FinnishGoldens) {
  expect_goldens("fi", {
      {"kalakukko", "ka-la-kuk-ko"},
      {"hyvää", "hy-vää"},
      {"äidinkieli", "äi-din-kie-li"},
      {"kirjasto", "kir-jas-to"},
      {"suomalainen", "suo-ma-lai-nen"},
      {"ystävällinen", "ys-tä-väl-li-nen"},
      {"yliopisto", "yli-opis-to"},
      {"maailma", "maa-il-ma"},
      {"tietokone", "tie-to-ko-ne"},
      {"perusasia", "pe-rus-asia"},
      {"hääyö", "hää-yö"},
      {"koulu", "kou-lu"},
      {"kaupunki", "kau-pun-ki"},
      {"vaatteet", "vaat-teet"},
      {"kuningatar", "ku-nin-ga-tar"},
      {"tyttö", "tyt-tö"},
      {"ajatus", "aja-tus"},
      {"sanakirja", "sa-na-kir-ja"},
      // Capital Ä, Å and Ö count as their small letters.
      {"ÄIDINKIELI", "ÄI-DIN-KIE-LI"},
      {"HÄÄYÖ", "HÄÄ-YÖ"},
      {"tyttÖ", "tyt-tÖ"},
      {"kÅlakukko", "kÅ-la-kuk-ko"},
  });
}

TEST(Hyphenation, BreakRangeKeepsLettersOnBothSides) {
  ql_hy_lang("en");
  for (const char* w : {"hyphenation", "representation", "supercalifragilisticexpialidocious"}) {
    SCOPED_TRACE(w);
    size_t n = strlen(w);
    for (uint32_t at : breaks(w)) {
      EXPECT_GE(at, 2u);
      EXPECT_LE(at, n - 3);
    }
  }
  ql_hy_lang("fi");
  // Finnish leaves two letters after the last break: "kuk-ko".
  EXPECT_EQ(breaks("kalakukko").back(), 7u);
}

TEST(Hyphenation, ShortWordsAndNoLanguage) {
  ql_hy_lang("en");
  EXPECT_TRUE(breaks("hyph").empty());
  EXPECT_TRUE(breaks("").empty());
  ql_hy_lang("fi");
  EXPECT_TRUE(breaks("äiti").empty());
  ql_hy_lang("de");
  EXPECT_TRUE(breaks("hyphenation").empty());
  ql_hy_lang(nullptr);
  EXPECT_TRUE(breaks("kalakukko").empty());
}

TEST(Hyphenation, OffsetsCountFromTheFirstByteGiven) {
  ql_hy_lang("en");
  EXPECT_EQ(breaks("hyphenation"), (std::vector<uint32_t>{2, 6}));
  EXPECT_EQ(breaks("(hyphenation)"), (std::vector<uint32_t>{3, 7}));
  EXPECT_EQ(breaks("\"'hyphenation,"), (std::vector<uint32_t>{4, 8}));
  // A non-ASCII byte ends the skip; it is not a letter, so there is no word.
  EXPECT_TRUE(breaks("\xc2\xabhyphenation").empty());
  ql_hy_lang("fi");
  // "ä" is two bytes, so every later offset moves by one.
  EXPECT_EQ(breaks("(äidinkieli"), (std::vector<uint32_t>{4, 7, 10}));
}

TEST(Hyphenation, WordEndsAtAnUnlistedCharacter) {
  ql_hy_lang("en");
  struct { const char* text; const char* expected; } cases[] = {
      {"hyphenation\xc3\xa9tude", "hy-phen-ation\xc3\xa9tude"},  // é ends the word
      {"hyph\xc3\xa9nation", "hyph\xc3\xa9nation"},              // only "hyph" is left
      {"hyphenation-typesetting", "hy-phen-ation-typesetting"},
      {"hyphenation\xc3", "hy-phen-ation\xc3"},                 // cut sequence at the end
      {"hyphenation\xc3(", "hy-phen-ation\xc3("},
      {"hyphenation's", "hy-phen-ation's"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(hyphenated(c.text), c.expected);
  }
}

TEST(Hyphenation, MaxLimitsTheCount) {
  ql_hy_lang("en");
  const char* w = "supercalifragilisticexpialidocious";
  std::vector<uint32_t> all = breaks(w);
  ASSERT_EQ(all.size(), 10u);
  for (int max : {0, 1, 3, 10, 11}) {
    SCOPED_TRACE(max);
    std::vector<uint32_t> some = breaks(w, max);
    ASSERT_EQ(some.size(), static_cast<size_t>(std::min(max, 10)));
    EXPECT_TRUE(std::equal(some.begin(), some.end(), all.begin()));
  }
  uint32_t untouched = 77;
  EXPECT_EQ(ql_hyphens(w, &untouched, -1), 0);
  EXPECT_EQ(untouched, 77u);
}

TEST(Hyphenation, WordsAreCutAt120Letters) {
  ql_hy_lang("fi");
  std::string word;
  for (int i = 0; i < 65; i++) word += "ka";  // 130 letters: ka-ka-...-ka
  std::vector<uint32_t> got = breaks(word, 200);
  // Only the first 120 letters count: breaks before letters 2, 4, ..., 118.
  ASSERT_EQ(got.size(), 59u);
  EXPECT_EQ(got.front(), 2u);
  EXPECT_EQ(got.back(), 118u);
}

TEST(Hyphenation, SwitchingLanguagesBackAndForth) {
  for (int round = 0; round < 3; round++) {
    SCOPED_TRACE(round);
    EXPECT_EQ(ql_hy_lang("en"), HY_ENGLISH);
    EXPECT_EQ(hyphenated("hyphenation"), "hy-phen-ation");
    EXPECT_EQ(ql_hy_lang("fi"), HY_FINNISH);
    EXPECT_EQ(hyphenated("kalakukko"), "ka-la-kuk-ko");
    // English patterns are gone: Finnish splits by its own syllable rules.
    EXPECT_EQ(hyphenated("hyphenation"), "hyp-he-na-tion");
    EXPECT_EQ(ql_hy_lang("xx"), HY_NONE);
    EXPECT_EQ(hyphenated("kalakukko"), "kalakukko");
    EXPECT_EQ(ql_hy_lang("fi"), HY_FINNISH);
    EXPECT_EQ(hyphenated("kalakukko"), "ka-la-kuk-ko");
  }
}
