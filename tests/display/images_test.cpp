// Pictures: decoding PNG, JPEG, GIF and BMP made here, compositing, fitting, header sizes, JPEG
// decoded at the scale it is drawn, and damaged data that must fail cleanly.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/paths.h"
#include "display/framebuffer.h"
#include "display/images.h"
#include "display/grey_pixel.h"
#include "display/jpeg_decode.h"
#include "support/picture_fixtures.h"
#include "support/temp_dir.h"

extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes, int x, int y,
                                                 int n, int* out_len);
extern "C" int stbi_write_bmp_to_func(void (*func)(void*, void*, int), void* context, int x, int y, int comp,
                                      const void* data);
extern "C" unsigned char* stbi_zlib_compress(unsigned char* data, int data_len, int* out_len, int quality);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes png(const Bytes& px, int w, int h, int n) {
  int len = 0;
  unsigned char* p = stbi_write_png_to_mem(px.data(), w * n, w, h, n, &len);
  Bytes out(p, p + len);
  free(p);
  return out;
}
void append(void* ctx, void* data, int size) {
  auto* out = static_cast<Bytes*>(ctx);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}
// JPEG through the ffmpeg command (stb's JPEG writer trips the undefined-behaviour checks).
Bytes jpeg(const Bytes& px, int w, int h, int n) {
  TempDir dir;
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int i = 0; i < w * h; ++i)
    for (int c = 0; c < 3; ++c) ppm += char(px[size_t(i) * n + size_t(n >= 3 ? c : 0)]);
  write_file(dir / "in.ppm", ppm);
  const std::string cmd = "ffmpeg -nostdin -loglevel error -y -i '" + (dir / "in.ppm") + "' -q:v 2 '" + (dir / "out.jpg") + "'";
  if (system(cmd.c_str()) != 0) return {};
  const std::string out = read_file(dir / "out.jpg");
  return Bytes(out.begin(), out.end());
}
Bytes bmp(const Bytes& px, int w, int h, int n) {
  Bytes out;
  stbi_write_bmp_to_func(append, &out, w, h, n, px.data());
  return out;
}

