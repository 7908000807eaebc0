// The settings pages driven end to end: the real program, headless, at the device's size in both
// orientations, from the library's status bar through Quick settings and Settings to About.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "settings/settings_pages.h"
#include "support/event_ceiling.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace {

struct Frame {
  int w = 0, h = 0;
  std::vector<uint8_t> grey;
  // The darkest pixel of a rectangle (255 for blank paper).
  uint8_t darkest(int x, int y, int rw, int rh) const {
    uint8_t d = 255;
    for (int r = y; r < y + rh; ++r)
      for (int c = x; c < x + rw; ++c) d = std::min(d, grey.at(size_t(r) * size_t(w) + size_t(c)));
    return d;
  }
  // The lowest row with ink; -1 when there is none.
  int lowest_ink() const {
    for (int y = h - 1; y >= 0; --y)
      if (darkest(0, y, w, 1) < 100) return y;
    return -1;
  }
};

// A PGM screenshot of any size; an empty frame when it is not one.
Frame read_pgm(const std::string& bytes) {
  Frame f;
  int head = 0;
  if (sscanf(bytes.c_str(), "P5\n%d %d\n255\n%n", &f.w, &f.h, &head) != 2 || head == 0) return {};
  if (bytes.size() != size_t(head) + size_t(f.w) * size_t(f.h)) return {};
  f.grey.assign(bytes.begin() + head, bytes.end());
  return f;
}

std::string tap(int x, int y) {
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n";
}

bool same_below_status_bar(const Frame& a, const Frame& b) {
  return a.w == b.w && ::same_below_status_bar(a.grey, b.grey, a.w);
}

// The index of the About row in the settings list.
uint64_t about_index() {
  const std::vector<SettingsListedRow> rows = settings_listed_rows();
  const auto about = std::find_if(rows.begin(), rows.end(), [](const SettingsListedRow& r) {
    return r.row == SettingsRow::About;
  });
  EXPECT_NE(about, rows.end());
  return uint64_t(about - rows.begin());
}

// Runs the headless program at w x h over `script` in a fresh data folder under `dir`.
ProgramResult run_session(const TempDir& dir, int w, int h, const std::string& script) {
  write_file(dir / "script", script);
  return run_program(QL_TEST_QUILLO, {},
                     {{"CVNL_DATA", dir / "data"},
                      {"CVNL_NO_SAMPLES", "1"},
                      {"CVNL_HEADLESS", "1"},
                      {"CVNL_SIZE", std::to_string(w) + "x" + std::to_string(h)},
                      {"CVNL_TEST", dir / "script"}},
                     kEventCeilingMs);
}

// From the library: the status bar opens Quick settings, its second row Settings.
std::string open_settings(int w) {
  return "idle\n" + tap(w / 2, 40) + tap(w / 2, kListTop + kListMenuRowHeight * 3 / 2);
}

}  // namespace

// The About page opened by taps shows every paragraph in both orientations, the last one above
// the bottom band, and a tap anywhere closes it back to the settings list.
TEST(SettingsSession, AboutShowsEveryParagraphAndClosesInBothOrientations) {
  const uint64_t index = about_index();
  for (const auto& [w, h] : {std::pair{1072, 1448}, std::pair{1448, 1072}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TempDir dir;
    const ListGeometry g = list_geometry(index + 1, 0, kListMenuRowHeight, h);
    const uint64_t page = index / uint64_t(g.per_page), slot = index % uint64_t(g.per_page);
    std::string script = open_settings(w);
    for (uint64_t p = 0; p < page; ++p) script += tap(w - 60, h - 40);  // the pager's next page
    script += tap(w / 2, g.row_top(slot) + kListMenuRowHeight / 2);
    script += "shot " + (dir / "about.pgm") + "\n" + tap(w / 2, h / 2) + "shot " +
              (dir / "closed.pgm") + "\nquit\n";
    const ProgramResult r = run_session(dir, w, h, script);
    ASSERT_FALSE(r.timed_out);
    ASSERT_EQ(r.status, 0);
    const Frame shown = read_pgm(read_file(dir / "about.pgm"));
    ASSERT_EQ(shown.w, w);
    // Ten lines in portrait end on the baseline 1062; nine in landscape on H - 80, the last
    // paragraph's, with nothing in the bottom band under it.
    const int last_baseline = w < h ? 1062 : h - 80;
    EXPECT_GE(shown.lowest_ink(), last_baseline - 30);
    EXPECT_LE(shown.lowest_ink(), last_baseline + 16);
    const Frame closed = read_pgm(read_file(dir / "closed.pgm"));
    ASSERT_EQ(closed.w, w);
    EXPECT_NE(closed.grey, shown.grey);
    EXPECT_EQ(closed.darkest(48, g.row_top(slot) + 365 - kListTop, w - 96, 1), 170)
        << "the settings list's row rule is back";
  }
}

// A page key turns the Settings list's pager (which opened "Reading options" when the key was a
// tap at the screen's right edge), and does nothing on Quick settings (one page) or About (no
// pages): About stays until a tap.
TEST(SettingsSession, PageKeysTurnTheSettingsPagerAndOpenNothing) {
  constexpr int w = 1072, h = 1448;
  const uint64_t index = about_index();
  const ListGeometry g = list_geometry(index + 1, 0, kListMenuRowHeight, h);
  ASSERT_EQ(index / uint64_t(g.per_page), 1u) << "About is on the second page";
  TempDir dir;
  auto shot = [&](const std::string& name) { return "shot " + (dir / (name + ".pgm")) + "\n"; };
  const std::string keys = "key forward\nidle\nkey back\nidle\n";
  const std::string script =
      "idle\n" + tap(w / 2, 40) + shot("quick") + keys + shot("quick-keys") +
      tap(w / 2, kListTop + kListMenuRowHeight * 3 / 2) + shot("settings") +
      "key forward\nidle\n" + shot("second") +
      tap(w / 2, g.row_top(index % uint64_t(g.per_page)) + kListMenuRowHeight / 2) + shot("about") +
      keys + shot("about-keys") + "quit\n";
  const ProgramResult r = run_session(dir, w, h, script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  auto frame = [&](const std::string& name) { return read_pgm(read_file(dir / (name + ".pgm"))); };
  EXPECT_TRUE(same_below_status_bar(frame("quick"), frame("quick-keys")));
  EXPECT_FALSE(same_below_status_bar(frame("settings"), frame("second")));
  EXPECT_GE(frame("about").lowest_ink(), 1062 - 30) << "the second page's row opened About";
  EXPECT_TRUE(same_below_status_bar(frame("about"), frame("about-keys"))) << "About stays";
}

#endif  // QL_TEST_QUILLO
