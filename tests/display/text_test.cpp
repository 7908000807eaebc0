// Text measuring and drawing on the embedded faces: decoding, styles, fallback, kerning, caches.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/font_cache.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ql_init(1), 1);
    ql_font_load(nullptr);
  }
  void TearDown() override { ql_close(); }
};

uint32_t glyph_of(int slot, uint32_t cp) { return uint32_t(met(slot, cp).glyph); }

// Bounding box and count of the pixels that are not white.
struct Ink {
  int count = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};
Ink ink() {
  const Framebuffer& fb = ql_fb();
  Ink k;
  for (int y = 0; y < fb.height; ++y)
    for (int x = 0; x < fb.width; ++x)
      if (fb.pixels[size_t(y) * fb.width + x] != 255) {
        ++k.count;
        k.x0 = std::min(k.x0, x);
        k.y0 = std::min(k.y0, y);
        k.x1 = std::max(k.x1, x);
        k.y1 = std::max(k.y1, y);
      }
  return k;
}

TEST_F(TextTest, ReadingFaceKernsClassicPairs) {
  struct Case {
    const char* pair;
    int slot;
  } cases[] = {{"AV", 0}, {"To", 0}, {"AV", 1}, {"To", 2}, {"Te", 0}, {"VA", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pair) + " slot " + std::to_string(c.slot));
    const int k = kern(c.slot, glyph_of(c.slot, uint8_t(c.pair[0])), glyph_of(c.slot, uint8_t(c.pair[1])));
    EXPECT_LT(k, 0);
  }
  // "oo" has no kerning; and the measured pair is narrower than its letters apart.
  EXPECT_EQ(kern(0, glyph_of(0, 'o'), glyph_of(0, 'o')), 0);
  EXPECT_LT(ql_measure("AV", 0, 40), ql_measure("A", 0, 40) + ql_measure("V", 0, 40) - 0.5f);
}

TEST_F(TextTest, InterfaceFaceKerns) {
  EXPECT_LT(kern(3, glyph_of(3, 'T'), glyph_of(3, 'o')), 0);
}

TEST_F(TextTest, EmptyStringMeasuresZeroAndDrawsNothing) {
  EXPECT_EQ(ql_measure("", 0, 40), 0.0f);
  EXPECT_EQ(ql_measure(nullptr, 0, 40), 0.0f);
  ql_text("", 0, 40, 100, 100);
  EXPECT_EQ(ink().count, 0);
}

TEST_F(TextTest, StyleTable) {
  const float regular = ql_measure("Hamburgefonstiv", 0, 40);
  const float italic = ql_measure("Hamburgefonstiv", 1, 40);
  const float bold = ql_measure("Hamburgefonstiv", 2, 40);
  const float ui = ql_measure("Hamburgefonstiv", 10, 40);
  const float ui_bold = ql_measure("Hamburgefonstiv", 11, 40);
  EXPECT_NE(regular, italic);
  EXPECT_NE(regular, bold);
  EXPECT_NE(regular, ui);
  EXPECT_NE(ui, ui_bold);
  EXPECT_EQ(ql_measure("Hamburgefonstiv", 3, 40), ql_measure("Hamburgefonstiv", 2, 54));
  for (TextStyle other : {-1, 4, 5, 9, 12, 1000}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(ql_measure("Hamburgefonstiv", other, 40), regular);
  }
}

TEST_F(TextTest, MeasureScalesWithSize) {
  const float a = ql_measure("reading", 0, 20), b = ql_measure("reading", 0, 40);
  EXPECT_NEAR(b, 2 * a, 0.01f);
}

