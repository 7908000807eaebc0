// The page adapter against a fake page source: fitting, the three-page cache, point mapping, the
// word under a point and search with its 80-character spacing.
#include <gtest/gtest.h>

#include <memory>

#include "book/page_source.h"
#include "book/pdf_adapter.h"
#include "book/pdf_text.h"

namespace {

constexpr int kW = 1072, kH = 1448;

struct FakeLog {
  int renders = 0;
  int last_w = 0, last_h = 0;
};

// Pages of given sizes; each draws black over its whole area. Text is per page.
class FakeSource : public PageSource {
 public:
  FakeSource(std::vector<std::pair<float, float>> sizes, FakeLog& log, bool pictures = false)
      : sizes_(std::move(sizes)), log_(log), pictures_(pictures) {}
  std::vector<std::vector<PageChar>> text;
  bool fail_render = false;

  int page_count() const override { return static_cast<int>(sizes_.size()); }
  bool is_picture_book() const override { return pictures_; }
  bool page_size(int page, float& w, float& h) override {
    w = sizes_[static_cast<size_t>(page)].first;
    h = sizes_[static_cast<size_t>(page)].second;
    return true;
  }
  bool render(int, float, uint8_t* out, int w, int h, int stride) override {
    log_.renders++;
    log_.last_w = w, log_.last_h = h;
    if (fail_render) return false;
    for (int y = 0; y < h; ++y) std::fill(out + y * stride, out + y * stride + w, uint8_t{0});
    return true;
  }
  bool page_text(int page, std::vector<PageChar>& out) override {
    out = static_cast<size_t>(page) < text.size() ? text[static_cast<size_t>(page)] : std::vector<PageChar>{};
    return true;
  }
  std::string meta(const char*) override { return {}; }
  std::vector<PdfOutlineEntry> outline(size_t) override { return {}; }

