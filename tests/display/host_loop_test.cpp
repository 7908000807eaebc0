// The host's pieces working together in this process: a small core thread waits for touches and
// marks each tap, while test-driver lines push input, change the appearance, drop a book and take
// screenshots, as the program's own driver thread does.
#include "base/paths.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "host/host_queue.h"
#include "host/main_thread.h"
#include "host/test_driver.h"
#include "support/temp_dir.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::atomic<int> books_added{0};

// Marks each completed touch with a black square; follows dark mode; ends at quit.
void probe_core() {
  if (!ql_init(0)) return;
  ql_set_invert(plat_system_dark());
  ql_clear();
  ql_present(1, 2);
  ql_touch_timeout(0);
  for (;;) {
    int x = 0, y = 0;
    switch (ql_touch(&x, &y)) {
      case TOUCH_QUIT:
        return;
      case TOUCH_GESTURE:
        ql_rect(x - 2, y - 2, 5, 5, 0);
        ql_present(0, 4);
        break;
      case TOUCH_APPEARANCE:
        ql_set_invert(plat_system_dark());
        ql_present(1, 2);
        break;
      case TOUCH_BOOKS_ADDED:
        books_added++;
        break;
      default:
        break;
    }
  }
}

uint8_t grey_at(const std::string& pgm, int x, int y) {
  const size_t head = std::string("P5\n1072 1448\n255\n").size();
  return static_cast<uint8_t>(pgm.at(head + static_cast<size_t>(y) * 1072 + x));
}

std::string rgb_at(const std::string& ppm, int x, int y) {
  const size_t head = std::string("P6\n1072 1448\n255\n").size();
  return ppm.substr(head + (static_cast<size_t>(y) * 1072 + x) * 3, 3);
}

}  // namespace

TEST(HostLoop, DriverInputReachesTheCoreAndScreenshotsShowIt) {
  host_reset();
  TempDir dir, data;
  fs::create_directories(data / "documents");
  ql_set_root(data.path().c_str(), dir.path().c_str());
  std::thread core(probe_core);

  const std::string pgm = dir / "taps.pgm";
  const std::string light = dir / "light.ppm";
  const std::string dark = dir / "dark.ppm";
  write_file(dir / "New.epub", "new");
  for (const std::string& line :
       {std::string("idle"), std::string("tap 300 400"), std::string("down 2000 -50"),
        std::string("up 2000 -50"), std::string("down 10 10"), std::string("up 900 10"),
        std::string("idle"), "shot " + pgm, "shotc " + light, std::string("theme 1"),
        std::string("idle"), "shotc " + dark, "drop " + dir / "New.epub"}) {
    test_driver_line(line);
  }
  host_run_tasks();  // what the main thread does with the drop
  test_driver_line("idle");
  test_driver_line("quit");
  core.join();

  const std::string grey = read_file(pgm);
  ASSERT_EQ(grey.size(), std::string("P5\n1072 1448\n255\n").size() + 1072 * 1448);
  EXPECT_EQ(grey_at(grey, 300, 400), 0);   // the tap
  EXPECT_EQ(grey_at(grey, 1071, 0), 0);    // clamped into the frame
  EXPECT_EQ(grey_at(grey, 10, 10), 0);     // a swipe is marked where it began
  EXPECT_EQ(grey_at(grey, 900, 10), 255);
  EXPECT_EQ(grey_at(grey, 600, 700), 255);
  EXPECT_EQ(rgb_at(read_file(light), 600, 700), "\xec\xee\xee");
  EXPECT_EQ(rgb_at(read_file(light), 300, 400), "\x1d\x29\x25");
  EXPECT_EQ(rgb_at(read_file(dark), 600, 700), "\x1d\x29\x25");
  EXPECT_EQ(rgb_at(read_file(dark), 300, 400), "\xec\xee\xee");
  EXPECT_EQ(read_file(data / "documents/New.epub"), "new");
  EXPECT_EQ(books_added.load(), 1);

  ql_set_root(nullptr, nullptr);
  host_reset();
}
