// Loading a reading family from storage: missing, partial, damaged and hostile files.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "display/font_cache.h"
#include "display/font_validate.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "display/sfnt.h"
#include "support/temp_dir.h"

namespace {

const std::string kFonts = std::string(QL_SOURCE_DIR) + "/deps/fonts/";
const char* const kSample = "Hamburgefonstiv AVTo 0123 \xC3\xA9\xC3\xBC";

class FontLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ql_init(1), 1);
    ql_font_load(nullptr);
    for (int s = 0; s < 3; ++s) embedded[s] = ql_measure(kSample, s, 40);
    ui_face = read_file(kFonts + "HankenGrotesk-Regular.ttf");
    ASSERT_GT(ui_face.size(), 10000u);
  }
  void TearDown() override {
    ql_font_load(nullptr);
    ql_close();
  }
  // Loads the family and draws with it, so that a damaged face is rasterised too.
  int load_and_draw(const std::string& prefix) {
    const int r = ql_font_load(prefix.c_str());
    for (int s : {0, 1, 2, 3}) ql_text(kSample, s, 36, 20, 200 + 60 * s);
    return r;
  }
  float embedded[3] = {};
  std::string ui_face;
  TempDir dir;
};

uint32_t table_at(const std::string& font, const char* tag, uint32_t* len) {
  const ByteReader v{reinterpret_cast<const uint8_t*>(font.data()), font.size()};
  uint32_t at = 0;
  const ByteReader t = sfnt_table(v, 0, ByteReader(tag, 4).u32be_at(0), &at);
  *len = uint32_t(t.size());
  return at;
}
void put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v >> 8);
  s[at + 1] = char(v & 0xff);
}
void put32(std::string& s, size_t at, uint32_t v) {
  put16(s, at, uint16_t(v >> 16));
  put16(s, at + 2, uint16_t(v & 0xffff));
}
// File offset of the first character-map subtable of a format, or 0.
uint32_t cmap_subtable(const std::string& font, uint16_t format) {
  uint32_t len = 0;
  const uint32_t cmap = table_at(font, "cmap", &len);
  const ByteReader v{reinterpret_cast<const uint8_t*>(font.data()) + cmap, len};
  for (uint16_t i = 0; i < v.u16be_at(2); ++i) {
    const uint32_t sub = v.u32be_at(4 + 8 * i + 4);
    if (v.u16be_at(sub) == format) return cmap + sub;
  }
  return 0;
}
// File offset of a table's directory record, or 0.
size_t directory_record(const std::string& font, const char* tag) {
  const ByteReader v{reinterpret_cast<const uint8_t*>(font.data()), font.size()};
  for (uint16_t i = 0; i < v.u16be_at(4); ++i) {
    if (font.compare(12 + 16 * size_t(i), 4, tag) == 0) return 12 + 16 * size_t(i);
  }
  return 0;
}

TEST_F(FontLoadTest, EmbeddedFacesLoadAndValidate) {
  for (const char* name : {"SourceSerif4-Regular.ttf", "SourceSerif4-It.ttf", "SourceSerif4-Bold.ttf",
                           "HankenGrotesk-Regular.ttf", "HankenGrotesk-SemiBold.ttf"}) {
    SCOPED_TRACE(name);
    const std::string f = read_file(kFonts + name);
    uint32_t face = 99;
    EXPECT_TRUE(font_file_usable({reinterpret_cast<const uint8_t*>(f.data()), f.size()}, &face));
    EXPECT_EQ(face, 0u);
  }
}