// A GIF with a 4-colour palette whose LZW data is written as literals, a clear code every two
// pixels so that codes stay 3 bits wide.
Bytes gif(const std::vector<int>& indices, int w, int h, const uint8_t (&palette)[4][3], int transparent = -1) {
  Bytes g = {'G', 'I', 'F', '8', '9', 'a', uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
             0x81,  // global palette of 2^(1+1) entries
             0, 0};
  for (const auto& c : palette) g.insert(g.end(), c, c + 3);
  if (transparent >= 0) g.insert(g.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(transparent), 0});
  g.insert(g.end(), {0x2C, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 0, 2});
  Bytes data;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](int code) {
    acc |= uint32_t(code) << bits;
    bits += 3;
    while (bits >= 8) {
      data.push_back(uint8_t(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % 2 == 0) put(4);  // clear
    put(indices[i]);
  }
  put(5);  // end
  if (bits) data.push_back(uint8_t(acc));
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    g.push_back(uint8_t(n));
    g.insert(g.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  g.insert(g.end(), {0, 0x3B});
  return g;
}

struct Grey {
  uint8_t* px = nullptr;
  int w = 0, h = 0;
  explicit Grey(const Bytes& b) { px = ql_img_gray(b.data(), b.size(), &w, &h); }
  ~Grey() { free(px); }
  uint8_t at(int x, int y) const { return px[size_t(y) * w + x]; }
};

TEST(Pictures, AlphaIsCompositedOverWhite) {
  // grey, alpha pairs: transparent black, opaque black, half-transparent black, opaque 200
  const Grey g(png({0, 0, 0, 255, 0, 128, 200, 255}, 4, 1, 2));
  ASSERT_NE(g.px, nullptr);
  EXPECT_EQ(g.w, 4);
  EXPECT_EQ(g.at(0, 0), 255);
  EXPECT_EQ(g.at(1, 0), 0);
  EXPECT_EQ(g.at(2, 0), 127);
  EXPECT_EQ(g.at(3, 0), 200);
}

TEST(Pictures, EveryFormatDecodesToGrey) {
  Bytes rgb(8 * 8 * 3);
  for (int i = 0; i < 64; ++i) {
    const uint8_t v = (i % 8) < 4 ? 0 : 255;  // left half black, right half white
    rgb[size_t(i) * 3] = rgb[size_t(i) * 3 + 1] = rgb[size_t(i) * 3 + 2] = v;
  }
  const uint8_t palette[4][3] = {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {255, 0, 0}};
  std::vector<int> idx(64);
  for (int i = 0; i < 64; ++i) idx[size_t(i)] = (i % 8) < 4 ? 0 : 1;
  struct Case {
    const char* name;
    Bytes data;
    int tolerance;
  } cases[] = {
      {"PNG", png(rgb, 8, 8, 3), 0},
      {"JPEG", jpeg(rgb, 8, 8, 3), 40},
      {"BMP", bmp(rgb, 8, 8, 3), 0},
      {"GIF", gif(idx, 8, 8, palette), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Grey g(c.data);
    ASSERT_NE(g.px, nullptr);
    EXPECT_EQ(g.w, 8);
    EXPECT_EQ(g.h, 8);
    EXPECT_NEAR(g.at(0, 0), 0, c.tolerance);
    EXPECT_NEAR(g.at(1, 5), 0, c.tolerance);
    EXPECT_NEAR(g.at(6, 2), 255, c.tolerance);
    int w = 0, h = 0;
    EXPECT_EQ(qlpdf_image_size(c.data.data(), c.data.size(), &w, &h), 1);
    EXPECT_EQ(w * 100 + h, 808);
  }
  // A transparent GIF pixel is white.
  const Grey t(gif({2, 3, 0, 1}, 2, 2, palette, 0));
  ASSERT_NE(t.px, nullptr);
  EXPECT_EQ(t.at(0, 1), 255);
  EXPECT_EQ(t.at(1, 1), 255);
}

TEST(Pictures, FittingPlacesAndAverages) {
  // 100 x 50 into 200 x 200: 200 x 100, 50 rows down, white above and below.
  Bytes src(100 * 50, 0);
  Bytes dst(200 * 200, 7);
  ql_scale_gray(src.data(), 100, 50, dst.data(), 200, 200);
  int black = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      const bool inside = y >= 50 && y < 150;
      EXPECT_EQ(dst[size_t(y) * 200 + x], inside ? 0 : 255) << x << "," << y;
      black += inside;
    }
  EXPECT_EQ(black, 200 * 100);

  // 4 x 4 into 2 x 2 averages each 2 x 2 block (truncated).
  const Bytes quad = {0, 10, 100, 101, 20, 30, 102, 103, 200, 201, 50, 50, 202, 203, 50, 51};
  Bytes out(4);
  ql_scale_gray(quad.data(), 4, 4, out.data(), 2, 2);
  EXPECT_EQ(out, (Bytes{15, 101, 201, 50}));

  // Enlarging repeats source pixels; a 1-pixel picture fills the box.
  Bytes big(6 * 3);
  ql_scale_gray(quad.data(), 2, 1, big.data(), 6, 3);
  EXPECT_EQ(big[0], 0);
  EXPECT_EQ(big[5], 10);
  Bytes one(9);
  ql_scale_gray(quad.data() + 2, 1, 1, one.data(), 3, 3);
  EXPECT_EQ(one, Bytes(9, 100));

  // Nothing at all for empty sizes or missing buffers.
  Bytes keep(4, 9);
  ql_scale_gray(quad.data(), 0, 4, keep.data(), 2, 2);
  ql_scale_gray(nullptr, 4, 4, keep.data(), 2, 2);
  ql_scale_gray(quad.data(), 4, 4, keep.data(), 2, 0);
  EXPECT_EQ(keep, Bytes(4, 9));
}

TEST(Pictures, OversizedPicturesAreRefusedBeforeDecoding) {
  // A 1 x 1 PNG whose header claims another size (the decoder does not check header CRCs).
  Bytes p = png({0}, 1, 1, 1);
  auto claim = [&](uint32_t w, uint32_t h) {
    Bytes c = p;
    for (int i = 0; i < 4; ++i) {
      c[size_t(16 + i)] = uint8_t(w >> (24 - 8 * i));
      c[size_t(20 + i)] = uint8_t(h >> (24 - 8 * i));
    }
    return c;
  };
  struct Case {
    uint32_t w, h;
  } cases[] = {{8000, 8000}, {60000001, 1}, {1, 60000001}, {0x7fffffff, 0x7fffffff}, {7746, 7746}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const Bytes b = claim(c.w, c.h);
    const Grey g(b);
    EXPECT_EQ(g.px, nullptr);
    Bytes dst(16, 9);
    EXPECT_EQ(qlpdf_image_mem(b.data(), b.size(), dst.data(), 4, 4), 0);
    EXPECT_EQ(dst, Bytes(16, 9));
  }
}

TEST(Pictures, HeaderSizes) {
  auto be16 = [](int v) { return Bytes{uint8_t(v >> 8), uint8_t(v)}; };
  auto jpeg_with = [&](uint8_t frame, size_t pad) {
    Bytes j = {0xFF, 0xD8};
    // An application segment of `pad` bytes, a fill byte, then the frame header.
    j.insert(j.end(), {0xFF, 0xE1});
    const Bytes len = be16(int(pad + 2));
    j.insert(j.end(), len.begin(), len.end());
    j.insert(j.end(), pad, 0);
    j.insert(j.end(), {0xFF, 0xFF, frame, 0, 17, 8});
    const Bytes hgt = be16(480), wid = be16(640);
    j.insert(j.end(), hgt.begin(), hgt.end());
    j.insert(j.end(), wid.begin(), wid.end());
    j.insert(j.end(), 20, 0);
    return j;
  };
  const uint8_t palette[4][3] = {};
  struct Case {
    const char* name;
    Bytes data;
    size_t n;  // bytes offered (0: all)
    int ok, w, h;
  } cases[] = {
      {"PNG", png(Bytes(300 * 2, 0), 300, 2, 1), 24, 1, 300, 2},
      {"PNG short", png(Bytes(3, 0), 3, 1, 1), 23, 0, 0, 0},
      {"GIF", gif({0, 0, 0}, 3, 1, palette), 10, 1, 3, 1},
      {"baseline JPEG", jpeg_with(0xC0, 10), 0, 1, 640, 480},
      {"progressive JPEG", jpeg_with(0xC2, 10), 0, 1, 640, 480},
      {"Huffman table is no frame", jpeg_with(0xC4, 10), 0, 0, 0, 0},
      {"frame beyond 2 KiB, first 2 KiB", jpeg_with(0xC0, 3000), 2048, 0, 0, 0},
      {"frame beyond 2 KiB, first 64 KiB", jpeg_with(0xC0, 3000), 0, 1, 640, 480},
      {"not a picture", Bytes(64, 'x'), 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int w = 0, h = 0;
    const size_t n = c.n ? std::min(c.n, c.data.size()) : c.data.size();
    EXPECT_EQ(img_head_dims(c.data.data(), n, &w, &h), c.ok);
    if (c.ok) {
      EXPECT_EQ(w, c.w);
      EXPECT_EQ(h, c.h);
    }
  }
}

TEST(Pictures, TruncatedAndCorruptPicturesFailCleanly) {
  Bytes rgba(24 * 16 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(i * 37);
  const uint8_t palette[4][3] = {{0, 0, 0}, {255, 255, 255}, {9, 9, 9}, {99, 99, 99}};
  std::vector<int> idx(24 * 16);
  for (size_t i = 0; i < idx.size(); ++i) idx[i] = int(i % 4);
  const std::vector<std::pair<const char*, Bytes>> samples = {
      {"PNG", png(rgba, 24, 16, 4)},
      {"JPEG", jpeg(rgba, 24, 16, 4)},
      {"BMP", bmp(rgba, 24, 16, 4)},
      {"GIF", gif(idx, 24, 16, palette)},
  };
  std::mt19937 rng(7);
  Bytes dst(10 * 10);
  for (const auto& [name, data] : samples) {
    SCOPED_TRACE(name);
    for (size_t n = 0; n < data.size(); ++n) {
      Bytes cut(data.begin(), data.begin() + long(n));  // exact-size copy: overreads are caught
      qlpdf_image_mem(cut.data(), cut.size(), dst.data(), 10, 10);
      int w = 0, h = 0;
      img_head_dims(cut.data(), cut.size(), &w, &h);
    }
    for (int i = 0; i < 400; ++i) {
      Bytes bad = data;
      for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] ^= uint8_t(1 << (rng() % 8));
      qlpdf_image_mem(bad.data(), bad.size(), dst.data(), 10, 10);
      int w = 0, h = 0;
      img_head_dims(bad.data(), bad.size(), &w, &h);
    }
  }
}

TEST(Pictures, OverfullHuffmanTablesAreRefused) {
  // Counts adding up to over 256 symbols would overrun the decoder's table arrays.
  Bytes rgb(16 * 16 * 3, 90);
  const Bytes good = jpeg(rgb, 16, 16, 3);
  ASSERT_FALSE(good.empty());
  Bytes bad = good;
  size_t tables = 0;
  for (size_t i = 0; i + 21 < bad.size(); ++i)
    if (bad[i] == 0xFF && bad[i + 1] == 0xC4) {
      for (size_t k = 0; k < 16; ++k) bad[i + 5 + k] = 0xFF;
      ++tables;
    }
  ASSERT_GT(tables, 0u);
  Bytes dst(4);
  int w = 0, h = 0;
  EXPECT_EQ(qlpdf_image_mem(good.data(), good.size(), dst.data(), 2, 2), 1);
  EXPECT_EQ(qlpdf_image_mem(bad.data(), bad.size(), dst.data(), 2, 2), 0);
  EXPECT_EQ(qlpdf_image_size(bad.data(), bad.size(), &w, &h), 0);
}

TEST(Pictures, PictureFiles) {
  TempDir data, tmp;
  ql_set_root(data.path().c_str(), tmp.path().c_str());
  const Bytes p = png(Bytes(4 * 4, 0), 4, 4, 1);
  write_file(data / "cover.png", std::string(p.begin(), p.end()));
  write_file(data / "empty.png", "");
  write_file(data / "junk.png", "junk");
  struct Case {
    const char* path;
    int ok;
  } cases[] = {{"/mnt/us/cover.png", 1}, {"/mnt/us/empty.png", 0}, {"/mnt/us/junk.png", 0},
               {"/mnt/us/missing.png", 0}, {"/mnt/us", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Bytes dst(8 * 4, 9);
    EXPECT_EQ(ql_image_file(c.path, dst.data(), 8, 4), c.ok);
    if (c.ok) {
      EXPECT_EQ(dst[2 * 8 + 4], 0);  // fitted 4 x 4 in the middle of 8 x 4
      EXPECT_EQ(dst[0], 255);
    }
  }
  ql_set_root(nullptr, nullptr);
}


Bytes as_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// w x h pixels of n samples, each sample(x, y, k).
template <class Sample>
Bytes make_pixels(int w, int h, int n, Sample sample) {
  Bytes px(size_t(w) * size_t(h) * size_t(n));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < n; ++k) px[(size_t(y) * size_t(w) + size_t(x)) * size_t(n) + size_t(k)] = sample(x, y, k);
  return px;
}

// The fit as its definition reads, in integers: a block's sum divided by its pixel count.
Bytes plain_fit(const Bytes& src, int sw, int sh, int dw, int dh) {
  Bytes dst(size_t(dw) * size_t(dh), 255);
  const float s = std::min(float(dw) / float(sw), float(dh) / float(sh));
  const int ow = int(std::clamp(s * float(sw), 1.0f, float(dw))), oh = int(std::clamp(s * float(sh), 1.0f, float(dh)));
  for (int r = 0; r < oh; ++r)
    for (int c = 0; c < ow; ++c) {
      const int64_t x0 = int64_t(c) * sw / ow, y0 = int64_t(r) * sh / oh;
      const int64_t x1 = std::min<int64_t>(std::max<int64_t>(x0 + 1, int64_t(c + 1) * sw / ow), sw);
      const int64_t y1 = std::min<int64_t>(std::max<int64_t>(y0 + 1, int64_t(r + 1) * sh / oh), sh);
      uint64_t sum = 0;
      for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x) sum += src[size_t(y) * size_t(sw) + size_t(x)];
      dst[size_t((dh - oh) / 2 + r) * size_t(dw) + size_t((dw - ow) / 2 + c)] = uint8_t(sum / uint64_t((y1 - y0) * (x1 - x0)));
    }
  return dst;
}

TEST(Pictures, FitAveragesAreExactTruncatedMeans) {
  std::mt19937 rng(11);
  struct Case {
    int sw, sh, dw, dh;
  } cases[] = {{1, 50000, 1, 1}, {3000, 2, 1, 1}, {5000, 3, 7, 7}, {640, 480, 213, 160}, {850, 3699, 291, 1268},
               {319, 1388, 291, 1268}, {500, 714, 800, 1142}, {7, 3, 100, 100}, {255, 255, 254, 254}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " into " + std::to_string(c.dw) + "x" +
                 std::to_string(c.dh));
    // Mostly white with dark specks: sums close to a multiple of the block size are the hard ones.
    Bytes src(size_t(c.sw) * size_t(c.sh));
    for (uint8_t& v : src) v = rng() % 16 ? 255 : uint8_t(rng());
    Bytes dst(size_t(c.dw) * size_t(c.dh), 7);
    ql_scale_gray(src.data(), c.sw, c.sh, dst.data(), c.dw, c.dh);
    EXPECT_EQ(dst, plain_fit(src, c.sw, c.sh, c.dw, c.dh));
  }
}

TEST(Pictures, ColourRowsFitAsTheirGreyPictureDoes) {
  // Fitting straight from the decoded samples gives what fitting the grey picture gives.
  std::mt19937 rng(5);
  for (int i = 0; i < 60; ++i) {
    const int n = 1 + i % 4, w = 1 + int(rng() % 40), h = 1 + int(rng() % 40);
    const int bw = 1 + int(rng() % 70), bh = 1 + int(rng() % 70);
    SCOPED_TRACE(std::to_string(n) + " channels, " + std::to_string(w) + "x" + std::to_string(h) + " into " +
                 std::to_string(bw) + "x" + std::to_string(bh));
    const Bytes p = png(make_pixels(w, h, n, [&](int, int, int) { return uint8_t(rng()); }), w, h, n);
    const Grey g(p);
    ASSERT_NE(g.px, nullptr);
    Bytes want(size_t(bw) * size_t(bh)), got(want.size());
    ql_scale_gray(g.px, g.w, g.h, want.data(), bw, bh);
    ASSERT_EQ(qlpdf_image_mem(p.data(), p.size(), got.data(), bw, bh), 1);
    EXPECT_EQ(got, want);
  }
}

// A one-row PNG written chunk by chunk (the decoder reads no checksum): colour type, 8-bit samples,
// and the palette and transparency chunks when given.
Bytes png_row(int type, int w, Bytes samples, const Bytes& palette, const Bytes& transparency) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* kind, const Bytes& data) {
    const uint32_t n = uint32_t(data.size());
    out.insert(out.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), 4, 0);
  };
  chunk("IHDR", {0, 0, 0, uint8_t(w), 0, 0, 0, 1, 8, uint8_t(type), 0, 0, 0});
  if (!palette.empty()) chunk("PLTE", palette);
  if (!transparency.empty()) chunk("tRNS", transparency);
  samples.insert(samples.begin(), 0);  // the row's filter: none
  int len = 0;
  unsigned char* z = stbi_zlib_compress(samples.data(), int(samples.size()), &len, 8);
  chunk("IDAT", Bytes(z, z + len));
  free(z);
  chunk("IEND", {});
  return out;
}

