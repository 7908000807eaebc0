#include "base/paths.h"
#include "host/add_books.h"
#include "host/host_queue.h"
#include "host/main_thread.h"
#include "host/test_driver.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> lines_of(ScriptLines& s) {
  std::vector<std::string> out;
  while (auto l = s.next()) out.push_back(*l);
  return out;
}

struct Ev {
  int type, x, y;
  bool operator==(const Ev&) const = default;
};

std::vector<Ev> drain() {
  std::vector<Ev> out;
  int x, y, t;
  while ((t = plat_event(0, &x, &y)) != 0) out.push_back({t, x, y});
  return out;
}

class Driver : public ::testing::Test {
 protected:
  TempDir dir;
  void SetUp() override { host_reset(); }
  void TearDown() override { host_reset(); }
};

}  // namespace

TEST(ScriptLines, OnlyCompleteLinesCount) {
  ScriptLines s;
  s.feed("tap 1 2\nta", 10);
  EXPECT_EQ(lines_of(s), (std::vector<std::string>{"tap 1 2"}));
  s.feed("p 3 4", 5);
  EXPECT_TRUE(lines_of(s).empty());  // "tap 3 4" has no line feed yet: it may still grow
  s.feed("0\r\n\nquit\n", 9);
  EXPECT_EQ(lines_of(s), (std::vector<std::string>{"tap 3 40", "", "quit"}));
}

TEST(ScriptLines, OverlongLinesAreDroppedWhole) {
  ScriptLines s;
  const std::string longest(kScriptLineMax, 'x');
  const std::string too_long(kScriptLineMax + 1, 'y');
  const std::string text = longest + "\n" + too_long + "\n" + "quit\n";
  // Fed in small pieces, as a growing script arrives.
  std::vector<std::string> got;
  for (size_t i = 0; i < text.size(); i += 7) {
    s.feed(text.data() + i, std::min<size_t>(7, text.size() - i));
    for (auto& l : lines_of(s)) got.push_back(l);
  }
  EXPECT_EQ(got, (std::vector<std::string>{longest, "quit"}));
}

TEST_F(Driver, PointerLinesClampToTheFrame) {
  test_driver_line("tap 10 20");
  test_driver_line("down 5000 -7");
  test_driver_line("up 1071 1448");
  test_driver_line("tap 1");  // incomplete: ignored
  test_driver_line("tapx 1 2");
  EXPECT_EQ(drain(), (std::vector<Ev>{{HOST_POINTER_DOWN, 10, 20},
                                      {HOST_POINTER_UP, 10, 20},
                                      {HOST_POINTER_DOWN, 1071, 0},
                                      {HOST_POINTER_UP, 1071, 1447}}));
}

TEST_F(Driver, PageKeyLines) {
  test_driver_line("key forward");
  test_driver_line("key back  ");
  test_driver_line("key sideways");  // unknown: ignored
  test_driver_line("key");
  EXPECT_EQ(drain(), (std::vector<Ev>{{HOST_PAGE_KEY, 1, 0}, {HOST_PAGE_KEY, 0, 0}}));
}

TEST_F(Driver, ThemeQuitAndUnknownLines) {
  test_driver_line("theme 1");
  EXPECT_EQ(plat_system_dark(), 1);
  test_driver_line("theme -1");
  EXPECT_EQ(plat_system_dark(), 0);
  test_driver_line("quit");
  test_driver_line("quitting");
  test_driver_line("# a comment");
  test_driver_line("");
  EXPECT_EQ(drain(), (std::vector<Ev>{{HOST_APPEARANCE, 0, 0},
                                      {HOST_APPEARANCE, 0, 0},
                                      {HOST_QUIT, 0, 0}}));
}

TEST_F(Driver, ScreenshotsHaveExactHeadersAndSizes) {
  test_driver_line("shot " + dir / "none.pgm");
  EXPECT_TRUE(fs::exists(dir / "none.pgm"));
  EXPECT_EQ(fs::file_size(dir / "none.pgm"), 0u);  // nothing presented yet

  std::vector<uint8_t> grey(600 * 800, 200);
  grey[0] = 0;
  plat_present(grey.data(), 600, 800, 1, 2, 0);
  test_driver_line("shot " + dir / "g.pgm");
  test_driver_line("shotc " + dir / "c.ppm");
  const std::string pgm = read_file(dir / "g.pgm");
  const std::string ppm = read_file(dir / "c.ppm");
  const std::string pgm_head = "P5\n600 800\n255\n";
  const std::string ppm_head = "P6\n600 800\n255\n";
  ASSERT_EQ(pgm.size(), pgm_head.size() + 600 * 800);
  ASSERT_EQ(ppm.size(), ppm_head.size() + 600 * 800 * 3);
  EXPECT_EQ(pgm.substr(0, pgm_head.size()), pgm_head);
  EXPECT_EQ(ppm.substr(0, ppm_head.size()), ppm_head);
  EXPECT_EQ(uint8_t(pgm[pgm_head.size()]), 0);
  EXPECT_EQ(uint8_t(pgm[pgm_head.size() + 1]), 200);
  EXPECT_EQ(ppm.substr(ppm_head.size(), 3), std::string("\x1d\x29\x25"));  // ink (29, 41, 37)
  // No temporary file is left beside a finished screenshot.
  EXPECT_FALSE(fs::exists(dir / "g.pgm.tmp"));
  EXPECT_FALSE(fs::exists(dir / "c.ppm.tmp"));
}

