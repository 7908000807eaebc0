#include "app/reader/layout_cache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "base/wyhash.h"
#include "display/framebuffer.h"
#include "support/device_root.h"
#include "support/layout_fixture.h"
#include "support/temp_dir.h"

using namespace layout_test;

namespace {
// A layout of synthetic words with every kind of line: split words, gaps, pictures, pages.
struct Sample {
  Stream stream;
  PageTable table;
};

void make_sample(Sample& s) {
  reset_tables();
  hyphen_table()["bbbbbbbbbb"] = {2, 5, 8};
  for (int i = 0; i < 60; ++i)
    s.stream.words({"aaaaaaaaaa", "bbbbbbbbbb", "cc", "dd"}, i % 5 ? BRK_NONE : BRK_BLOCK);
  // A word wider than a line, broken without hyphens.
  s.stream.words({std::string(50, 'w')}, BRK_BLOCK);
  s.stream.picture(100, 50);
  s.stream.words({"ee", "ff"}, BRK_DOCUMENT);
  s.table = lay_out(s.stream.all());
  s.table.key = 0x1234567890abcdefull;
}

void expect_same_layout(const PageTable& a, const PageTable& b) {
  ASSERT_EQ(a.lines.size(), b.lines.size());
  for (size_t i = 0; i < a.lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(a.lines[i].word_from, b.lines[i].word_from);
    EXPECT_EQ(a.lines[i].word_to, b.lines[i].word_to);
    EXPECT_EQ(a.lines[i].gaps, b.lines[i].gaps);
    EXPECT_EQ(a.lines[i].y, b.lines[i].y);
    EXPECT_EQ(a.lines[i].width, b.lines[i].width);
    EXPECT_EQ(a.lines[i].start_off, b.lines[i].start_off);
    EXPECT_EQ(a.lines[i].cut_off, b.lines[i].cut_off);
    EXPECT_EQ(a.lines[i].justify, b.lines[i].justify);
    EXPECT_EQ(a.lines[i].bare_cut, b.lines[i].bare_cut);
  }
  EXPECT_EQ(a.page_starts, b.page_starts);
}

void put32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}
void put_float(std::string& bytes, size_t at, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  put32(bytes, at, v);
}

class LayoutFile : public testing::Test {
 protected:
  void SetUp() override {
    make_sample(sample_);
    ASSERT_TRUE(layout_file_write(path().c_str(), sample_.table));
    bytes_ = read_file(path());
  }
  void TearDown() override { reset_tables(); }

  std::string path() const { return dir_ / "book.lay"; }
  const std::vector<BookWord>& words() { return sample_.stream.all(); }
  bool read_back(const std::string& bytes, PageTable& into, uint64_t key = 0x1234567890abcdefull) {
    write_file(path(), bytes);
    return layout_file_read(path().c_str(), key, words(), 400, into);
  }
  size_t n() const { return sample_.table.lines.size(); }
  size_t record(size_t line) const { return 24 + 24 * line; }
  size_t page_start(size_t page) const { return 24 + 24 * n() + 4 * page; }

  TempDir dir_;
  Sample sample_;
  std::string bytes_;
};

TEST_F(LayoutFile, RoundTripKeepsEveryLineAndPage) {
  ASSERT_GT(sample_.table.page_count(), 2u);
  size_t bare_cuts = 0;
  for (const LayoutLine& l : sample_.table.lines) bare_cuts += l.bare_cut;
  EXPECT_EQ(bare_cuts, 2u);  // the wide word's first two pieces
  EXPECT_EQ(bytes_.substr(0, 4), "QLAY");
  EXPECT_EQ(bytes_.size(), 24 + 24 * n() + 4 * sample_.table.page_count());
  PageTable back;
  ASSERT_TRUE(read_back(bytes_, back));
  expect_same_layout(sample_.table, back);
}