 private:
  std::vector<std::pair<float, float>> sizes_;
  FakeLog& log_;
  bool pictures_;
};

// Characters of a line of text at baseline-box (x, y), 10 units per character, 12 high.
std::vector<PageChar> line_chars(const std::u32string& text, float x, float y) {
  std::vector<PageChar> out;
  for (char32_t c : text) {
    out.push_back({static_cast<uint32_t>(c), x, y, x + 10, y + 12});
    x += 10;
  }
  out.push_back({'\n', 0, 0, 0, 0});
  return out;
}

struct Placement {
  int x, y, w, h;
};
Placement placement() {
  Placement p{};
  qlpdf_page_images(&p.x, &p.y, &p.w, &p.h);
  return p;
}

TEST(PdfAdapter, FitsEveryPageShapeIntoThePageAreaCentredAndKeepsItsProportions) {
  struct Case {
    const char* name;
    float w, h;
  } cases[] = {
      {"portrait A4", 595, 842}, {"landscape", 842, 595},     {"comic strip", 850, 3699},
      {"poster 1:2.5", 400, 1000}, {"wide 2.5:1", 1000, 400}, {"tiny, enlarged", 10, 12},
      {"huge", 14400, 14400},
  };
  std::vector<uint8_t> screen(size_t(kW) * kH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeLog log;
    qlpdf_adopt(std::make_unique<FakeSource>(std::vector<std::pair<float, float>>{{c.w, c.h}}, log));
    ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
    const Placement p = placement();
    EXPECT_EQ(log.last_w, p.w);
    EXPECT_EQ(log.last_h, p.h);
    EXPECT_LE(p.w, kW - 64);
    EXPECT_LE(p.h, kH - 180);
    EXPECT_TRUE(p.w == kW - 64 || p.h == kH - 180) << p.w << " x " << p.h;
    EXPECT_NEAR(double(p.w) / p.h, double(c.w) / c.h, 2.0 / std::min(p.w, p.h));
    EXPECT_EQ(p.x, (kW - p.w) / 2);
    EXPECT_EQ(p.y, (kH - 180 - p.h) / 2 + 96);
    // The page is where the placement says, the header and footer bands stay white.
    EXPECT_EQ(screen[size_t(p.y) * kW + p.x], 0);
    EXPECT_EQ(screen[size_t(p.y + p.h - 1) * kW + p.x + p.w - 1], 0);
    EXPECT_EQ(screen[size_t(89) * kW + kW / 2], 255);
    EXPECT_EQ(screen[size_t(kH - 70) * kW + kW / 2], 255);
    // A point maps to the page (in tenths of a unit) and back to within a pixel and a tenth.
    int px = 0, py = 0, sx = 0, sy = 0;
    qlpdf_screen_to_page(p.x + p.w / 3, p.y + p.h / 2, &px, &py);
    qlpdf_page_to_screen(px, py, &sx, &sy);
    const double tenth = p.w / c.w / 10;
    EXPECT_NEAR(sx, p.x + p.w / 3, 1 + tenth);
    EXPECT_NEAR(sy, p.y + p.h / 2, 1 + tenth);
  }
  qlpdf_close();
}

TEST(PdfAdapter, KeepsThreePagesAndEvictsTheLeastRecentlyShown) {
  FakeLog log;
  qlpdf_adopt(std::make_unique<FakeSource>(
      std::vector<std::pair<float, float>>{{600, 800}, {800, 600}, {500, 500}, {300, 900}}, log));
  std::vector<uint8_t> screen(size_t(kW) * kH);
  auto show = [&](int page, int w = kW, int h = kH) {
    EXPECT_EQ(qlpdf_render(page, screen.data(), w, h), 1);
    return log.renders;
  };
  EXPECT_EQ(show(0), 1);
  const Placement first = placement();
  EXPECT_EQ(show(0), 1) << "the same page at the same size is copied from the cache";
  EXPECT_EQ(show(1), 2);
  EXPECT_EQ(show(2), 3);
  EXPECT_EQ(show(0), 3);
  const Placement again = placement();
  EXPECT_EQ(again.w, first.w);
  EXPECT_EQ(again.h, first.h);
  EXPECT_EQ(show(3), 4) << "evicts page 1, the least recently shown";
  EXPECT_EQ(show(0), 4);
  EXPECT_EQ(show(2), 4);
  EXPECT_EQ(show(1), 5);
  EXPECT_EQ(show(0, 800, 600), 6) << "another screen size is another picture";
  qlpdf_close();
}

// A page shown again from the cache is the screen as it was drawn, to the pixel.
TEST(PdfAdapter, PageFromTheCacheIsTheScreenAsDrawn) {
  struct Stripes : FakeSource {
    using FakeSource::FakeSource;
    bool render(int page, float scale, uint8_t* out, int w, int h, int stride) override {
      FakeSource::render(page, scale, out, w, h, stride);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out[y * stride + x] = uint8_t((x * 7 + y * 3 + page) % 200);
      return true;
    }
  };
  FakeLog log;
  qlpdf_adopt(std::make_unique<Stripes>(std::vector<std::pair<float, float>>{{595, 842}, {842, 595}}, log));
  std::vector<uint8_t> screen(size_t(kW) * kH, 7);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  const std::vector<uint8_t> drawn = screen;
  ASSERT_EQ(qlpdf_render(1, screen.data(), kW, kH), 1);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  EXPECT_EQ(log.renders, 2);
  EXPECT_TRUE(screen == drawn);
  qlpdf_close();
}

// A run that draws one page and ends keeps none: each page is drawn again, and placed as drawn.
TEST(PdfAdapter, KeepsNoPageWhenAskedNotTo) {
  FakeLog log;
  qlpdf_adopt(std::make_unique<FakeSource>(std::vector<std::pair<float, float>>{{600, 800}, {800, 600}}, log));
  std::vector<uint8_t> screen(size_t(kW) * kH);
  qlpdf_keep_pages(false);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  const Placement first = placement();
  ASSERT_EQ(qlpdf_render(1, screen.data(), kW, kH), 1);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  EXPECT_EQ(log.renders, 3);
  const Placement again = placement();
  EXPECT_EQ(again.x, first.x);
  EXPECT_EQ(again.y, first.y);
  EXPECT_EQ(again.w, first.w);
  EXPECT_EQ(again.h, first.h);
  qlpdf_keep_pages(true);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  EXPECT_EQ(log.renders, 4) << "kept again once asked to";
  qlpdf_close();
}

TEST(PdfAdapter, RefusesPagesItCannotDrawAndLeavesTheScreenWhite) {
  FakeLog log;
  auto source = std::make_unique<FakeSource>(std::vector<std::pair<float, float>>{{600, 800}}, log);
  source->fail_render = true;
  qlpdf_adopt(std::move(source));
  std::vector<uint8_t> screen(size_t(kW) * kH, 7);
  EXPECT_EQ(qlpdf_render(0, screen.data(), kW, kH), 0);
  EXPECT_STREQ(qlpdf_error(), "This page could not be drawn");
  EXPECT_EQ(std::count(screen.begin(), screen.end(), 255), kW * kH);
  for (int page : {-1, 1, 1 << 30}) {
    EXPECT_EQ(qlpdf_render(page, screen.data(), kW, kH), 0);
    EXPECT_STREQ(qlpdf_error(), "Page out of range");
  }
  qlpdf_close();
  EXPECT_EQ(qlpdf_render(0, screen.data(), kW, kH), 0);
}

TEST(PdfAdapter, FindsTheWordUnderAPointAndNothingBetweenWords) {
  FakeLog log;
  auto source = std::make_unique<FakeSource>(std::vector<std::pair<float, float>>{{400, 500}}, log);
  // "Hello wor<soft hyphen>ld" on one line, "again" below.
  std::vector<PageChar> chars = line_chars(U"Hello wor\u00ADld", 20, 100);
  std::vector<PageChar> second = line_chars(U"again", 20, 130);
  chars.insert(chars.end(), second.begin(), second.end());
  source->text = {chars};
  qlpdf_adopt(std::move(source));
  std::vector<uint8_t> screen(size_t(kW) * kH);
  ASSERT_EQ(qlpdf_render(0, screen.data(), kW, kH), 1);
  const Placement p = placement();
  const float scale = float(p.w) / 400;
  auto at = [&](float page_x, float page_y) {
    return std::pair<int, int>{int(p.x + page_x * scale), int(p.y + page_y * scale)};
  };
  struct Case {
    const char* name;
    float x, y;
    const char* word;  // nullptr: nothing
  } cases[] = {
      {"inside Hello", 35, 106, "Hello"},      {"inside world", 95, 106, "world"},
      {"on the space", 75, 106, nullptr},      {"below the line, close", 35, 113, "Hello"},
      {"next line", 45, 136, "again"},         {"far from any text", 300, 400, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [x, y] = at(c.x, c.y);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    char word[256];
    const int found = qlpdf_word_at(0, x, y, &x0, &y0, &x1, &y1, word, sizeof word);
    EXPECT_EQ(found, c.word ? 1 : 0);
    if (!c.word) continue;
    EXPECT_STREQ(word, c.word);
    EXPECT_LT(x0, x1);
    EXPECT_LT(y0, y1);
    // The middle of the word's box finds the same word.
    char again[256];
    EXPECT_EQ(qlpdf_word_at(0, (x0 + x1) / 2, (y0 + y1) / 2, nullptr, nullptr, nullptr, nullptr, again,
                            sizeof again),
              1);
    EXPECT_STREQ(again, c.word);
  }
  char tiny[3];
  EXPECT_EQ(qlpdf_word_at(0, at(35, 106).first, at(35, 106).second, nullptr, nullptr, nullptr, nullptr, tiny, 3), 0);
  qlpdf_close();
}

TEST(PdfAdapter, SearchKeepsHitsEightyCharactersApartAndIgnoresCase) {
  FakeLog log;
  auto source = std::make_unique<FakeSource>(
      std::vector<std::pair<float, float>>{{400, 500}, {400, 500}, {400, 500}}, log);
  auto page_with_hits = [](std::initializer_list<size_t> at, const std::u32string& word) {
    std::u32string text(120, U'x');
    for (size_t i : at) text.replace(i, word.size(), word);
    return line_chars(text, 0, 0);
  };
  source->text = {page_with_hits({10, 50, 95}, U"Night train"), page_with_hits({}, U""),
                  page_with_hits({0}, U"NIGHT\u00A0TRAIN")};
  qlpdf_adopt(std::move(source));
  int pages[8], chars[8];
  ASSERT_EQ(qlpdf_search("night train", 0, 3, pages, chars, 8), 3);
  EXPECT_EQ(pages[0], 0);
  EXPECT_EQ(chars[0], 10);
  EXPECT_EQ(pages[1], 0);
  EXPECT_EQ(chars[1], 95);
  EXPECT_EQ(pages[2], 2);
  EXPECT_EQ(chars[2], 0);
  EXPECT_EQ(qlpdf_search("night train", 0, 3, pages, chars, 1), 1);
  EXPECT_EQ(qlpdf_search("night train", 1, 99, pages, chars, 8), 1);
  EXPECT_EQ(qlpdf_search("", 0, 3, pages, chars, 8), 0);
  EXPECT_EQ(qlpdf_search("night", 0, 3, pages, chars, 0), 0);
  qlpdf_close();

  // A comic has no text to search or select.
  auto comic = std::make_unique<FakeSource>(std::vector<std::pair<float, float>>{{400, 500}}, log, true);
  comic->text = {line_chars(U"night", 0, 0)};
  qlpdf_adopt(std::move(comic));
  EXPECT_EQ(qlpdf_search("night", 0, 1, pages, chars, 8), 0);
  qlpdf_close();
}

TEST(PdfAdapter, NaturalOrderComparesDigitRunsByValueAndLettersWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"page 2.jpg", "page 10.jpg", -1}, {"Page 2.jpg", "page 10.jpg", -1}, {"page 10.jpg", "page 9.jpg", 1},
      {"p007.png", "p7.png", -1},        {"p7.png", "p007.png", 1},         {"a.png", "A.png", 1},
      {"ch2/p1.png", "ch10/p1.png", -1}, {"x", "x", 0},                     {"x1", "x1a", -1},
      {"99999999999999999999", "100000000000000000000", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const int r = natural_compare(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.expected);
  }
}

}  // namespace