TEST(Pictures, TransparentColoursOfEveryPngKindShowWhite) {
  struct Case {
    const char* name;
    Bytes png;
    Bytes grey;
  } cases[] = {
      {"grey with a transparent level", png_row(0, 3, {10, 200, 10}, {}, {0, 200}), {10, 255, 10}},
      {"RGB with a transparent colour", png_row(2, 3, {255, 0, 0, 0, 0, 255, 255, 0, 0}, {}, {0, 0, 0, 0, 0, 255}),
       {76, 255, 76}},
      // Opaque black, transparent white, green (luma 149) at alpha 128 over white.
      {"palette with alpha", png_row(3, 3, {0, 1, 2}, {0, 0, 0, 255, 255, 255, 0, 255, 0}, {255, 0, 128}),
       {0, 255, 201}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Grey g(c.png);
    ASSERT_NE(g.px, nullptr);
    EXPECT_EQ(Bytes(g.px, g.px + 3), c.grey);
    Bytes fitted(3);
    ASSERT_EQ(qlpdf_image_mem(c.png.data(), c.png.size(), fitted.data(), 3, 1), 1);
    EXPECT_EQ(fitted, c.grey);
  }
}

TEST(Pictures, JpegIsDecodedAtTheSmallestScaleThatCoversTheWantedSize) {
  const std::string j = encode_jpeg(make_pixels(100, 60, 1, [](int x, int y, int) { return uint8_t(x + y); }), 100, 60, 1);
  struct Case {
    int want_w, want_h, w, h;  // wanted, then decoded: eighths of 100 x 60, rounded up
  } cases[] = {{1, 1, 13, 8},    {13, 8, 13, 8},     {14, 8, 25, 15},   {25, 15, 25, 15},
               {26, 15, 38, 23}, {50, 30, 50, 30},   {51, 30, 63, 38},  {13, 31, 63, 38},
               {100, 60, 100, 60}, {101, 60, 100, 60}, {INT_MAX, INT_MAX, 100, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.want_w) + "x" + std::to_string(c.want_h));
    int w = 0, h = 0;
    uint8_t* px = jpeg_decode_grey(reinterpret_cast<const uint8_t*>(j.data()), j.size(), c.want_w, c.want_h,
                                   kMaxPicturePixels, &w, &h);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
    free(px);
  }
  int w = 0, h = 0;
  EXPECT_EQ(jpeg_decode_grey(reinterpret_cast<const uint8_t*>(j.data()), j.size(), 1, 1, 5999, &w, &h), nullptr)
      << "over the pixel limit at full size, however small it is drawn";
}