TEST_F(FontLoadTest, FamiliesWholePartialAndMissing) {
  const float hanken = ql_measure(kSample, 10, 40);
  struct Case {
    const char* name;
    std::vector<std::string> files;  // suffixes written with the Hanken face
    int loaded;
  } cases[] = {
      {"whole family", {"-Regular.ttf", "-Italic.ttf", "-Bold.ttf"}, 1},
      {"second suffixes", {"-Roman.ttf", "-It.ttf", "-Semibold.ttf"}, 1},
      {"only roman: italic and bold draw as the regular", {"-Roman.ttf"}, 1},
      {"nothing there", {}, 0},
      {"only italic", {"-Italic.ttf"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir family;
    for (const std::string& suffix : c.files) write_file(family / ("Face" + suffix), ui_face);
    EXPECT_EQ(load_and_draw(family / "Face"), c.loaded);
    if (c.loaded) {
      EXPECT_FLOAT_EQ(ql_measure(kSample, 0, 40), hanken);
      EXPECT_FLOAT_EQ(ql_measure(kSample, 1, 40), hanken);
      EXPECT_FLOAT_EQ(ql_measure(kSample, 2, 40), hanken);
    } else {
      EXPECT_FLOAT_EQ(ql_measure(kSample, 0, 40), embedded[0]);
    }
    if (c.files.size() == 1 && !c.loaded) {
      EXPECT_FLOAT_EQ(ql_measure(kSample, 1, 40), hanken);
      EXPECT_FLOAT_EQ(ql_measure(kSample, 2, 40), embedded[2]);
    }
  }
  ql_font_load("");
  for (int s = 0; s < 3; ++s) EXPECT_FLOAT_EQ(ql_measure(kSample, s, 40), embedded[s]);
}

TEST_F(FontLoadTest, InitReturnsToTheEmbeddedFaces) {
  write_file(dir / "Face-Regular.ttf", ui_face);
  ASSERT_EQ(ql_font_load((dir / "Face").c_str()), 1);
  ASSERT_NE(ql_measure(kSample, 0, 40), embedded[0]);
  ql_close();
  ASSERT_EQ(ql_init(1), 1);
  EXPECT_FLOAT_EQ(ql_measure(kSample, 0, 40), embedded[0]);
}

TEST_F(FontLoadTest, CorruptRegularLeavesAllReadingSlotsEmbedded) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"text", "this is not a font"},
      {"half a face", ui_face.substr(0, ui_face.size() / 2)},
      {"zeroed directory", std::string(12, '\0') + ui_face.substr(12)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir / "Bad-Regular.ttf", c.bytes);
    EXPECT_EQ(load_and_draw(dir / "Bad"), 0);
    for (int s = 0; s < 3; ++s) EXPECT_FLOAT_EQ(ql_measure(kSample, s, 40), embedded[s]);
  }
}

