// A view of the presented frame (the window) brought up to date row by row: which rows it is given
// after each kind of present, and their colours, the same as the whole frame's colour copy.
#include "host/host_queue.h"
#include "host/present_palette.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int kW = 640;
constexpr int kH = 820;

void no_redraw() {}

// A window is attached (a present hook is set) for the fixture's length.
class PresentRows : public ::testing::Test {
 protected:
  void SetUp() override {
    host_reset();
    host_set_present_hook(no_redraw);
  }
  void TearDown() override {
    host_set_present_hook(nullptr);
    host_set_mask_source(nullptr);
    host_reset();
  }
};

std::vector<int> changed_rows(const FrameRows& rows) {
  std::vector<int> out;
  for (int y = 0; y < rows.h; y++) {
    if (rows.changed[static_cast<size_t>(y)]) out.push_back(y);
  }
  return out;
}

std::vector<int> every_row(int h) {
  std::vector<int> out(static_cast<size_t>(h));
  for (int y = 0; y < h; y++) out[static_cast<size_t>(y)] = y;
  return out;
}

std::vector<uint8_t> mask_plane;
const uint8_t* mask_of_plane(int w, int h) {
  return mask_plane.size() == static_cast<size_t>(w) * static_cast<size_t>(h) ? mask_plane.data()
                                                                                : nullptr;
}

}  // namespace

TEST_F(PresentRows, AViewIsGivenOnlyTheRowsThatChanged) {
  FrameRows rows;
  EXPECT_FALSE(host_take_rows(rows));  // nothing presented yet

  std::vector<uint8_t> grey(static_cast<size_t>(kW) * kH, 255);
  mask_plane.assign(grey.size(), 0);
  host_set_mask_source(mask_of_plane);
  struct Step {
    const char* name;
    void (*change)(std::vector<uint8_t>& grey);
    int invert;
    std::vector<int> rows;
  } steps[] = {
      {"the first frame", [](std::vector<uint8_t>&) {}, 0, every_row(kH)},
      {"the same frame again", [](std::vector<uint8_t>&) {}, 0, {}},
      {"one pixel of ink", [](std::vector<uint8_t>& g) { g[size_t{17} * kW + 5] = 0; }, 0, {17}},
      {"a picture marked in the mask",
       [](std::vector<uint8_t>&) {
         for (int y = 300; y < 302; y++) mask_plane[static_cast<size_t>(y) * kW + 9] = 1;
       },
       0, {300, 301}},
      {"the first and last rows",
       [](std::vector<uint8_t>& g) {
         g[0] = 7;
         g[g.size() - 1] = 7;
       },
       0, {0, kH - 1}},
      {"dark mode", [](std::vector<uint8_t>&) {}, 1, every_row(kH)},
  };
  for (Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.change(grey);
    plat_present(grey.data(), kW, kH, 0, 4, s.invert);
    ASSERT_TRUE(host_take_rows(rows));
    EXPECT_EQ(rows.w, kW);
    EXPECT_EQ(rows.h, kH);
    EXPECT_EQ(rows.dark, s.invert != 0);
    EXPECT_EQ(changed_rows(rows), s.rows);
    EXPECT_EQ(rows.grey, grey);
    EXPECT_EQ(rows.mask, mask_plane);
  }

  // Two presents between two looks: the rows of both.
  grey[size_t{40} * kW] = 1;
  plat_present(grey.data(), kW, kH, 0, 4, 1);
  grey[size_t{50} * kW] = 1;
  plat_present(grey.data(), kW, kH, 0, 4, 1);
  ASSERT_TRUE(host_take_rows(rows));
  EXPECT_EQ(changed_rows(rows), (std::vector<int>{40, 50}));

  // A second view starts with every row, whatever the first one has seen.
  FrameRows other;
  ASSERT_TRUE(host_take_rows(other));
  EXPECT_EQ(changed_rows(other), every_row(kH));

  // A frame of another size gives every row again.
  std::vector<uint8_t> small(static_cast<size_t>(600) * 800, 255);
  plat_present(small.data(), 600, 800, 0, 4, 1);
  ASSERT_TRUE(host_take_rows(rows));
  EXPECT_EQ(rows.w, 600);
  EXPECT_EQ(changed_rows(rows), every_row(800));
  EXPECT_EQ(rows.mask, std::vector<uint8_t>(small.size(), 0));  // no mask for it: all paper
}

TEST_F(PresentRows, TheViewsColoursAreTheFramesColours) {
  // Every grey under every mask value, dark and light: the window's words hold the same colours
  // as the colour copy the test driver writes.
  std::vector<uint8_t> grey(static_cast<size_t>(kW) * kH);
  mask_plane.assign(grey.size(), 0);
  for (size_t i = 0; i < grey.size(); i++) {
    grey[i] = static_cast<uint8_t>(i % 256);
    mask_plane[i] = static_cast<uint8_t>(i / 256 % 4);  // 3 shows as paper
  }
  host_set_mask_source(mask_of_plane);
  for (int invert : {0, 1}) {
    SCOPED_TRACE(invert);
    plat_present(grey.data(), kW, kH, 0, 4, invert);
    FrameRows rows;
    ASSERT_TRUE(host_take_rows(rows));
    // Image rows padded to a stride of kW + 1 words, as an image's rows may be.
    std::vector<uint32_t> image(static_cast<size_t>(kH) * (kW + 1));
    const size_t stride = (static_cast<size_t>(kW) + 1) * 4;
    host_rows_to_xrgb(rows, reinterpret_cast<uint8_t*>(image.data()), stride);
    FrameCopy rgba;
    ASSERT_TRUE(host_copy_rgba(rgba));
    for (size_t y = 0; y < kH; y++) {
      for (size_t x = 0; x < kW; x++) {
        const uint8_t* c = &rgba.pixels[(y * kW + x) * 4];
        const uint32_t want = 0xff000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
        ASSERT_EQ(image[y * (kW + 1) + x], want) << x << "," << y;
        ASSERT_EQ(c[3], 255);
      }
    }
  }
}
