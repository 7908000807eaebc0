// PNG files of grey pictures, read back by a reader of their own written here on zlib (every chunk's
// CRC, the header's fields, the zlib stream's checksum, all five row filters) and by stb_image, for
// pages of text, pictures, and odd sizes and strides; and checked by pngcheck when it is installed.
#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "display/png_write.h"
#include "support/png_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {
uint32_t be32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 | uint32_t(uint8_t(s[at + 2])) << 8 |
         uint8_t(s[at + 3]);
}

struct Decoded {
  std::string error;
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

Decoded failed(std::string why) {
  Decoded d;
  d.error = std::move(why);
  return d;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A strict reader of 8-bit grey PNG files: the signature, IHDR first, IEND last with nothing after
// it, every CRC, and rows that fill the picture exactly.
Decoded decode(const std::string& png) {
  Decoded d;
  if (png.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0) return failed("signature");
  std::string idat;
  bool ended = false;
  for (size_t at = 8; at < png.size();) {
    if (ended) return failed("bytes after IEND");
    if (png.size() - at < 12) return failed("cut chunk");
    const uint32_t len = be32(png, at);
    if (len > png.size() - at - 12) return failed("chunk length");
    const std::string type = png.substr(at + 4, 4);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), len + 4));
    if (crc != be32(png, at + 8 + len)) return failed("CRC of " + type);
    const std::string data = png.substr(at + 8, len);
    if (at == 8 && type != "IHDR") return failed("IHDR not first");
    if (type == "IHDR") {
      if (len != 13 || data.substr(8) != std::string("\x08\x00\x00\x00\x00", 5)) return failed("IHDR fields");
      d.width = int(be32(data, 0));
      d.height = int(be32(data, 4));
    } else if (type == "IDAT") {
      idat += data;
    } else if (type == "IEND") {
      ended = len == 0;
    }
    at += 12 + len;
  }
  if (!ended) return failed("no IEND");
  const size_t row = size_t(d.width) + 1;
  std::vector<uint8_t> raw(row * size_t(d.height));
  uLongf raw_len = raw.size();
  if (uncompress(raw.data(), &raw_len, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      raw_len != raw.size())
    return failed("zlib stream");
  d.pixels.resize(size_t(d.width) * size_t(d.height));
  for (int y = 0; y < d.height; ++y) {
    const uint8_t* in = raw.data() + row * size_t(y);
    uint8_t* out = d.pixels.data() + size_t(d.width) * size_t(y);
    const uint8_t* up = y ? out - d.width : nullptr;
    for (int x = 0; x < d.width; ++x) {
      const int a = x ? out[x - 1] : 0, b = up ? up[x] : 0, c = x && up ? up[x - 1] : 0;
      const int predict[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
      if (in[0] > 4) return failed("filter type");
      out[x] = uint8_t(in[x + 1] + predict[in[0]]);
    }
  }
  return d;
}

struct Picture {
  const char* name;
  int width, height, stride;
  std::vector<uint8_t> pixels;
};

std::vector<Picture> pictures() {
  std::vector<Picture> out;
  Picture text{"a page of text", 1072, 1448, 1072, std::vector<uint8_t>(1072 * 1448, 255)};
  for (int y = 100; y < 1400; y += 40)
    for (int x = 60; x < 1000; x += 9)
      for (int k = 0; k < 24; ++k) text.pixels[size_t(y + k) * 1072 + size_t(x)] = uint8_t((x * 31 + k) % 160);
  out.push_back(std::move(text));
  Picture photo{"a picture", 300, 200, 300, std::vector<uint8_t>(300 * 200)};
  uint32_t seed = 1;
  for (size_t i = 0; i < photo.pixels.size(); ++i) {
    seed = seed * 1103515245 + 12345;
    photo.pixels[i] = uint8_t(i % 300 / 2 + i / 300 / 3 + (seed >> 28));
  }
  out.push_back(std::move(photo));
  out.push_back({"one pixel", 1, 1, 1, {42}});
  Picture padded{"rows with padding between them", 7, 3, 10, {}};
  for (int i = 0; i < 30; ++i) padded.pixels.push_back(i % 10 < 7 ? uint8_t(i * 9) : uint8_t(0xEE));
  out.push_back(std::move(padded));
  out.push_back({"a tall black strip", 1, 3000, 1, std::vector<uint8_t>(3000, 0)});
  return out;
}

TEST(PngWrite, GreyPicturesComeBackExactlyThroughTwoReaders) {
  for (const Picture& p : pictures()) {
    SCOPED_TRACE(p.name);
    const std::string png = png_encode_grey(p.pixels.data(), p.width, p.height, p.stride);
    ASSERT_FALSE(png.empty());
    std::vector<uint8_t> want;
    for (int y = 0; y < p.height; ++y)
      want.insert(want.end(), p.pixels.begin() + y * p.stride, p.pixels.begin() + y * p.stride + p.width);
    const Decoded d = decode(png);
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.width, p.width);
    EXPECT_EQ(d.height, p.height);
    EXPECT_EQ(d.pixels, want);
    int w = 0, h = 0, comp = 0;
    uint8_t* img =
        independent_png_decode(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &w, &h, &comp);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(comp, 1);
    EXPECT_EQ(std::vector<uint8_t>(img, img + size_t(w) * size_t(h)), want);
    free(img);
  }
}

TEST(PngWrite, PngcheckFindsNothingWrong) {
  constexpr char kPngcheck[] = "/usr/bin/pngcheck";
  if (access(kPngcheck, X_OK) != 0) GTEST_SKIP() << "needs the package pngcheck";
  TempDir dir;
  for (const Picture& p : pictures()) {
    SCOPED_TRACE(p.name);
    const std::string path = dir / "picture.png";
    write_file(path, png_encode_grey(p.pixels.data(), p.width, p.height, p.stride));
    const ProgramResult r = run_program(kPngcheck, {"-q", path}, {}, 20000);
    EXPECT_EQ(r.status, 0);
  }
}

TEST(PngWrite, NoPictureGivesNoFile) {
  const uint8_t px[4] = {};
  EXPECT_TRUE(png_encode_grey(nullptr, 1, 1, 1).empty());
  EXPECT_TRUE(png_encode_grey(px, 0, 1, 1).empty());
  EXPECT_TRUE(png_encode_grey(px, 1, 0, 1).empty());
  EXPECT_TRUE(png_encode_grey(px, 2, 2, 1).empty()) << "rows overlapping";
}
}  // namespace