TEST(Pictures, EveryKindOfJpegDecodesToGreyAtEveryScale) {
  // Four bands: red, green, blue, white (lumas 76, 149, 29, 255); as CMYK with Adobe's inverted
  // samples: no ink, cyan ink (luma of 0, 255, 255: 178), black ink, no ink.
  const Bytes rgb = make_pixels(96, 32, 3, [](int x, int, int k) {
    const int band = x / 24;
    return uint8_t(band == 3 || band == k ? 255 : 0);
  });
  const Bytes cmyk = make_pixels(96, 32, 4, [](int x, int, int k) {
    const int band = x / 24;
    return uint8_t((band == 1 && k == 0) || (band == 2 && k == 3) ? 0 : 255);
  });
  const Bytes grey = make_pixels(96, 32, 1, [](int x, int, int) { return uint8_t(x / 24 * 80); });
  struct Case {
    const char* name;
    std::string jpeg;
    int bands[4];
  } cases[] = {
      {"grey", encode_jpeg(grey, 96, 32, 1), {0, 80, 160, 240}},
      {"colour", encode_jpeg(rgb, 96, 32, 3), {76, 149, 29, 255}},
      {"progressive colour", encode_jpeg(rgb, 96, 32, 3, true), {76, 149, 29, 255}},
      {"CMYK", encode_jpeg(cmyk, 96, 32, 4), {255, 178, 0, 255}},
  };
  for (const Case& c : cases) {
    const auto* data = reinterpret_cast<const uint8_t*>(c.jpeg.data());
    int w = 0, h = 0;
    ASSERT_EQ(qlpdf_image_size(data, c.jpeg.size(), &w, &h), 1) << c.name;
    EXPECT_EQ(w * 1000 + h, 96032) << c.name;
    for (int eighths : {8, 4, 1}) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(eighths) + "/8");
      int gw = 0, gh = 0;
      uint8_t* px = jpeg_decode_grey(data, c.jpeg.size(), 96 * eighths / 8, 32 * eighths / 8, kMaxPicturePixels, &gw, &gh);
      ASSERT_NE(px, nullptr);
      ASSERT_EQ(gw, 96 * eighths / 8);
      for (int band = 0; band < 4; ++band)
        EXPECT_NEAR(px[size_t(gh / 2) * size_t(gw) + size_t(gw * band / 4 + gw / 8)], c.bands[band], 8) << band;
      free(px);
    }
  }
}

