// Drawing primitives checked against independently computed pixel counts, areas and boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/paths.h"
#include "display/framebuffer.h"
#include "support/png_reader.h"
#include "support/temp_dir.h"

namespace {

// The timing log is switched on for this program before anything reads the environment.
const bool kTimingOn = setenv("QL_TIMING", "1", 1) == 0;

class FramebufferTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ql_init(1), 1); }
  void TearDown() override { ql_close(); }
};

uint8_t px(int x, int y) { return ql_fb().pixels[size_t(y) * ql_fb().width + x]; }
uint8_t mk(int x, int y) { return ql_mask()[size_t(y) * ql_fb().width + x]; }

int count_grey(uint8_t grey) {
  const Framebuffer& fb = ql_fb();
  int n = 0;
  for (size_t i = 0; i < size_t(fb.width) * fb.height; ++i) n += fb.pixels[i] == grey;
  return n;
}
// Total darkness in pixel units: a fully black pixel counts 1.
double darkness() {
  const Framebuffer& fb = ql_fb();
  double sum = 0;
  for (size_t i = 0; i < size_t(fb.width) * fb.height; ++i) sum += (255 - fb.pixels[i]) / 255.0;
  return sum;
}

TEST_F(FramebufferTest, StartsAtDeviceSizeWhiteWithPaperMask) {
  EXPECT_EQ(ql_fb().width, 1072);
  EXPECT_EQ(ql_fb().height, 1448);
  EXPECT_EQ(count_grey(255), 1072 * 1448);
  EXPECT_EQ(ql_headless(), 1);
  EXPECT_EQ(mk(500, 500), 0);
}

TEST_F(FramebufferTest, RectanglesAreClipped) {
  struct Case {
    const char* name;
    int x, y, w, h;
    int expected;
  } cases[] = {
      {"inside", 10, 20, 30, 40, 1200},
      {"off the left", -10, 5, 30, 10, 200},
      {"off the top", 5, -7, 10, 10, 30},
      {"off the bottom right", 1060, 1440, 30, 30, 12 * 8},
      {"wholly outside left", -50, 10, 50, 10, 0},
      {"wholly outside below", 0, 1448, 10, 10, 0},
      {"negative size", 10, 10, -5, 10, 0},
      {"huge", -2000000000, -2000000000, 2100000000, 2100000000, 1072 * 1448},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql_clear();
    ql_rect(c.x, c.y, c.w, c.h, 0);
    EXPECT_EQ(count_grey(0), c.expected);
  }
}

TEST_F(FramebufferTest, RectResetsTheMask) {
  ql_mark(100, 100, 50, 50, MASK_ACCENT);
  EXPECT_EQ(mk(120, 120), 2);
  EXPECT_EQ(px(120, 120), 255);  // marking leaves grey alone
  ql_rect(110, 110, 20, 20, 40);
  EXPECT_EQ(mk(120, 120), 0);
  EXPECT_EQ(mk(105, 105), 2);
  ql_clear();
  EXPECT_EQ(mk(105, 105), 0);
}

TEST_F(FramebufferTest, FrameDrawsFourBars) {
  ql_frame(100, 200, 300, 150, 3);
  EXPECT_EQ(count_grey(0), 2 * 300 * 3 + 2 * (150 - 6) * 3);
  EXPECT_EQ(px(100, 200), 0);
  EXPECT_EQ(px(399, 349), 0);
  EXPECT_EQ(px(250, 275), 255);
}

TEST_F(FramebufferTest, ShadeInvertAndBlit) {
  ql_rect(0, 0, 10, 10, 100);
  ql_shade(5, 0, 10, 10, 150);  // min(pixel, 150)
  EXPECT_EQ(px(6, 5), 100);
  EXPECT_EQ(px(12, 5), 150);
  ql_invert(0, 0, 20, 1);
  EXPECT_EQ(px(0, 0), 155);
  EXPECT_EQ(px(12, 0), 105);
  EXPECT_EQ(px(17, 0), 0);

  ql_clear();
  std::vector<uint8_t> src(40 * 30);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i % 40);  // column index
  ql_blit(src.data(), 40, 30, -10, -5);
  EXPECT_EQ(px(0, 0), 10);
  EXPECT_EQ(px(29, 24), 39);
  EXPECT_EQ(px(30, 0), 255);
  EXPECT_EQ(px(0, 25), 255);
  ql_blit(src.data(), 40, 30, 1060, 1440);
  EXPECT_EQ(px(1071, 1447), 11);
}

