// QR symbols (geometry, and a round trip through a real decoder) and the built-in wordmark.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display/framebuffer.h"
#include "display/images.h"
#include "display/logo.h"
#include "support/temp_dir.h"

namespace {

class QrTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ql_init(1), 1); }
  void TearDown() override { ql_close(); }
};

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, dark = 0;
};
Box dark_box(const uint8_t* px, int w, int h, uint8_t below = 128) {
  Box b;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (px[size_t(y) * w + x] < below) {
        ++b.dark;
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
      }
  return b;
}

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST_F(QrTest, VersionOneGeometry) {
  // "abc": 21 modules; 780 / 29 = 26 px a module; 546 px of code, 117 px of white each side.
  ql_rect(0, 0, 1072, 1448, 0);
  ql_mark(0, 0, 1072, 1448, 2);
  ASSERT_EQ(ql_qr("abc", 100, 200, 780), 1);
  const Framebuffer& fb = ql_fb();
  std::vector<uint8_t> square(780 * 780);
  for (int y = 0; y < 780; ++y)
    for (int x = 0; x < 780; ++x) square[size_t(y) * 780 + x] = fb.pixels[size_t(200 + y) * fb.width + 100 + x];
  const Box b = dark_box(square.data(), 780, 780);
  EXPECT_EQ(b.x0, 117);
  EXPECT_EQ(b.y0, 117);
  EXPECT_EQ(b.x1, 117 + 546 - 1);
  EXPECT_EQ(b.y1, 117 + 546 - 1);
  EXPECT_EQ(b.dark % (26 * 26), 0);  // whole modules only
  EXPECT_EQ(ql_mask()[size_t(300) * fb.width + 300], 0);  // the square resets the mask
  EXPECT_EQ(fb.pixels[size_t(199) * fb.width + 100], 0);  // outside the square untouched
}

TEST_F(QrTest, TooSmallDrawsNothing) {
  ql_rect(0, 0, 100, 100, 50);
  EXPECT_EQ(ql_qr("abc", 0, 0, 28), 0);  // 28 / 29 = 0 px a module
  EXPECT_EQ(dark_box(ql_fb().pixels, ql_fb().width, 100, 51).dark, 100 * 100);
  EXPECT_EQ(ql_qr(std::string(8000, 'x').c_str(), 0, 0, 1000), 0);  // over version 40
  EXPECT_EQ(ql_qr(nullptr, 0, 0, 500), 0);
}

TEST_F(QrTest, DrawnCodeDecodesBackToTheSameText) {
  TempDir dir;
  const std::string texts[] = {
      "bitcoin:bc1qxy2kgdygjrsqtzq2n0yrf2493p83kkfjhx0wlh?amount=0.00012",
      "https://example.org/transfer?code=42",
      "lnbc2500u1pvjluezpp5qqqsyqcyq5rqwzqfqqqsyqcyq5rqwzqfqqqsyqcyq5rqwzqfqypqdq5xysxxatsyp3k7enxv4js",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ql_clear();
    ASSERT_EQ(ql_qr(text.c_str(), 100, 100, 860), 1);
    const std::string png = dir / "qr.png";
    ASSERT_EQ(ql_png(png.c_str()), 1);
    EXPECT_EQ(run("zbarimg --raw -q '" + png + "' 2>/dev/null"), text + "\n");
  }
}

TEST(Logo, WordmarkFillsItsStrip) {
  std::vector<uint8_t> logo(size_t(kLogoWidth) * kLogoHeight), small(size_t(kSmallLogoWidth) * kSmallLogoHeight);
  logo_draw(logo.data(), small.data());
  const Box b = dark_box(logo.data(), kLogoWidth, kLogoHeight);
  EXPECT_GT(b.dark, kLogoWidth * kLogoHeight / 10);
  EXPECT_GE(b.y0, 1);
  EXPECT_LE(b.y1, kLogoHeight - 2);
  EXPECT_NEAR(b.x0 + b.x1, kLogoWidth - 1, 4);  // centred
  EXPECT_GT(b.x1 - b.x0, kLogoWidth / 2);
  EXPECT_EQ(logo[0], 255);
}

}  // namespace