TEST_F(LayoutFile, RefusesAnythingThatDoesNotCheckOut) {
  // Find a line that ends with a split word, and the line after it.
  size_t split = 0;
  while (split < n() && sample_.table.lines[split].cut_off == 0) ++split;
  ASSERT_LT(split + 1, n());
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    uint64_t key = 0x1234567890abcdefull;
  };
  const Case cases[] = {
      {"other magic", [](std::string& b) { b[0] = 'X'; }},
      {"stale key", [](std::string&) {}, 0x1234567890abcdeeull},
      {"older paginator (reserved word 0)", [](std::string& b) { put32(b, 12, 0); }},
      // Made before soft hyphens measured nothing and wide words were broken.
      {"format 1", [](std::string& b) { put32(b, 12, 1); }},
      // Made before lines broke after dashes and line breaks kept their paragraph together.
      {"format 2", [](std::string& b) { put32(b, 12, 2); }},
      // Made while hidden text and page-break numbers were words and lines ended at no-break
      // spaces and before closing marks after a dash.
      {"format 3", [](std::string& b) { put32(b, 12, 3); }},
      // Made while a hidden picture named in capitals hid the rest of its chapter.
      {"format 4", [](std::string& b) { put32(b, 12, 4); }},
      {"no lines", [](std::string& b) { put32(b, 4, 0); }},
      {"4,000,001 lines claimed", [](std::string& b) { put32(b, 4, 4000001); }},
      {"more lines claimed than the file holds",
       [&](std::string& b) { put32(b, 4, static_cast<uint32_t>(n() + 1)); }},
      {"no pages", [](std::string& b) { put32(b, 8, 0); }},
      {"more pages than lines",
       [&](std::string& b) { put32(b, 8, static_cast<uint32_t>(n() + 1)); }},
      {"a byte too many", [](std::string& b) { b.push_back(0); }},
      {"first page not at line 0", [&](std::string& b) { put32(b, page_start(0), 1); }},
      {"page starts not increasing", [&](std::string& b) { put32(b, page_start(2), 0); }},
      {"page start past the lines",
       [&](std::string& b) { put32(b, page_start(2), static_cast<uint32_t>(n())); }},
      {"empty line",
       [&](std::string& b) {
         put32(b, record(3) + 4, static_cast<uint32_t>(sample_.table.lines[3].word_from));
       }},
      {"word past the book",
       [&](std::string& b) {
         put32(b, record(n() - 1) + 4, static_cast<uint32_t>(words().size() + 1));
       }},
      {"lines out of order", [&](std::string& b) { put32(b, record(4), 0); }},
      {"y not a number", [&](std::string& b) { put_float(b, record(2) + 8, NAN); }},
      {"y below the page", [&](std::string& b) { put_float(b, record(2) + 8, -5); }},
      {"width infinite", [&](std::string& b) { put_float(b, record(2) + 12, INFINITY); }},
      {"more gaps than words", [&](std::string& b) { b[record(2) + 16] = 100; }},
      {"start offset past the word",
       [&](std::string& b) {
         b[record(split + 1) + 18] = 60;
         b[record(split) + 20] = 60;
       }},
      {"cut word not continued", [&](std::string& b) { b[record(split + 1) + 18] = 0; }},
      {"cut offset past the word", [&](std::string& b) { b[record(split) + 20] = 40; }},
      {"hyphen left out of an uncut line", [&](std::string& b) { b[record(split + 1) + 23] = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = bytes_;
    c.damage(damaged);
    PageTable into;
    into.lines.push_back({});
    EXPECT_FALSE(read_back(damaged, into, c.key));
    EXPECT_TRUE(into.lines.empty());
    EXPECT_TRUE(into.page_starts.empty());
  }
}

TEST_F(LayoutFile, EveryTruncationIsRefused) {
  for (size_t len = 0; len < bytes_.size(); ++len) {
    PageTable into;
    ASSERT_FALSE(read_back(bytes_.substr(0, len), into)) << len;
  }
  PageTable missing;
  EXPECT_FALSE(layout_file_read((dir_ / "none.lay").c_str(), 0, words(), 400, missing));
}

// A flipped byte is refused or gives a layout every word of which can be placed and drawn.
TEST_F(LayoutFile, FlippedBytesNeverLeadOutsideTheBook) {
  const PageMetrics m = page_metrics(sample_.table, source_of(words(), {}));
  for (size_t at = 0; at < bytes_.size(); ++at) {
    for (uint8_t mask : {0x01, 0x80, 0xff}) {
      std::string damaged = bytes_;
      damaged[at] = static_cast<char>(damaged[at] ^ mask);
      PageTable into;
      if (!read_back(damaged, into)) continue;
      for (const LayoutLine& line : into.lines) {
        walk_line(line, m, [&](const PlacedWord& p) { return p.index < words().size(); });
      }
      for (size_t p = 0; p < into.page_count(); ++p) {
        auto [first, last] = into.page_lines(p);
        ASSERT_LT(first, last);
      }
    }
  }
}

TEST(LayoutKey, EveryInputChangesTheKey) {
  LayoutKeyInputs base;
  base.book_stamp = 1700000000 + 123456 * 1000003ull;
  base.font_name = "/mnt/us/fonts/Literata";
  base.font_px = 40;
  base.margin_px = 64;
  base.line_pct = 148;
  base.screen_w = 1072;
  base.screen_h = 1448;
  base.word_count = 90000;
  base.language = "en";
  const uint64_t key = layout_key_of(base);
  EXPECT_EQ(layout_key_of(base), key);
  const std::pair<const char*, std::function<void(LayoutKeyInputs&)>> changes[] = {
      {"book file", [](LayoutKeyInputs& in) { in.book_stamp++; }},
      {"font", [](LayoutKeyInputs& in) { in.font_name = ""; }},
      {"text size", [](LayoutKeyInputs& in) { in.font_px = 41; }},
      {"margin", [](LayoutKeyInputs& in) { in.margin_px = 24; }},
      {"line spacing", [](LayoutKeyInputs& in) { in.line_pct = 92; }},
      {"alignment", [](LayoutKeyInputs& in) { in.align = true; }},
      {"rotation", [](LayoutKeyInputs& in) { std::swap(in.screen_w, in.screen_h); }},
      {"word count", [](LayoutKeyInputs& in) { in.word_count = 90001; }},
      {"language", [](LayoutKeyInputs& in) { in.language = "fi"; }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    LayoutKeyInputs in = base;
    change(in);
    EXPECT_NE(layout_key_of(in), key);
  }
}

// The key hashes the inputs' bytes in a fixed order and width, numbers sign-extended.
TEST(LayoutKey, HashesTheInputsAsOneByteString) {
  LayoutKeyInputs in;
  in.book_stamp = 0x0102030405060708ull;
  in.font_name = "Serif";
  in.font_px = -1;
  in.margin_px = 64;
  in.line_pct = 148;
  in.align = true;
  in.screen_w = 1072;
  in.screen_h = 1448;
  in.word_count = 5;
  in.language = "en";
  std::string bytes;
  auto u64 = [&](uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
  };
  u64(in.book_stamp);
  bytes += "Serif";
  for (uint64_t v : {~0ull, 64ull, 148ull, 1ull, 1072ull, 1448ull, 5ull}) u64(v);
  bytes += "en";
  WyhashStream h = WyhashStream::from_state(0xad5bdefb69d8a063ull);
  h.update(bytes);
  EXPECT_EQ(layout_key_of(in), h.final());
}

// The open book, its cache file and the reader's place, through the process-wide state.
class LayoutCache : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ql_init(1), 1);
    BookModel book;
    book.book_lang = "en";
    for (int p = 0; p < 400; ++p) {
      for (int w = 0; w < 40; ++w)
        book.addword(w % 7 ? "extraordinary" : "of", 0, w == 0 ? BRK_BLOCK : BRK_NONE);
    }
    ql_book_replace(std::move(book));
    strcpy(app.reader.open_path, "/mnt/us/documents/book.epub");
    app.reader.book_stamp = 42;
    app.reader.book_open = true;
    layout = PageTable{};
  }
  void TearDown() override {
    ql_book_replace(BookModel{});
    layout_free();
    layout = PageTable{};
  }
  std::string cache_file() const {
    return root_.host("us/ql/state/layout/" + cache_key_hex(CacheKey(app.reader.open_path)) +
                      ".lay");
  }
  DeviceRoot root_;
};