TEST_F(FramebufferTest, DiscRingDotAndLineCoverTheirAreas) {
  struct Case {
    const char* name;
    void (*draw)();
    double area;
  } cases[] = {
      {"disc", [] { ql_circle(0, 300.5f, 300.5f, 40, 0); }, M_PI * 40 * 40},
      {"ring", [] { ql_circle(0, 300, 300, 60, 3); }, 2 * M_PI * 60 * 3},
      {"dot", [] { ql_line(0, 200, 200, 200, 200, 12); }, M_PI * 6 * 6},
      {"segment", [] { ql_line(0, 100, 500, 400, 500, 4); }, 300 * 4 + M_PI * 2 * 2},
      {"diagonal", [] { ql_line(0, 100, 100, 400, 500, 2); }, 500 * 2 + M_PI},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ql_clear();
    c.draw();
    EXPECT_NEAR(darkness(), c.area, c.area * 0.03 + 2);
  }
}

TEST_F(FramebufferTest, RingIsHollowAndDiscIsSolid) {
  ql_circle(0, 300, 300, 60, 3);
  EXPECT_EQ(px(300, 300), 255);
  EXPECT_LT(px(360, 300), 40);
  ql_clear();
  ql_circle(0, 300, 300, 60, 0);
  EXPECT_EQ(px(300, 300), 0);
  EXPECT_EQ(px(300, 370), 255);
  // The mask is never touched by anti-aliased shapes.
  ql_mark(0, 0, 1072, 1448, 1);
  ql_circle(0, 300, 300, 60, 0);
  EXPECT_EQ(mk(300, 300), 1);
}

TEST_F(FramebufferTest, ShapesOffTheFrameAreSafe) {
  ql_circle(0, -5, -5, 20, 0);
  ql_line(0, -100, 700, 2000, 700, 5);
  ql_circle(0, NAN, 10, 5, 0);
  ql_line(0, 1e30f, 1e30f, -1e30f, -1e30f, 3);
  EXPECT_GT(darkness(), 1000);
}

TEST_F(FramebufferTest, RotationSwapsAndClears) {
  ql_rect(0, 0, 10, 10, 0);
  ql_set_rotation(0);
  EXPECT_EQ(px(0, 0), 0);
  ql_set_rotation(1);
  EXPECT_EQ(ql_rotation(), 1u);
  EXPECT_EQ(ql_fb().width, 1448);
  EXPECT_EQ(ql_fb().height, 1072);
  EXPECT_EQ(count_grey(255), 1072 * 1448);
  ql_rect(1400, 1000, 48, 72, 0);  // the whole new frame is drawable, mask included
  EXPECT_EQ(count_grey(0), 48 * 72);
  ql_set_rotation(0);
  EXPECT_EQ(ql_fb().width, 1072);
  EXPECT_EQ(ql_fb().height, 1448);
}

TEST_F(FramebufferTest, RedirectedDrawingComesBackWithItsMask) {
  const size_t n = size_t(ql_fb().width) * ql_fb().height;
  std::vector<uint8_t> block(2 * n, 0);
  uint8_t* screen = ql_fb().pixels;
  ql_rect(0, 0, 5, 5, 0);
  EXPECT_EQ(ql_target(block.data()), block.data());
  ql_clear();
  ql_rect(100, 100, 10, 10, 60);
  ql_mark(100, 100, 10, 10, 1);
  EXPECT_EQ(block[100 * ql_fb().width + 100], 60);
  EXPECT_EQ(block[n + 100 * ql_fb().width + 100], 1);
  EXPECT_EQ(ql_target(nullptr), screen);
  EXPECT_EQ(px(0, 0), 0);  // the screen was not drawn on meanwhile
  EXPECT_EQ(px(100, 100), 255);
  ql_blit_frame(block.data());
  EXPECT_EQ(px(100, 100), 60);
  EXPECT_EQ(mk(100, 100), 1);
  EXPECT_EQ(px(0, 0), 255);
}