TEST_F(Driver, ScreenshotPathsAreNeverCut) {
  std::vector<uint8_t> grey(600 * 800, 255);
  plat_present(grey.data(), 600, 800, 1, 2, 0);
  const std::string base = dir / "";
  const std::string longest = base + std::string(kScriptPathMax - base.size(), 'a');
  const std::string too_long = longest + "b";
  test_driver_line("shot " + too_long);
  test_driver_line("shot " + dir / "unwritable/x.pgm");  // no such folder: skipped
  EXPECT_TRUE(fs::is_empty(dir.path()));
  // "shotc" is matched before "shot": never a PGM under the colour name.
  test_driver_line("shotc " + dir / "c.ppm");
  EXPECT_EQ(read_file(dir / "c.ppm").substr(0, 2), "P6");
}

TEST_F(Driver, DropRunsOnTheMainThread) {
  TempDir data;
  fs::create_directories(data / "documents");
  write_file(dir / "Dropped.epub", "e");
  ql_set_root(data.path().c_str(), dir.path().c_str());
  test_driver_line("drop " + dir / "Dropped.epub");
  EXPECT_FALSE(fs::exists(data / "documents/Dropped.epub"));  // queued, not run here
  host_run_tasks();  // handed over to the copying, as the window's thread does
  ASSERT_TRUE(wait_added_books(kEventCeilingMs));
  EXPECT_EQ(read_file(data / "documents/Dropped.epub"), "e");
  EXPECT_EQ(drain(), (std::vector<Ev>{{HOST_BOOKS_ADDED, 0, 0}}));
  ql_set_root(nullptr, nullptr);
}

TEST_F(Driver, WaitAndIdle) {
  auto t0 = Clock::now();
  test_driver_line("wait 120");
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(115));

  // idle returns once the reader has taken every event and waits again.
  test_driver_line("tap 1 1");
  std::thread reader([] {
    int x, y;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (int i = 0; i < 3; i++) plat_event(-1, &x, &y);
  });
  t0 = Clock::now();
  test_driver_line("idle");
  EXPECT_EQ(plat_pending(), 0);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(kIdleLimitMs));
  host_push(HOST_QUIT, 0, 0);  // releases the reader's third wait
  reader.join();
}

TEST_F(Driver, IdleWaitsForADropToReachTheCore) {
  TempDir data;
  fs::create_directories(data / "documents");
  write_file(dir / "Late.epub", "e");
  ql_set_root(data.path().c_str(), dir.path().c_str());
  std::thread core([] {  // already waiting for input when the drop arrives
    int x, y;
    while (plat_event(-1, &x, &y) != HOST_QUIT) {
    }
  });
  test_driver_line("drop " + dir / "Late.epub");
  std::thread main_thread([] {  // a busy main thread gets to the copy late
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    host_run_tasks();
  });
  test_driver_line("idle");
  EXPECT_EQ(read_file(data / "documents/Late.epub"), "e");
  EXPECT_EQ(plat_pending(), 0);
  host_push(HOST_QUIT, 0, 0);
  core.join();
  main_thread.join();
  ql_set_root(nullptr, nullptr);
}

TEST_F(Driver, ScriptFileIsFollowedAsItGrows) {
  const std::string script = dir / "script";
  test_driver_start(script);  // the file does not exist yet
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  FILE* f = fopen(script.c_str(), "w");
  ASSERT_TRUE(f);
  fputs("tap 7 8\ndown 9 ", f);
  fflush(f);
  auto wait_for = [](size_t n) {
    std::vector<Ev> got;
    const auto end = Clock::now() + kEventCeiling;
    while (got.size() < n && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (auto& e : drain()) got.push_back(e);
    }
    return got;
  };
  EXPECT_EQ(wait_for(2), (std::vector<Ev>{{HOST_POINTER_DOWN, 7, 8}, {HOST_POINTER_UP, 7, 8}}));
  fputs("10\r\n", f);  // the rest of the line arrives later
  fclose(f);
  EXPECT_EQ(wait_for(1), (std::vector<Ev>{{HOST_POINTER_DOWN, 9, 10}}));
}
