#include "host/host_queue.h"
#include "support/event_ceiling.h"
#include "host/main_thread.h"
#include "host/present_palette.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class HostRing : public ::testing::Test {
 protected:
  void SetUp() override { host_reset(); }
  void TearDown() override { host_reset(); }
};

int next_event(int timeout_ms, int* x = nullptr, int* y = nullptr) {
  int ex = -1, ey = -1;
  const int type = plat_event(timeout_ms, &ex, &ey);
  if (x) *x = ex;
  if (y) *y = ey;
  return type;
}

double ms_since(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

}  // namespace

TEST_F(HostRing, HoldsAtMost255AndDropsTheRest) {
  int kept = 0;
  for (int i = 0; i < 300; i++) kept += host_push(HOST_POINTER_MOVE, i, i) ? 1 : 0;
  EXPECT_EQ(kept, 255);
  for (int i = 0; i < 255; i++) {
    int x, y;
    ASSERT_EQ(next_event(0, &x, &y), HOST_POINTER_MOVE);
    EXPECT_EQ(x, i);  // first in, first out; the late ones were the dropped ones
    EXPECT_EQ(y, i);
  }
  EXPECT_EQ(next_event(0), 0);
}

TEST_F(HostRing, QuitIsKeptWhenTheRingIsFull) {
  for (int i = 0; i < 255; i++) host_push(HOST_POINTER_MOVE, 1, 1);
  EXPECT_FALSE(host_push(HOST_POINTER_DOWN, 1, 1));
  EXPECT_TRUE(host_push(HOST_QUIT, 0, 0));
  EXPECT_NE(plat_pending(), 0);
  // Delivered ahead of the backlog: the core has only seconds to save before the forced exit.
  EXPECT_EQ(next_event(0), HOST_QUIT);
  EXPECT_EQ(next_event(0), HOST_POINTER_MOVE);
}

TEST_F(HostRing, EmptyRingPollTimeoutAndWake) {
  EXPECT_EQ(plat_pending(), 0);
  // A poll on an empty ring returns without waiting for a push: nothing is pushed at all.
  std::future<int> poll = std::async(std::launch::async, [] { return next_event(0); });
  ASSERT_EQ(poll.wait_for(kEventCeiling), std::future_status::ready) << "the poll waited";
  EXPECT_EQ(poll.get(), 0);

  auto t0 = Clock::now();
  EXPECT_EQ(next_event(120), 0);
  EXPECT_GE(ms_since(t0), 115);

  // Without a time-out the wait ends at the next push, whichever thread makes it: the push comes
  // once the reader waits on the empty ring.
  std::thread pusher([] {
    EXPECT_TRUE(host_wait_idle(kEventCeilingMs)) << "the reader never waited";
    host_push(HOST_BOOKS_ADDED, 0, 0);
  });
  EXPECT_EQ(next_event(-1), HOST_BOOKS_ADDED);
  pusher.join();
}

TEST_F(HostRing, TapIsDownThenUpAtOnePoint) {
  host_tap(40, 50);
  int x, y;
  EXPECT_EQ(next_event(0, &x, &y), HOST_POINTER_DOWN);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 50);
  EXPECT_EQ(next_event(0, &x, &y), HOST_POINTER_UP);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 50);
}

TEST_F(HostRing, IdleNeedsAnEmptyRingAndAWaitingReader) {
  auto t0 = Clock::now();
  EXPECT_FALSE(host_wait_idle(80));  // nobody waits for input
  EXPECT_GE(ms_since(t0), 75);

  host_push(HOST_POINTER_DOWN, 1, 1);
  std::thread reader([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int x, y;
    plat_event(-1, &x, &y);  // takes the backlog
    plat_event(-1, &x, &y);  // then waits: idle from here
  });
  EXPECT_TRUE(host_wait_idle(kEventCeilingMs));
  EXPECT_EQ(plat_pending(), 0);
  host_push(HOST_POINTER_UP, 1, 1);  // releases the reader
  reader.join();
}

TEST_F(HostRing, ShortPollsBetweenWorkAreNotIdle) {
  std::atomic<bool> busy = true;
  std::thread core([&] {
    int x, y;
    while (busy) plat_event(1, &x, &y);  // checking for input between cover decodes
  });
  EXPECT_FALSE(host_wait_idle(150));
  busy = false;
  core.join();
}

TEST_F(HostRing, ScreenSizeFromEnvironment) {
  struct Case {
    const char* headless;
    const char* size;
    int w, h;
  } cases[] = {
      {"1", "800x1200", 800, 1200},   {"1", "600x800", 600, 800},
      {"1", "2000x3000", 2000, 3000}, {"1", "599x1200", 1072, 1448},
      {"1", "800x3001", 1072, 1448},  {"1", "big", 1072, 1448},
      {nullptr, "800x1200", 1072, 1448},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.headless ? "headless " : "window ") + c.size);
    host_reset();
    if (c.headless) {
      setenv("CVNL_HEADLESS", c.headless, 1);
    } else {
      unsetenv("CVNL_HEADLESS");
    }
    setenv("CVNL_SIZE", c.size, 1);
    int w = 0, h = 0;
    EXPECT_EQ(plat_init(&w, &h), 1);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
  }
  unsetenv("CVNL_HEADLESS");
  unsetenv("CVNL_SIZE");
}