// The mask reads as every mark made on it says, whether it is read after each step (its plane made
// at once), after a few, or only at the end (the marks kept until then, more than are kept unwritten).
TEST_F(FramebufferTest, MaskReadsTheSameWhenReadEarlyOrLate) {
  const int w = ql_fb().width, h = ql_fb().height;
  const size_t n = size_t(w) * size_t(h);
  std::vector<uint8_t> want(n, MASK_PAPER);
  auto fill = [&](int x, int y, int fw, int fh, uint8_t v) {
    for (int r = std::max(y, 0); r < std::min(y + fh, h); ++r)
      std::fill(want.begin() + std::ptrdiff_t(size_t(r) * size_t(w) + size_t(std::max(x, 0))),
                want.begin() + std::ptrdiff_t(size_t(r) * size_t(w) + size_t(std::min(x + fw, w))), v);
  };
  std::vector<uint8_t> block(2 * n, 255);  // a page drawn elsewhere, its mask a picture box
  std::fill(block.begin() + std::ptrdiff_t(n), block.end(), uint8_t{MASK_PAPER});
  for (int r = 700; r < 720; ++r) std::fill_n(block.begin() + std::ptrdiff_t(n + size_t(r) * size_t(w) + 30), 40, 1);
  struct Step {
    const char* name;
    std::function<void()> draw, expect;
  };
  std::vector<Step> steps = {
      {"a box", [] { ql_mark(300, 300, 50, 50, MASK_ACCENT); }, [&] { fill(300, 300, 50, 50, MASK_ACCENT); }},
      {"cleared", [] { ql_clear(); }, [&] { fill(0, 0, w, h, MASK_PAPER); }},
      {"a picture over all", [&] { ql_mark(0, 0, w, h, MASK_PICTURE); }, [&] { fill(0, 0, w, h, MASK_PICTURE); }},
      {"a box on it", [] { ql_mark(10, 10, 20, 20, MASK_ACCENT); }, [&] { fill(10, 10, 20, 20, MASK_ACCENT); }},
  };
  for (int i = 0; i < 20; ++i) {  // overlapping boxes, some reaching off the frame
    const int x = i * 61 - 40, y = i * 83 - 30;
    const auto v = uint8_t(i % 2 ? MASK_PAPER : MASK_ACCENT);
    steps.push_back({"one of many boxes", [=] { ql_mark(x, y, 120, 90, v); }, [=, &fill] { fill(x, y, 120, 90, v); }});
  }
  steps.insert(steps.end(), {
      {"a rectangle drawn over them", [] { ql_rect(100, 100, 300, 50, 0); },
       [&] { fill(100, 100, 300, 50, MASK_PAPER); }},
      {"drawing redirected meanwhile",
       [&] {
         std::vector<uint8_t> other(2 * n, 0);
         ql_target(other.data(), true);
         ql_mark(5, 5, 10, 10, MASK_ACCENT);
         EXPECT_EQ(other[n + 5 * size_t(w) + 5], MASK_ACCENT);
         ql_target(nullptr);
       },
       [] {}},
      {"a page copied in", [&] { ql_blit_frame(block.data()); },
       [&] { want.assign(block.begin() + std::ptrdiff_t(n), block.end()); }},
      {"a box after it", [] { ql_mark(1000, 1400, 100, 100, MASK_ACCENT); },
       [&] { fill(1000, 1400, 100, 100, MASK_ACCENT); }},
  });
  const struct {
    const char* name;
    size_t read_every;
  } reads[] = {{"read after each step", 1},
               {"read every second step", 2},
               {"read every fourth step", 4},
               {"read at the end", steps.size()}};
  for (const auto& read : reads) {
    ql_close();
    ASSERT_EQ(ql_init(1), 1);
    std::fill(want.begin(), want.end(), uint8_t{MASK_PAPER});
    for (size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE(testing::Message() << read.name << ", step " << i << ": " << steps[i].name);
      steps[i].draw();
      steps[i].expect();
      if ((i + 1) % read.read_every != 0) continue;
      ASSERT_NE(ql_mask(), nullptr);
      EXPECT_TRUE(std::equal(want.begin(), want.end(), ql_mask()));
      if (ql_mask_blank()) {
        EXPECT_EQ(std::count(want.begin(), want.end(), MASK_PAPER), std::ptrdiff_t(n));
      }
    }
  }
}

TEST_F(FramebufferTest, PngHoldsTheGreyPlane) {
  TempDir dir;
  ql_rect(10, 20, 30, 40, 77);
  const std::string path = dir / "shot.png";
  ASSERT_EQ(ql_png(path.c_str()), 1);
  int w = 0, h = 0, comp = 0;
  const std::string png = read_file(path);
  uint8_t* img = independent_png_decode(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &w, &h, &comp);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(w, 1072);
  EXPECT_EQ(h, 1448);
  EXPECT_EQ(comp, 1);
  EXPECT_EQ(memcmp(img, ql_fb().pixels, size_t(w) * h), 0);
  free(img);
  EXPECT_EQ(ql_png((dir / "missing/shot.png").c_str()), 0);
}

TEST_F(FramebufferTest, TimingLogRestartsPast400000Bytes) {
  ASSERT_TRUE(kTimingOn);
  TempDir data, tmp;
  ql_set_root(data.path().c_str(), tmp.path().c_str());
  const std::string log = tmp / "ql-timing.log";
  const std::string label(200, 'x');
  size_t largest = 0, previous = 0;
  bool restarted = false;
  for (int i = 0; i < 2500; ++i) {
    ql_tmark(label.c_str());
    const size_t size = read_file(log).size();
    largest = std::max(largest, size);
    restarted |= size < previous;
    previous = size;
  }
  EXPECT_EQ(ql_present(0, 4), 1);
  EXPECT_NE(read_file(log).find("present full=0 draw+submit="), std::string::npos);
  EXPECT_NE(read_file(log).find("since_touch=-1ms"), std::string::npos);
  ql_set_root(nullptr, nullptr);
  EXPECT_TRUE(restarted);
  EXPECT_LT(largest, 400000 + 300u);
}

}  // namespace