TEST_F(TextTest, Utf8DecodingRules) {
  struct Case {
    const char* name;
    const char* raw;
    const char* same_as;
  } cases[] = {
      {"lone Latin-1 byte", "\xE9", "\xC3\xA9"},
      {"lead without continuation", "\xE2" "A", "\xEF\xBF\xBD" "A"},
      {"stray continuation", "\x80", "\xC2\x80"},
      {"invalid lead C0", "\xC0", "\xC3\x80"},
      {"invalid lead F5", "\xF5" "b", "\xC3\xB5" "b"},
      {"four-byte lead cut short", "\xF0\x9F" "x", "\xEF\xBF\xBD" "x"},
      {"lead cut short by the end", "a\xE2\x82", "a\xC3\xA2\xC2\x82"},
      {"continuation missing before the end", "\xE2\x82" "ab", "\xEF\xBF\xBD" "ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ql_measure(c.raw, 0, 40), ql_measure(c.same_as, 0, 40));
  }
}

TEST_F(TextTest, MissingCharactersAboveAndBelowU2000) {
  // U+2FFF (unassigned) is missing: no width. U+0378 (unassigned, below U+2000) draws the box.
  EXPECT_EQ(glyph_of(0, 0x2FFF), 0u);
  EXPECT_EQ(glyph_of(0, 0x0378), 0u);
  EXPECT_EQ(ql_measure("\xE2\xBF\xBF", 0, 40), 0.0f);
  const float box = ql_measure("\xCD\xB8", 0, 40);
  EXPECT_GT(box, 0.0f);
  EXPECT_EQ(box, float(met(0, 0).advance) * font_face(0).scale_for(40));
}

TEST_F(TextTest, InterfaceFaceFallsBackToReadingFace) {
  // Cyrillic is missing from the interface face and present in the reading face.
  const uint32_t zhe = 0x0416;
  ASSERT_EQ(glyph_of(3, zhe), 0u);
  ASSERT_NE(glyph_of(0, zhe), 0u);
  const float k3 = font_face(3).scale_for(40);
  const float fk = k3 * float(font_face(3).units_per_em) / float(font_face(0).units_per_em);
  EXPECT_FLOAT_EQ(ql_measure("\xD0\x96", 10, 40), float(met(0, zhe).advance) * fk);
  EXPECT_FLOAT_EQ(ql_measure("\xD0\x96", 11, 40),
                  float(met(2, zhe).advance) * font_face(4).scale_for(40) * float(font_face(4).units_per_em) /
                      float(font_face(2).units_per_em));
  ql_text("\xD0\x96", 10, 40, 100, 200);
  EXPECT_GT(ink().count, 50);
}

TEST_F(TextTest, IpaLettersDrawInEveryStyleNotAsTheBox) {
  // No reading or interface face has ɔ or ː; U+0378 (unassigned) is the box in every face.
  for (TextStyle style : {TS_REGULAR, TS_ITALIC, TS_BOLD, TS_UI, TS_UI_BOLD}) {
    SCOPED_TRACE(style);
    ql_clear();
    ql_text("\xCD\xB8\xCD\xB8", style, 40, 100, 200);
    const int boxes = ink().count;
    ql_text("\xC9\x94\xCB\x90", style, 40, 100, 400);
    EXPECT_GT(ink().count - boxes, 50);
    EXPECT_NE(ink().count - boxes, boxes);
  }
}

TEST_F(TextTest, DrawnTextLiesWhereItWasMeasured) {
  const char* line = "The quick brown fox";
  const float w = ql_measure(line, 0, 40);
  ql_text(line, 0, 40, 100, 300);
  const Ink k = ink();
  ASSERT_GT(k.count, 500);
  EXPECT_NEAR(k.x0, 100, 6);
  EXPECT_NEAR(k.x1, 100 + w, 6);
  EXPECT_LT(k.y1, 300 + 14);   // only descenders go below the baseline
  EXPECT_GT(k.y0, 300 - 40);   // cap height lies within the size
  EXPECT_LT(k.y0, 300 - 20);
}

TEST_F(TextTest, TextOnlyDarkensAndLeavesTheMask) {
  ql_rect(0, 0, 400, 100, 128);
  ql_mark(0, 0, 400, 100, 1);
  ql_text("Mask", 0, 60, 10, 80);
  const Framebuffer& fb = ql_fb();
  int darker = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 400; ++x) {
      EXPECT_LE(fb.pixels[size_t(y) * fb.width + x], 128);
      darker += fb.pixels[size_t(y) * fb.width + x] < 128;
      ASSERT_EQ(ql_mask()[size_t(y) * fb.width + x], 1);
    }
  EXPECT_GT(darker, 100);
}

TEST_F(TextTest, TextClippedAtTheFrameEdges) {
  const Framebuffer& fb = ql_fb();
  ql_text("Edge", 0, 80, -30, 20);
  ql_text("Edge", 0, 80, float(fb.width - 40), float(fb.height + 30));
  ql_text("Edge", 0, 80, 1e12f, -1e12f);
  EXPECT_GT(ink().count, 0);
}

TEST_F(TextTest, GlyphCacheFlushesAfter3072Renderings) {
  // Distinct sizes give distinct (glyph, scale) keys: each rendering is a new entry.
  int drawn = 0;
  bool flushed = false;
  for (int size = 10; size < 400 && !flushed; ++size) {
    for (char c = 'a'; c <= 'z'; ++c) {
      const char s[2] = {c, 0};
      const int before = font_cache_counts().glyphs;
      ql_text(s, 0, float(size) + 0.5f, 10, 500);
      ++drawn;
      const FontCacheCounts after = font_cache_counts();
      if (after.glyphs < before) {
        flushed = true;
        EXPECT_EQ(before, 3072);
        EXPECT_EQ(after.glyphs, 1);
        break;
      }
    }
  }
  EXPECT_TRUE(flushed);
  // Text still draws correctly from the emptied cache.
  ql_clear();
  ql_text("After", 0, 40, 100, 200);
  EXPECT_NEAR(ink().x1, 100 + ql_measure("After", 0, 40), 6);
}

TEST_F(TextTest, MetricCacheRestartsAt3072Entries) {
  for (uint32_t cp = 0x100; cp < 0x100 + 3100; ++cp) met(0, cp);
  EXPECT_LT(font_cache_counts().metrics, 3072);
  EXPECT_EQ(met(0, 'A').glyph, int32_t(stbtt_FindGlyphIndex(&font_face(0).info, 'A')));
}

}  // namespace