TEST_F(HostRing, ViewPointsMapOntoFramePixels) {
  struct Case {
    double px, py;
    int x, y;
  } cases[] = {
      {0, 0, 0, 0},           {268, 362, 536, 724},  {536, 724, 1071, 1447},
      {535.9, 723.9, 1071, 1447}, {-5, -1e12, 0, 0}, {1e12, 800, 1071, 1447},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.px << "," << c.py);
    int x, y;
    host_map_view_point(c.px, c.py, 536, 724, &x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

TEST(PresentPalette, PaperInkPictureAndAccent) {
  struct Case {
    bool dark;
    uint8_t mask, grey;
    uint8_t r, g, b;
  } cases[] = {
      {false, 0, 255, 236, 238, 238}, {false, 0, 0, 29, 41, 37},
      {true, 0, 255, 29, 41, 37},     {true, 0, 0, 236, 238, 238},
      {false, 1, 128, 128, 128, 128}, {true, 1, 128, 128, 128, 128},
      {false, 2, 0, 169, 98, 66},     {true, 2, 0, 169, 98, 66},
      {false, 2, 255, 236, 238, 238}, {true, 2, 255, 29, 41, 37},
      {false, 7, 0, 29, 41, 37},  // unknown mask values show as paper and ink
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dark " << c.dark << " mask " << int(c.mask) << " grey "
                                    << int(c.grey));
    const PresentPalette pal = build_palette(c.dark);
    uint8_t rgba[4];
    convert_frame(pal, &c.grey, &c.mask, 1, rgba);
    EXPECT_EQ(rgba[0], c.r);
    EXPECT_EQ(rgba[1], c.g);
    EXPECT_EQ(rgba[2], c.b);
    EXPECT_EQ(rgba[3], 255);
  }
}

TEST_F(HostRing, PresentKeepsGreyAndColourOfTheLastFrame) {
  FrameCopy copy;
  EXPECT_FALSE(host_copy_rgba(copy));  // nothing presented yet

  // A frame of another size than the framebuffer carries no mask: all paper and ink.
  std::vector<uint8_t> grey(700 * 900, 255);
  grey[5 * 700 + 3] = 0;
  plat_present(grey.data(), 700, 900, 0, 4, 1);
  ASSERT_TRUE(host_copy_grey(copy));
  EXPECT_EQ(copy.w, 700);
  EXPECT_EQ(copy.h, 900);
  EXPECT_TRUE(copy.dark);
  EXPECT_EQ(copy.pixels, grey);
  ASSERT_TRUE(host_copy_rgba(copy));
  ASSERT_EQ(copy.pixels.size(), grey.size() * 4);
  EXPECT_EQ(copy.pixels[0], 29);  // dark paper
  EXPECT_EQ(copy.pixels[(5 * 700 + 3) * 4], 236);  // dark-mode ink is light

  int w, h;
  host_frame_size(&w, &h);
  EXPECT_EQ(w, 700);
  EXPECT_EQ(h, 900);
  int x = 5000, y = -3;
  host_clamp_point(&x, &y);
  EXPECT_EQ(x, 699);
  EXPECT_EQ(y, 0);
}

// Without a window a present is copied only when asked for or when the core goes on: a screenshot
// gets the last frame presented, never drawing the core did after taking input or polling.
TEST_F(HostRing, FramesCopiedWhenAskedAreTheOnesPresented) {
  constexpr size_t kPixels = 600 * 800;
  host_keep_frames_when_asked();
  std::vector<uint8_t> grey(kPixels, 10);
  plat_present(grey.data(), 600, 800, 0, 4, 0);
  grey.assign(kPixels, 20);  // drawn and presented again before the core waits
  plat_present(grey.data(), 600, 800, 0, 4, 0);
  auto core = std::async(std::launch::async, [&] {
    const int type = next_event(-1);
    grey.assign(kPixels, 30);
    return type;
  });
  FrameCopy copy;
  ASSERT_TRUE(host_copy_grey(copy));  // asks the waiting core for the frame
  EXPECT_EQ(copy.pixels, std::vector<uint8_t>(kPixels, 20));
  host_push(HOST_POINTER_DOWN, 1, 1);
  EXPECT_EQ(core.get(), HOST_POINTER_DOWN);
  grey.assign(kPixels, 40);
  plat_present(grey.data(), 600, 800, 0, 4, 0);
  EXPECT_EQ(plat_pending(), 0);
  grey.assign(kPixels, 50);
  ASSERT_TRUE(host_copy_grey(copy));
  EXPECT_EQ(copy.pixels, std::vector<uint8_t>(kPixels, 40));
}

TEST_F(HostRing, AppearanceOverride) {
  host_set_system_dark(true);
  EXPECT_EQ(plat_system_dark(), 1);
  host_set_test_dark(0);
  EXPECT_EQ(plat_system_dark(), 0);
  host_set_test_dark(-1);
  EXPECT_EQ(plat_system_dark(), 1);
  host_set_system_dark(false);
  EXPECT_EQ(plat_system_dark(), 0);
}

TEST(HostQuit, ForcedExitWithStatusZeroWhenTheCoreNeverAnswers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto t0 = Clock::now();
  EXPECT_EXIT(
      {
        host_request_quit();
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_GE(ms_since(t0), kQuitGraceMs - 100);
}