TEST_F(LayoutCache, FreshPaginationIsWrittenAndThenLoadedInsteadOfRepeated) {
  EXPECT_EQ(layout_cache_path(),
            "/mnt/us/ql/state/layout/" + cache_key_hex(CacheKey(app.reader.open_path)) + ".lay");
  const uint32_t generation = layout.generation;
  ASSERT_TRUE(layout_cache_load());
  EXPECT_TRUE(app.reader.layout_dirty);
  EXPECT_EQ(layout.generation, generation + 1);
  ASSERT_GT(layout.page_count(), 10u);
  const PageTable fresh = layout;
  layout_cache_write();
  EXPECT_FALSE(app.reader.layout_dirty);
  ASSERT_TRUE(file_exists(cache_file()));

  layout.lines.clear();
  layout.page_starts.clear();
  ASSERT_TRUE(layout_cache_load());
  EXPECT_FALSE(app.reader.layout_dirty);
  expect_same_layout(fresh, layout);

  // Another text size: the file's key no longer matches and the book is laid out again.
  layout.font_px = 48;
  ASSERT_TRUE(layout_cache_load());
  EXPECT_TRUE(app.reader.layout_dirty);
  EXPECT_NE(layout.page_count(), fresh.page_count());
}

TEST_F(LayoutCache, TheFileCarriesTheKeyOfThePaginationNotOfLaterInputs) {
  ASSERT_TRUE(layout_paginate(layout.font_px));
  const PageTable made = layout;
  // The font changes after the pagination but before the main loop writes the file.
  strcpy(app.reader.font_name, "/mnt/us/fonts/Other");
  layout_cache_write();
  // Under the new font the file is stale; under the one it was made with it is good.
  ASSERT_TRUE(layout_cache_load());
  EXPECT_TRUE(app.reader.layout_dirty);
  app.reader.font_name[0] = 0;
  app.reader.layout_dirty = false;
  ASSERT_TRUE(layout_cache_load());
  EXPECT_FALSE(app.reader.layout_dirty);
  expect_same_layout(made, layout);
}

