// The frame's mask plane reaching the host's presented colour frame: the display registers it as
// the host's mask source.
#include "display/framebuffer.h"
#include "host/host_queue.h"
#include "host/plat.h"

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

}  // namespace
