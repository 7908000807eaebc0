#include <gtest/gtest.h>
#include <zlib.h>

#include <array>

#include "book/epub.h"
#include "support/epub_builder.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

// A w x h PNG of one grey level (8-bit greyscale, filter 0 on every row).
std::string grey_png(uint32_t w, uint32_t h, uint8_t level) {
  auto be32 = [](std::string& s, uint32_t v) {
    for (int k = 3; k >= 0; k--) s += static_cast<char>(v >> (8 * k) & 0xFF);
  };
  auto chunk = [&](std::string& out, const char* type, const std::string& data) {
    be32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type) + data;
    out += body;
    be32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  };
  std::string ihdr;
  be32(ihdr, w);
  be32(ihdr, h);
  ihdr += std::string("\x08\x00\x00\x00\x00", 5);  // depth 8, grey, deflate, filter 0, no interlace
  std::string raw;
  for (uint32_t r = 0; r < h; r++) raw += std::string(1, '\0') + std::string(w, static_cast<char>(level));
  std::string z(compressBound(static_cast<uLong>(raw.size())), '\0');
  uLongf zlen = static_cast<uLongf>(z.size());
  compress(reinterpret_cast<Bytef*>(z.data()), &zlen, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
  z.resize(zlen);
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  return png;
}

TEST(EpubCover, ChosenInItsOrderOfPreference) {
  std::string dark = grey_png(30, 40, 10), light = grey_png(30, 40, 200), mid = grey_png(30, 40, 120);
  struct Case {
    const char* name;
    std::vector<EpubItem> pictures;
    std::string meta;
    int expected;  // grey level at the centre, or -1 for no cover
  } cases[] = {
      {"cover-image property", {{"a", "images/cover-fallback.png", "image/png", light, "", false},
                                {"b", "images/b.png", "image/png", dark, "cover-image", false}}, "", 10},
      {"cover meta", {{"x", "x.png", "image/png", light, "", false}, {"y", "y.png", "image/png", mid, "", false}},
       "<meta name=\"cover\" content=\"y\"/>", 120},
      {"id or href naming a cover", {{"p", "p.png", "image/png", light, "", false},
                                     {"MyCover", "m.png", "image/png", dark, "", false},
                                     {"q", "covers/q.png", "image/png", mid, "", false}}, "", 10},
      {"svg is not a cover picture", {{"cover", "cover.svg", "image/svg+xml", "<svg/>", "", false}}, "", -1},
      {"no picture", {}, "", -1},
      {"named picture missing", {{"cover", "cover.png", "image/png", "", "cover-image", false}}, "", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EpubPlan plan = simple_book({"<p>x</p>"});
    for (const EpubItem& p : c.pictures) plan.items.push_back(p);
    plan.extra_metadata = c.meta;
    TempDir dir;
    write_file(dir / "c.epub", build_epub(plan));
    std::vector<uint8_t> out(60 * 80, 77);
    int got = ql_epub_cover((dir / "c.epub").c_str(), out.data(), 60, 80);
    EXPECT_EQ(got, c.expected >= 0 ? 1 : 0);
    if (c.expected >= 0) {
      EXPECT_EQ(out[40 * 60 + 30], c.expected);
    }
  }
  EXPECT_EQ(ql_epub_cover("/no/such/book.epub", nullptr, 1, 1), 0);
}

}  // namespace