TEST_F(LayoutCache, DamagedFileIsLaidOutAfreshAndReplaced) {
  ASSERT_TRUE(layout_cache_load());
  layout_cache_write();
  std::string bytes = read_file(cache_file());
  bytes.resize(bytes.size() - 3);
  write_file(cache_file(), bytes);
  app.reader.layout_dirty = false;
  ASSERT_TRUE(layout_cache_load());
  EXPECT_TRUE(app.reader.layout_dirty);
  EXPECT_GT(layout.lines.size(), 0u);
  layout_cache_write();
  EXPECT_EQ(read_file(cache_file()).size(), bytes.size() + 3);
}

TEST_F(LayoutCache, RelayoutKeepsThePageAndTheBackMarkOnTheirWords) {
  ASSERT_TRUE(layout_cache_load());
  app.reader.page = 37;
  app.reader.back_page = 12;
  app.reader.back_valid = true;
  auto holds = [](uint64_t page, uint64_t w) {
    return layout.page_first_word(page) <= w &&
           (page + 1 >= layout.page_count() || layout.page_first_word(page + 1) > w);
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"larger text", [] { layout.font_px = 64; }},
      {"smaller text", [] { layout.font_px = 32; }},
      {"landscape", [] { ql_set_rotation(1); }},
      {"portrait again", [] { ql_set_rotation(0); }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    // Each page keeps the first word it showed before the change.
    const uint64_t word = layout.page_first_word(app.reader.page);
    const uint64_t back_word = layout.page_first_word(app.reader.back_page);
    const uint64_t pages = layout.page_count();
    change();
    relayout_keep_position();
    EXPECT_NE(layout.page_count(), pages);
    EXPECT_TRUE(holds(app.reader.page, word));
    EXPECT_TRUE(app.reader.back_valid);
    EXPECT_TRUE(holds(app.reader.back_page, back_word));
  }
  app.reader.back_valid = false;
  relayout_keep_position();
  EXPECT_FALSE(app.reader.back_valid);
}
}  // namespace
