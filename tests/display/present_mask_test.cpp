// The frame's mask plane reaching the host's presented colour frame: the display registers it as
// the host's mask source.
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "host/plat.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

class HostRing : public ::testing::Test {
 protected:
  void SetUp() override { host_reset(); }
  void TearDown() override { host_reset(); }
};

TEST_F(HostRing, PresentShowsPicturesThroughTheMask) {
  ASSERT_EQ(ql_init(0), 1);  // the mask plane exists only with a frame
  const Framebuffer& fb = ql_fb();
  std::vector<uint8_t> grey(static_cast<size_t>(fb.width) * fb.height, 128);
  ql_mark(0, 0, fb.width, fb.height, MASK_PAPER);
  ql_mark(10, 10, 4, 4, MASK_PICTURE);
  plat_present(grey.data(), fb.width, fb.height, 0, 4, 0);
  FrameCopy copy;
  ASSERT_TRUE(host_copy_rgba(copy));
  const size_t pic = (static_cast<size_t>(11) * fb.width + 11) * 4;
  EXPECT_EQ(copy.pixels[pic], 128);
  EXPECT_EQ(copy.pixels[pic + 1], 128);
  EXPECT_NE(copy.pixels[0], copy.pixels[1]);  // paper is tinted
  ql_mark(0, 0, fb.width, fb.height, MASK_PAPER);
}

// Without a window a present is kept only when needed: a screenshot taken while the core works on
// shows at once the frame presented, never what the core has drawn since, whether the core drew
// over part of it (the frame is copied first) or all of it anew (its plane is handed over).
TEST_F(HostRing, AScreenshotShowsTheFramePresentedNotTheDrawingAfter) {
  host_keep_frames_when_asked();
  ASSERT_EQ(ql_init(0), 1);
  const int w = ql_fb().width, h = ql_fb().height;
  for (const bool marked : {true, false}) {
    SCOPED_TRACE(marked ? "a frame with a mask, drawn over in part"
                        : "a frame without, drawn anew whole");
    std::vector<uint8_t> grey(static_cast<size_t>(w) * h, 255), mask(grey.size(), 0);
    const uint8_t corner = marked ? MASK_ACCENT : MASK_PAPER;
    for (int y = 0; y < 8; ++y) std::fill_n(mask.begin() + y * w, 8, corner);
    ql_clear();
    ql_mark(0, 0, 8, 8, corner);
    ql_present(0, 0);
    ql_rect(0, 0, marked ? 20 : w, h, 128);
    ql_mark(0, 0, 4, 4, MASK_PICTURE);
    FrameRows rows;
    ASSERT_TRUE(host_take_rows(rows));
    EXPECT_EQ(rows.grey, grey);
    EXPECT_EQ(rows.mask, mask);
    ql_present(0, 0);  // and the drawing shows once presented
    ASSERT_TRUE(host_take_rows(rows));
    EXPECT_TRUE(std::equal(rows.grey.begin(), rows.grey.end(), ql_fb().pixels));
    EXPECT_TRUE(std::equal(rows.mask.begin(), rows.mask.end(), ql_mask()));
  }
  ql_clear();
}

}  // namespace

namespace {
void no_redraw() {}
}  // namespace

// The host keeps the frame's mask as the display holds it after every kind of drawing, though an
// all-paper mask reaches it as none; with a window (rows compared) and without (rows copied).
TEST_F(HostRing, KeptMaskFollowsTheDisplaysMask) {
  ASSERT_EQ(ql_init(0), 1);
  const Framebuffer& fb = ql_fb();
  const size_t n = static_cast<size_t>(fb.width) * fb.height;
  std::vector<uint8_t> block(2 * n, 255);  // a pre-rendered page with a picture in its mask
  std::fill(block.begin() + static_cast<std::ptrdiff_t>(n), block.end(), uint8_t{0});
  block[n + 500 * static_cast<size_t>(fb.width) + 40] = MASK_PICTURE;
  struct Step {
    const char* name;
    void (*draw)(const std::vector<uint8_t>& block);
  } steps[] = {
      {"cleared", [](const std::vector<uint8_t>&) { ql_clear(); }},
      {"a picture marked", [](const std::vector<uint8_t>&) { ql_mark(10, 10, 4, 4, MASK_PICTURE); }},
      {"cleared again", [](const std::vector<uint8_t>&) { ql_clear(); }},
      {"an accent marked", [](const std::vector<uint8_t>&) { ql_mark(0, 30, 9, 2, 2); }},
      {"a rectangle over it", [](const std::vector<uint8_t>&) { ql_rect(0, 30, 5, 2, 0); }},
      {"paper marked over all", [](const std::vector<uint8_t>&) {
         ql_mark(0, 0, ql_fb().width, ql_fb().height, MASK_PAPER);
       }},
      {"a page copied in", [](const std::vector<uint8_t>& b) { ql_blit_frame(b.data()); }},
      {"cleared at last", [](const std::vector<uint8_t>&) { ql_clear(); }},
  };
  for (bool window : {false, true}) {
    host_set_present_hook(window ? no_redraw : nullptr);
    FrameRows rows;
    for (const Step& s : steps) {
      SCOPED_TRACE(testing::Message() << (window ? "window, " : "headless, ") << s.name);
      s.draw(block);
      plat_present(fb.pixels, fb.width, fb.height, 0, 4, 0);
      ASSERT_TRUE(host_take_rows(rows));
      ASSERT_EQ(rows.mask.size(), n);
      EXPECT_TRUE(std::equal(rows.mask.begin(), rows.mask.end(), ql_mask()));
    }
  }
  host_set_present_hook(nullptr);
  ql_clear();
}
