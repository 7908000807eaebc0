// The keyboard screen through the real program's screenshot mode.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "display/images.h"
#include "support/event_ceiling.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

TEST(ScreenShot, KeyboardWritesItsPng) {
  TempDir dir;
  const std::string png = dir / "keyboard.png";
  const ProgramResult r = run_program(QL_TEST_QUILLO, {"--screen", "keyboard", png},
                                      {{"CVNL_DATA", dir / "data"}, {"TMPDIR", dir.path()}},
                                      kEventCeilingMs);
  ASSERT_EQ(r.status, 0);
  const std::string bytes = read_file(png);
  int w = 0, h = 0;
  uint8_t* grey = ql_img_gray(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(w, 1072);
  EXPECT_EQ(h, 1448);
  const auto at = [&](int x, int y) { return grey[size_t(y) * size_t(w) + size_t(x)]; };
  EXPECT_EQ(at(500, 225), 150);         // the header's rule
  EXPECT_EQ(at(48, 300), 0);            // the entry field's outline
  EXPECT_EQ(at(500, h - 620), 190);     // the keyboard's top line
  EXPECT_EQ(at(500, h - 620 + 120), 190);
  int dark = 0;                         // the sample text in the field
  for (int x = 72; x < 400; ++x)
    for (int y = 290; y < 340; ++y) dark += at(x, y) < 128;
  EXPECT_GT(dark, 100);
  free(grey);
}

}  // namespace