TEST_F(FontLoadTest, HostileStructuresAreRefused) {
  uint32_t len = 0;
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::vector<Case> cases;
  {  // character map search fields that send stb_truetype's binary search astray
    std::string f = ui_face;
    const uint32_t cmap = table_at(f, "cmap", &len);
    const ByteReader v{reinterpret_cast<const uint8_t*>(f.data()) + cmap, len};
    for (uint16_t i = 0; i < v.u16be_at(2); ++i) {
      const uint32_t sub = cmap + v.u32be_at(4 + 8 * i + 4);
      if (uint8_t(f[sub + 1]) == 4) put16(f, sub + 8, 0xfffe);
    }
    cases.push_back({"format 4 search range", f});
  }
  {  // a glyph location past the end of the glyph table
    std::string f = ui_face;
    const uint32_t head = table_at(f, "head", &len);
    const uint32_t loca = table_at(f, "loca", &len);
    const bool long_loca = f[head + 51] == 1;
    if (long_loca) {
      f[loca + 8] = char(0x7f);
    } else {
      put16(f, loca + 4, 0xffff);
    }
    cases.push_back({"glyph offset out of range", f});
  }
  {  // a composite glyph that contains itself
    std::string f = ui_face;
    uint32_t glyf_len = 0;
    const uint32_t head = table_at(f, "head", &len);
    const uint32_t loca = table_at(f, "loca", &len);
    const uint32_t glyf = table_at(f, "glyf", &glyf_len);
    const bool long_loca = f[head + 51] == 1;
    const ByteReader lv{reinterpret_cast<const uint8_t*>(f.data()) + loca, len};
    bool done = false;
    for (uint32_t g = 0; g + 1 < len / (long_loca ? 4 : 2) && !done; ++g) {
      const uint32_t at = long_loca ? lv.u32be_at(g * 4) : lv.u16be_at(g * 2) * 2u;
      const uint32_t end = long_loca ? lv.u32be_at(g * 4 + 4) : lv.u16be_at(g * 2 + 2) * 2u;
      if (end > at && sfnt_s16(ByteReader(f).from(glyf + at), 0) < 0) {  // a composite glyph
        put16(f, glyf + at + 12, uint16_t(g));
        done = true;
      }
    }
    ASSERT_TRUE(done);
    cases.push_back({"composite cycle", f});
  }
  {  // a line height of one unit would blow every glyph bitmap up
    std::string f = ui_face;
    const uint32_t hhea = table_at(f, "hhea", &len);
    put16(f, hhea + 4, 1);
    put16(f, hhea + 6, 0);
    cases.push_back({"tiny line height", f});
  }
  {  // more long metrics than glyphs
    std::string f = ui_face;
    const uint32_t hhea = table_at(f, "hhea", &len);
    put16(f, hhea + 34, 0xffff);
    cases.push_back({"metrics count", f});
  }
  {  // a table directory that runs off the file
    std::string f = ui_face;
    put16(f, 4, 0xfff0);
    cases.push_back({"table count", f});
  }
  // Values stb_truetype's 32-bit reader would shift into the sign bit of an int (found by fuzzing):
  // code points and glyph ids past their ranges, offsets past the end of the file.
  const std::string serif = read_file(kFonts + "SourceSerif4-Regular.ttf");
  const uint32_t groups = cmap_subtable(serif, 12);
  ASSERT_NE(groups, 0u);
  {
    std::string f = serif;
    put32(f, groups + 16 + 4, 0xffffffffu);
    cases.push_back({"format 12 group past Unicode", f});
  }
  {
    std::string f = serif;
    put32(f, groups + 16 + 8, 0x80000000u);
    cases.push_back({"format 12 glyph id past 16 bits", f});
  }
  {
    std::string f = serif;
    const size_t at = directory_record(f, "GPOS");
    ASSERT_NE(at, 0u);
    put32(f, at + 8, 0xffffff00u);
    cases.push_back({"GPOS table past the file", f});
  }
  {  // the first of two Unicode records, which the second overrides, points far away
    std::string f = ui_face;
    const uint32_t cmap = table_at(f, "cmap", &len);
    put32(f, cmap + 4 + 4, 0xfffffff0u);
    cases.push_back({"overridden map record past the table", f});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir / "Evil-Regular.ttf", c.bytes);
    EXPECT_EQ(load_and_draw(dir / "Evil"), 0);
    EXPECT_FLOAT_EQ(ql_measure(kSample, 0, 40), embedded[0]);
  }
}

TEST_F(FontLoadTest, EveryTruncationFailsOrDrawsSafely) {
  // Every prefix over the directory and small tables, then a stride through the rest.
  for (size_t n = 0; n < ui_face.size(); n += n < 600 ? 1 : 211) {
    write_file(dir / "Cut-Regular.ttf", ui_face.substr(0, n));
    EXPECT_EQ(load_and_draw(dir / "Cut"), 0) << n;
  }
}

TEST_F(FontLoadTest, ByteFlipsInEveryTableFailOrDrawSafely) {
  std::mt19937 rng(1234);
  const char* tags[] = {"cmap", "head", "hhea", "hmtx", "maxp", "loca", "glyf", "GPOS", "kern", "post"};
  int accepted = 0, tried = 0;
  // The first bytes (header and table directory) one by one.
  for (size_t at = 0; at < 12 + 16 * 20 && at < ui_face.size(); at += 3) {
    std::string f = ui_face;
    f[at] = char(f[at] ^ (1 << (at % 8)));
    write_file(dir / "Flip-Regular.ttf", f);
    accepted += load_and_draw(dir / "Flip");
    ++tried;
  }
  for (const char* tag : tags) {
    uint32_t len = 0;
    const uint32_t at = table_at(ui_face, tag, &len);
    if (len == 0) continue;
    for (int i = 0; i < 40; ++i) {
      std::string f = ui_face;
      for (int k = 0; k < 4; ++k) {
        const size_t pos = at + rng() % len;
        f[pos] = char(f[pos] ^ (1 << (rng() % 8)));
      }
      write_file(dir / "Flip-Regular.ttf", f);
      accepted += load_and_draw(dir / "Flip");
      ++tried;
      // Kerning over damaged lookups is read bounded too.
      for (uint32_t a = 0; a < 60; ++a) kern(0, a, 60 - a);
    }
  }
  // Most flips land in data that does not matter for safety; both outcomes must occur.
  EXPECT_GT(accepted, 0);
  EXPECT_LT(accepted, tried);
}

}  // namespace