TEST(Pictures, JpegFittedFromItsSmallerDecodeMatchesTheFullOne) {
  // Shading between 30 and 220 with a dark disc: a box is white only where the picture is not.
  const Bytes rgb = make_pixels(160, 120, 3, [](int x, int y, int k) {
    const bool disc = (x - 60) * (x - 60) + (y - 50) * (y - 50) < 900;
    return uint8_t(disc ? 30 : 40 + (x + 2 * y) * 150 / 400 + 10 * k);
  });
  const Bytes j = as_bytes(encode_jpeg(rgb, 160, 120, 3));
  const Grey full(j);
  ASSERT_NE(full.px, nullptr);
  for (const auto& [bw, bh] : std::vector<std::pair<int, int>>{{80, 60}, {50, 50}, {33, 100}, {159, 119}, {300, 200}, {7, 5}}) {
    SCOPED_TRACE(std::to_string(bw) + "x" + std::to_string(bh));
    Bytes want(size_t(bw) * size_t(bh)), got(want.size());
    ql_scale_gray(full.px, full.w, full.h, want.data(), bw, bh);
    ASSERT_EQ(qlpdf_image_mem(j.data(), j.size(), got.data(), bw, bh), 1);
    double diff = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i] == 255, want[i] == 255) << "placement differs at " << i;
      diff += std::abs(int(got[i]) - int(want[i]));
    }
    EXPECT_LT(diff / double(got.size()), 2.0) << diff / double(got.size());
  }
}

TEST(Pictures, DamagedJpegsOfEveryKindFailCleanly) {
  const Bytes rgb = make_pixels(40, 24, 3, [](int x, int y, int k) { return uint8_t(x * 7 + y * 13 + k * 50); });
  const Bytes cmyk = make_pixels(40, 24, 4, [](int x, int y, int k) { return uint8_t(x * 5 + y * 3 + k * 60); });
  const std::vector<std::pair<const char*, Bytes>> samples = {
      {"grey", as_bytes(encode_jpeg(make_pixels(40, 24, 1, [](int x, int y, int) { return uint8_t(x * y); }), 40, 24, 1))},
      {"progressive", as_bytes(encode_jpeg(rgb, 40, 24, 3, true))},
      {"CMYK", as_bytes(encode_jpeg(cmyk, 40, 24, 4))},
  };
  // A refusal leaves the box as it was; a picture that decodes has a size.
  auto check = [](const Bytes& data) {
    Bytes box(10 * 6, 9);
    int w = 0, h = 0;
    if (qlpdf_image_mem(data.data(), data.size(), box.data(), 10, 6)) {
      EXPECT_EQ(qlpdf_image_size(data.data(), data.size(), &w, &h), 1);
    } else {
      EXPECT_EQ(box, Bytes(10 * 6, 9));
    }
    const Grey g(data);
    if (g.px) {
      EXPECT_EQ(qlpdf_image_size(data.data(), data.size(), &w, &h), 1);
      EXPECT_EQ(g.w * 10000 + g.h, w * 10000 + h);
    }
  };
  std::mt19937 rng(3);
  for (const auto& [name, data] : samples) {
    SCOPED_TRACE(name);
    for (size_t n = 0; n < data.size(); ++n) check(Bytes(data.begin(), data.begin() + long(n)));
    for (int i = 0; i < 300; ++i) {
      Bytes bad = data;
      for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] ^= uint8_t(1 << (rng() % 8));
      check(bad);
    }
  }
}

TEST(Pictures, AJpegBehindAFillByteIsNoPicture) {
  // Only data that starts with the start-of-image marker is a JPEG; a decoder that skipped a fill
  // byte first once read these tables unchecked and wrote past its arrays.
  Bytes good = as_bytes(encode_jpeg(Bytes(16 * 16, 90), 16, 16, 1));
  Bytes overfull = good;
  for (size_t i = 0; i + 21 < overfull.size(); ++i)
    if (overfull[i] == 0xFF && overfull[i + 1] == 0xC4)
      for (size_t k = 0; k < 16; ++k) overfull[i + 5 + k] = 0xFF;
  for (Bytes* data : {&good, &overfull}) {
    data->insert(data->begin(), 0xFF);
    Bytes box(4, 9);
    int w = 0, h = 0;
    EXPECT_EQ(qlpdf_image_mem(data->data(), data->size(), box.data(), 2, 2), 0);
    EXPECT_EQ(qlpdf_image_size(data->data(), data->size(), &w, &h), 0);
    EXPECT_EQ(Grey(*data).px, nullptr);
  }
}

TEST(Pictures, ProgressiveJpegWithEndlessScansIsRefused) {
  const std::string j = encode_jpeg(make_pixels(16, 16, 1, [](int x, int y, int) { return uint8_t(x * y); }), 16, 16, 1, true);
  // The last scan, repeated before the end-of-image marker: each repeat is one more pass.
  const size_t last = j.rfind(std::string("\xFF\xDA", 2)), end = j.size() - 2;
  ASSERT_NE(last, std::string::npos);
  auto with_repeats = [&](int n) {
    std::string out = j.substr(0, end);
    for (int i = 0; i < n; ++i) out += j.substr(last, end - last);
    return as_bytes(out + "\xFF\xD9");
  };
  Bytes box(16 * 16);
  const Bytes some = with_repeats(20), endless = with_repeats(1100);
  EXPECT_EQ(qlpdf_image_mem(some.data(), some.size(), box.data(), 16, 16), 1);
  EXPECT_EQ(qlpdf_image_mem(endless.data(), endless.size(), box.data(), 16, 16), 0);
}


// A PNG written here chunk by chunk (the reader checks no CRC): samples one value each at `depth`
// bits, each row behind the filter (row number % 5), Adam7 passes when interlaced, the image data
// in chunks of `split` bytes (one chunk when 0).
struct PngPlan {
  int colour, depth, w, h;
  std::vector<uint16_t> samples;
  bool interlaced = false;
  Bytes palette = {}, transparency = {};
  size_t split = 0;
  bool unknown_filter = false;  // the first row's filter type is one past the last
};

int png_channels(int colour) { return colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1; }

Bytes encode_png(const PngPlan& p) {
  const int n = png_channels(p.colour);
  const size_t bpp = std::max(1, n * p.depth / 8);
  Bytes raw;
  auto put_pass = [&](int x0, int y0, int dx, int dy) {
    Bytes prev;
    int row = 0;
    for (int y = y0; y < p.h; y += dy, ++row) {
      Bytes line;
      uint32_t acc = 0;
      int bits = 0;
      for (int x = x0; x < p.w; x += dx)
        for (int k = 0; k < n; ++k) {
          const uint16_t v = p.samples[(size_t(y) * size_t(p.w) + size_t(x)) * size_t(n) + size_t(k)];
          if (p.depth == 16) {
            line.insert(line.end(), {uint8_t(v >> 8), uint8_t(v)});
            continue;
          }
          acc = acc << p.depth | v;
          bits += p.depth;
          if (bits == 8) line.push_back(uint8_t(acc)), acc = 0, bits = 0;
        }
      if (bits) line.push_back(uint8_t(acc << (8 - bits)));
      if (line.empty()) return;
      if (prev.empty()) prev.assign(line.size(), 0);
      const uint8_t filter = uint8_t(row % 5);
      raw.push_back(p.unknown_filter && raw.empty() ? 5 : filter);
      for (size_t i = 0; i < line.size(); ++i) {
        const int a = i >= bpp ? line[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predicted[5] = {0, a, b, (a + b) / 2, pa <= pb && pa <= pc ? a : pb <= pc ? b : c};
        raw.push_back(uint8_t(line[i] - predicted[filter]));
      }
      prev = line;
    }
  };
  if (p.interlaced) {
    const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, y0[7] = {0, 0, 4, 0, 2, 0, 1}, dx[7] = {8, 8, 4, 4, 2, 2, 1},
              dy[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) put_pass(x0[pass], y0[pass], dx[pass], dy[pass]);
  } else {
    put_pass(0, 0, 1, 1);
  }
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* kind, const uint8_t* data, size_t len) {
    out.insert(out.end(), {uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len)});
    out.insert(out.end(), kind, kind + 4);
    out.insert(out.end(), data, data + len);
    out.insert(out.end(), 4, 0);
  };
  const Bytes header = {0, 0, uint8_t(p.w >> 8), uint8_t(p.w), 0, 0, uint8_t(p.h >> 8), uint8_t(p.h),
                        uint8_t(p.depth), uint8_t(p.colour), 0, 0, uint8_t(p.interlaced)};
  chunk("IHDR", header.data(), header.size());
  if (!p.palette.empty()) chunk("PLTE", p.palette.data(), p.palette.size());
  if (!p.transparency.empty()) chunk("tRNS", p.transparency.data(), p.transparency.size());
  int len = 0;
  unsigned char* z = stbi_zlib_compress(raw.data(), int(raw.size()), &len, 8);
  const size_t step = p.split ? p.split : size_t(len);
  for (size_t at = 0; at < size_t(len); at += step) chunk("IDAT", z + at, std::min(step, size_t(len) - at));
  free(z);
  chunk("IEND", nullptr, 0);
  return out;
}

// What a pixel of the plan shows: its colour made 8-bit, grey, over white.
uint8_t expected_grey(const PngPlan& p, int x, int y) {
  const int n = png_channels(p.colour);
  const uint16_t* v = p.samples.data() + (size_t(y) * size_t(p.w) + size_t(x)) * size_t(n);
  auto eight = [&](uint32_t s) { return p.depth == 16 ? s >> 8 : s * 255 / ((1u << p.depth) - 1); };
  auto key = [&](int k) { return p.transparency[size_t(2 * k)] << 8 | p.transparency[size_t(2 * k + 1)]; };
  switch (p.colour) {
    case 0: return !p.transparency.empty() && v[0] == key(0) ? 255 : uint8_t(eight(v[0]));
    case 2:
      if (!p.transparency.empty() && v[0] == key(0) && v[1] == key(1) && v[2] == key(2)) return 255;
      return uint8_t(luma(eight(v[0]), eight(v[1]), eight(v[2])));
    case 3: {
      const uint8_t* c = p.palette.data() + 3 * v[0];
      return over_white(luma(c[0], c[1], c[2]), v[0] < p.transparency.size() ? p.transparency[v[0]] : 255);
    }
    case 4: return over_white(eight(v[0]), eight(v[1]));
    default: return over_white(luma(eight(v[0]), eight(v[1]), eight(v[2])), eight(v[3]));
  }
}

// Plans of every colour type and depth, 13 x 11 (rows ending inside a byte, every Adam7 pass).
std::vector<PngPlan> png_plans_of_every_kind() {
  std::mt19937 rng(17);
  const std::pair<int, int> kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                       {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  std::vector<PngPlan> plans;
  for (const auto& [colour, depth] : kinds)
    for (bool interlaced : {false, true}) {
      PngPlan p{colour, depth, 13, 11, {}, interlaced};
      p.split = interlaced ? 7 : 0;
      const int levels = colour == 3 ? std::min(1 << depth, 6) : 1 << depth;
      p.samples.resize(13 * 11 * size_t(png_channels(colour)));
      for (uint16_t& v : p.samples) v = uint16_t(rng() % uint32_t(levels));
      if (colour == 3) {
        for (int i = 0; i < 6; ++i) p.palette.insert(p.palette.end(), {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        p.transparency = {255, 0, 128};  // the first three entries
      } else if (colour == 0 || colour == 2) {
        // The first pixel's colour is transparent wherever it recurs.
        for (int k = 0; k < png_channels(colour); ++k) {
          p.transparency.push_back(uint8_t(p.samples[size_t(k)] >> 8));
          p.transparency.push_back(uint8_t(p.samples[size_t(k)]));
        }
      }
      plans.push_back(std::move(p));
    }
  return plans;
}

TEST(Pictures, PngOfEveryColourTypeDepthAndFilterDecodesToGrey) {
  for (const PngPlan& p : png_plans_of_every_kind()) {
    SCOPED_TRACE("colour " + std::to_string(p.colour) + ", depth " + std::to_string(p.depth) +
                 (p.interlaced ? ", interlaced" : ""));
    const Bytes png = encode_png(p);
    const Grey g(png);
    ASSERT_NE(g.px, nullptr);
    ASSERT_EQ(g.w * 100 + g.h, 1311);
    int mismatches = 0;
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) mismatches += g.at(x, y) != expected_grey(p, x, y);
    EXPECT_EQ(mismatches, 0);
    // Fitting from the rows as they are read gives what fitting the grey picture gives.
    for (const auto& [bw, bh] : std::vector<std::pair<int, int>>{{5, 4}, {13, 11}, {40, 25}}) {
      Bytes want(size_t(bw) * size_t(bh)), got(want.size());
      ql_scale_gray(g.px, g.w, g.h, want.data(), bw, bh);
      ASSERT_EQ(qlpdf_image_mem(png.data(), png.size(), got.data(), bw, bh), 1);
      EXPECT_EQ(got, want) << bw << "x" << bh;
    }
  }
}

TEST(Pictures, PngChunksOutOfOrderOrUnknownAreRefusedOrSkipped) {
  PngPlan base{2, 8, 13, 11, std::vector<uint16_t>(13 * 11 * 3, 100)};
  const Bytes good = encode_png(base);
  // The chunk list of `good`, as (offset, length of the whole chunk).
  auto insert_chunk = [&](const char* kind, const Bytes& data, size_t at) {
    Bytes out = good, c = {0, 0, 0, uint8_t(data.size())};
    c.insert(c.end(), kind, kind + 4);
    c.insert(c.end(), data.begin(), data.end());
    c.insert(c.end(), 4, 0);
    out.insert(out.begin() + long(at), c.begin(), c.end());
    return out;
  };
  const size_t after_header = 33, before_end = good.size() - 12;
  Bytes bad_depth = good;
  bad_depth[24] = 4;  // RGB at 4 bits
  PngPlan unknown_filter = base, palette{3, 8, 4, 4, std::vector<uint16_t>(16, 0)};
  unknown_filter.unknown_filter = true;
  struct Case {
    const char* name;
    Bytes png;
    int ok;
  } cases[] = {
      {"an unknown ancillary chunk", insert_chunk("teXt", {1, 2, 3}, after_header), 1},
      {"no end chunk", Bytes(good.begin(), good.end() - 12), 1},
      {"an unknown critical chunk", insert_chunk("ABCD", {1}, after_header), 0},
      {"a second header", insert_chunk("IHDR", Bytes(13, 1), after_header), 0},
      {"transparency after the image data", insert_chunk("tRNS", {0, 1, 0, 1, 0, 1}, before_end), 0},
      {"transparency of the wrong size", insert_chunk("tRNS", {0, 1}, after_header), 0},
      {"a palette of no whole entry", insert_chunk("PLTE", {1, 2}, after_header), 0},
      {"image data cut short", Bytes(good.begin(), good.begin() + long(before_end - 10)), 0},
      {"no image data", Bytes(good.begin(), good.begin() + long(after_header)), 0},
      {"a depth the colour type has not", bad_depth, 0},
      {"a filter type past the last", encode_png(unknown_filter), 0},
      {"palette indices without a palette", encode_png(palette), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t n = size_t(c.png[19]) * size_t(c.png[23]);  // the header's width and height
    Bytes box(n, 9);
    EXPECT_EQ(qlpdf_image_mem(c.png.data(), c.png.size(), box.data(), c.png[19], c.png[23]), c.ok);
    EXPECT_EQ(Grey(c.png).px != nullptr, c.ok == 1);
    EXPECT_EQ(box, Bytes(n, c.ok ? uint8_t(luma(100, 100, 100)) : 9));
  }
}

TEST(Pictures, DamagedPngsOfEveryKindFailCleanly) {
  std::mt19937 rng(23);
  for (const PngPlan& p : png_plans_of_every_kind()) {
    if (p.depth != 8 && p.colour != 3) continue;  // a sample of the kinds keeps the loop short
    SCOPED_TRACE("colour " + std::to_string(p.colour) + ", depth " + std::to_string(p.depth) +
                 (p.interlaced ? ", interlaced" : ""));
    const Bytes png = encode_png(p);
    auto check = [](const Bytes& data) {
      Bytes box(5 * 4, 9);
      int w = 0, h = 0;
      if (qlpdf_image_mem(data.data(), data.size(), box.data(), 5, 4)) {
        EXPECT_EQ(qlpdf_image_size(data.data(), data.size(), &w, &h), 1);
      } else {
        EXPECT_EQ(box, Bytes(5 * 4, 9));
      }
      const Grey g(data);
      if (g.px) {
        EXPECT_EQ(g.w * 100 + g.h, 1311);
      }
    };
    for (size_t n = 0; n < png.size(); n += 3) check(Bytes(png.begin(), png.begin() + long(n)));
    for (int i = 0; i < 150; ++i) {
      Bytes bad = png;
      for (int k = 0; k < 2; ++k) bad[rng() % bad.size()] ^= uint8_t(1 << (rng() % 8));
      check(bad);
    }
  }
}

}  // namespace
