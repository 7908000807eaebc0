// The library driven end to end: the real program, headless, with test-driver scripts over a data
// folder of EPUBs made here. A book opened from the library, read and left shows its progress in
// the list, also after a restart; a dropped book arrives in the documents folder and is listed as
// new; a warm start takes titles, authors and covers from its caches without reading the books.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "app/reader/reader_taps.h"
#include "app/reader/reader_toolbar.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_state.h"
#include "app/ui/ui_text.h"
#include "display/framebuffer.h"
#include "support/event_ceiling.h"
#include "support/keyboard_touch.h"
#include "library/book_details.h"
#include "library/library_screen.h"
#include "support/cover_fixture.h"
#include "support/epub_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = kEventCeilingMs;
constexpr uint8_t kCoverGrey = 60;

// The list's second line (author and status) of each row: under the label's descenders, above
// the rule, right of the cover.
constexpr int kStatusBandTop = 98;
constexpr int kStatusBandHeight = 100;
constexpr int kStatusBaseline = 142;
constexpr int kListTextX = 232;

using Grey = std::vector<uint8_t>;

// A book of some twenty pages, so a few turns move its percent. Titles without descenders keep
// the list's label clear of the status band below it.
std::string book(const std::string& title, const std::string& author, bool with_cover) {
  std::vector<std::string> bodies(3);
  for (int c = 0; c < 3; ++c) {
    for (int p = 0; p < 30; ++p) bodies[c] += filler_paragraph(c * 100 + p, 40);
  }
  EpubPlan plan = simple_book(bodies);
  plan.title = title;
  plan.author = author;
  if (with_cover) {
    plan.items.emplace_back("cov", "cover.png", "image/png", flat_png(300, 420, kCoverGrey),
                            "cover-image", false);
  }
  return build_epub(plan);
}

struct Library {
  TempDir dir;
  std::string data = dir / "data";
  std::string docs = data + "/documents";
  std::string state = data + "/ql/state";

  // Listed by title while none has been read: Amber, Beacon (with a cover), Cedar.
  Library() {
    fs::create_directories(docs);
    write_file(docs + "/Amber.epub", book("Amber", "Ann Reed", false));
    write_file(docs + "/Beacon.epub", book("Beacon", "Ben Stone", true));
    write_file(docs + "/Cedar.epub", book("Cedar", "Cal Moor", false));
  }
  std::string path(const std::string& name) const { return dir / name; }
  EnvList env(const std::string& script) const {
    EnvList e = {{"CVNL_DATA", data}, {"CVNL_NO_SAMPLES", "1"}};
    if (!script.empty()) {
      e.push_back({"CVNL_HEADLESS", "1"});
      e.push_back({"CVNL_TEST", script});
    }
    return e;
  }
  // Starts on the library (no book named) and runs the whole script.
  ProgramResult run(const std::string& lines) {
    const std::string script = path("script");
    write_file(script, lines);
    return run_program(QL_TEST_QUILLO, {}, env(script), kRunLimitMs);
  }
};

Grey pgm_pixels(const std::string& pgm) {
  const size_t head = sizeof kPgmHead - 1;
  if (pgm.size() != head + size_t(kW) * kH || pgm.compare(0, head, kPgmHead) != 0) return {};
  return Grey(pgm.begin() + static_cast<std::ptrdiff_t>(head), pgm.end());
}

// Pixels of the status band of list row `row` that differ from what the toolkit draws for `text`
// there on a blank screen.
int status_band_difference(const Grey& shot, int row, const std::string& text) {
  if (!ql_fb().pixels || ql_fb().width != kW || ql_fb().height != kH) {
    ql_set_rotation(0);
    if (ql_init(1) != 1) return -1;
  }
  ui_state = UiState{};
  const LibraryGeometry g = library_geometry(kW, kH, false);
  const int top = kLibraryItemsTop + row * g.row_pitch;
  ql_clear();
  ui_draw_text_fit(text.c_str(), TS_REGULAR, 42, kListTextX, top + kStatusBaseline, kW - 280);
  int differ = 0;
  const int left = kLibraryLeft + g.cover_w + 1;
  for (int y = top + kStatusBandTop; y < top + kStatusBandTop + kStatusBandHeight; ++y) {
    for (int x = left; x < kW; ++x) {
      const size_t at = size_t(y) * kW + size_t(x);
      differ += shot.at(at) != ql_fb().pixels[at];
    }
  }
  return differ;
}

// The middle of a list row's cover.
uint8_t cover_middle(const Grey& shot, int row) {
  const LibraryGeometry g = library_geometry(kW, kH, false);
  const int x = kLibraryLeft + g.cover_w / 2;
  const int y = kLibraryItemsTop + row * g.row_pitch + g.row_pitch / 2;
  return shot.at(size_t(y) * kW + size_t(x));
}

// A short tap in the middle of list row `row`.
std::string tap_row(int row) {
  const LibraryGeometry g = library_geometry(kW, kH, false);
  const int x = kLibraryLeft + g.cell_w / 2;
  const int y = kLibraryItemsTop + row * g.row_pitch + g.row_pitch / 2;
  EXPECT_EQ(library_slot_at(g, x, y), std::optional<uint64_t>(row));
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n";
}

TapEvent touch(int x, int y) { return TapEvent{uint32_t(x), uint32_t(y), uint32_t(x), uint32_t(y), 40, TAP_TOUCH}; }

// The reader's taps: a page turn forward, opening the toolbar, and its "Library" column.
std::string turn_page() {
  const int x = kW - 72, y = kH / 2;
  EXPECT_EQ(reader_touch_kind(touch(x, y), kW, kH), ReaderTouch::LinkOrTurn);
  EXPECT_TRUE(reader_zone_forward(x, kW));
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n";
}
std::string back_to_library() {
  const int x = kW / 2, y = kH / 30;
  EXPECT_EQ(reader_touch_kind(touch(x, y), kW, kH), ReaderTouch::Toolbar);
  int first = -1, last = -1;
  for (int row = 0; row < kToolbarHeight; ++row) {
    if (toolbar_hit(row) != ToolbarTap::Column) continue;
    if (first < 0) first = row;
    last = row;
  }
  const int column_x = kW / 12;
  EXPECT_EQ(toolbar_column(column_x, kW), 0) << "the Library column";
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n" + "tap " +
         std::to_string(column_x) + " " + std::to_string((first + last) / 2) + "\nidle\n";
}

// The percent and read flag library.tsv holds for a file name.
std::optional<std::pair<int, int>> recorded(const std::string& tsv, const std::string& name) {
  const std::string key = name + "\t";
  for (size_t at = 0; at < tsv.size();) {
    const size_t end = std::min(tsv.find('\n', at), tsv.size());
    if (tsv.compare(at, key.size(), key) == 0) {
      int percent = -1, read = -1;
      if (sscanf(tsv.substr(at + key.size(), end - at - key.size()).c_str(), "%d\t%d", &percent, &read) == 2) {
        return std::make_pair(percent, read);
      }
    }
    at = end + 1;
  }
  return std::nullopt;
}

std::string tap_at(int x, int y) {
  return "tap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\n";
}
// The library's sort bar, which opens the library menu.
std::string tap_sort_bar() {
  const LibraryGeometry g = library_geometry(kW, kH, false);
  return tap_at(g.search_left / 2, (g.sort_bar_top + kLibraryItemsTop) / 2);
}
// Row `row` of a list menu's first page.
std::string tap_menu_row(int row) {
  return tap_at(kW / 2, kListTop + row * kListMenuRowHeight + kListMenuRowHeight / 2);
}
std::string tap_keys(std::initializer_list<std::string_view> labels) {
  std::string script;
  for (std::string_view label : labels) {
    const KeyPoint p = key_point(label, kW, kH);
    script += tap_at(p.x, p.y);
  }
  return script;
}

struct FileStamp {
  ino_t inode = 0;
  timespec mtime{};
  bool operator==(const FileStamp& o) const {
    return inode == o.inode && mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};
FileStamp stamp(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return {};
  return {st.st_ino, st.st_mtim};
}
}  // namespace

TEST(LibrarySession, ABookReadFromTheLibraryShowsItsProgressThere) {
  Library lib;
  const std::string shot = lib.path("back.pgm");
  std::string script = "idle\n" + tap_row(1);  // Beacon
  for (int i = 0; i < 3; ++i) script += turn_page();
  script += back_to_library() + "shot " + shot + "\nquit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);

  const std::string tsv = read_file(lib.state + "/library.tsv");
  const auto beacon = recorded(tsv, "Beacon.epub");
  ASSERT_TRUE(beacon) << tsv;
  const int percent = beacon->first;
  EXPECT_GT(percent, 0) << tsv;
  EXPECT_LT(percent, 100) << tsv;
  EXPECT_EQ(beacon->second, 0) << "three pages in is not finished";
  const auto amber = recorded(tsv, "Amber.epub");
  EXPECT_TRUE(!amber || amber->first == 0) << "an unopened book keeps no progress\n" << tsv;

  // Back on the library the book just left heads the list with its percent; the others are new.
  const Grey back = pgm_pixels(read_file(shot));
  ASSERT_FALSE(back.empty());
  const std::string progress = "Ben Stone  ·  " + std::to_string(percent) + "%";
  EXPECT_EQ(status_band_difference(back, 0, progress), 0) << progress;
  EXPECT_EQ(status_band_difference(back, 1, "Ann Reed  ·  New"), 0);
  EXPECT_EQ(status_band_difference(back, 2, "Cal Moor  ·  New"), 0);

  // A fresh start lists it first again (read last) with the same percent.
  const std::string again_shot = lib.path("again.pgm");
  const ProgramResult again_run = lib.run("idle\nshot " + again_shot + "\nquit\n");
  ASSERT_FALSE(again_run.timed_out);
  ASSERT_EQ(again_run.status, 0);
  const Grey again = pgm_pixels(read_file(again_shot));
  ASSERT_FALSE(again.empty());
  EXPECT_EQ(status_band_difference(again, 0, progress), 0) << progress;
  EXPECT_EQ(status_band_difference(again, 1, "Ann Reed  ·  New"), 0);
}

TEST(LibrarySession, ADroppedBookIsCopiedInAndListedAsNew) {
  Library lib;
  const std::string source = lib.path("Dawn.epub");
  const std::string bytes = book("Dawn", "Dee Walker", false);
  write_file(source, bytes);
  const std::string copy = lib.docs + "/Dawn.epub";
  const std::string script = lib.path("script");
  const std::string shot = lib.path("dropped.pgm");
  write_file(script, "idle\ndrop " + source + "\n");
  const int pid = start_program(QL_TEST_QUILLO, {}, lib.env(script));
  ASSERT_GT(pid, 0);
  // The copy lands under its final name by a rename just before the library hears of it; the
  // script goes on once it is there.
  const auto deadline = std::chrono::steady_clock::now() + kEventCeiling;
  while (!fs::exists(copy) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  {
    FILE* f = fopen(script.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    const std::string rest = "wait 200\nidle\nshot " + shot + "\nquit\n";
    fwrite(rest.data(), 1, rest.size(), f);
    fclose(f);
  }
  const ProgramResult r = wait_program(pid, kRunLimitMs);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);

  ASSERT_TRUE(fs::exists(copy));
  EXPECT_EQ(read_file(copy), bytes);
  EXPECT_EQ(read_file(source), bytes) << "the dropped file is copied, not moved";
  EXPECT_FALSE(fs::exists(copy + ".part"));

  // Listed in its place by title, unread: "New" beside its author.
  const Grey after = pgm_pixels(read_file(shot));
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(status_band_difference(after, 3, "Dee Walker  ·  New"), 0);
  EXPECT_EQ(status_band_difference(after, 2, "Cal Moor  ·  New"), 0);
}

TEST(LibrarySession, AWarmStartReadsNoBookForTitlesOrCovers) {
  Library lib;
  fs::create_directories(lib.state);  // made by an earlier start
  // The cold start scans every book and fills the caches, covers included (a screenshot would
  // keep neither).
  const ProgramResult cold = lib.run("idle\nshot " + lib.path("cold.pgm") + "\nquit\n");
  ASSERT_FALSE(cold.timed_out);
  ASSERT_EQ(cold.status, 0);
  const std::string cache = lib.state + "/scan-cache.tsv";
  const std::string cached = read_file(cache);
  ASSERT_NE(cached.find("Beacon"), std::string::npos) << cached;
  const FileStamp before = stamp(cache);

  // Every book becomes unreadable bytes of the same size and time: only the caches still know
  // their titles, authors and covers.
  for (const char* name : {"Amber.epub", "Beacon.epub", "Cedar.epub"}) {
    const std::string p = lib.docs + "/" + name;
    struct stat st{};
    ASSERT_EQ(stat(p.c_str(), &st), 0);
    write_file(p, std::string(static_cast<size_t>(st.st_size), 'x'));
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  }

  const std::string shot = lib.path("warm.pgm");
  const ProgramResult r = lib.run("idle\nshot " + shot + "\nquit\n");
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(cache), cached);
  EXPECT_TRUE(stamp(cache) == before) << "the scan cache was written again";

  const Grey warm = pgm_pixels(read_file(shot));
  ASSERT_FALSE(warm.empty());
  EXPECT_EQ(status_band_difference(warm, 0, "Ann Reed  ·  New"), 0);
  EXPECT_EQ(status_band_difference(warm, 1, "Ben Stone  ·  New"), 0);
  EXPECT_NEAR(cover_middle(warm, 1), kCoverGrey, 2) << "Beacon's cover from its cover file";
}

#endif  // QL_TEST_QUILLO

TEST(LibrarySession, ACollectionMadeInTheMenuFiltersTheLibrary) {
  Library lib;
  fs::create_directories(lib.state);
  write_file(lib.state + "/collections.tsv", "C\tfirst\nM\tfirst\tBeacon.epub\n");
  const std::string shot = lib.path("collection.pgm");
  constexpr int kCollectionsRow = 3, kCreateRow = 0, kOpenRow = 0;
  std::string script = "idle\n" + tap_sort_bar() + tap_menu_row(kCollectionsRow) +
                       tap_menu_row(kCreateRow) + tap_keys({"p", "o", "e", "m", "s", "Done"});
  script += tap_menu_row(1) + tap_menu_row(kOpenRow) + "shot " + shot + "\nquit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(lib.state + "/collections.tsv"),
            "C\tfirst\nC\tpoems\nM\tfirst\tBeacon.epub\n");
  EXPECT_NE(read_file(lib.state + "/ui.txt").find("filter=6"), std::string::npos);
  const Grey listed = pgm_pixels(read_file(shot));
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(status_band_difference(listed, 0, "Ben Stone  ·  New"), 0) << "only Beacon is listed";
}

#ifdef QL_TEST_QUILLO

namespace {
// A long press (well past the library's 450 ms) on list row `row`: the book's details.
std::string hold_row(int row) {
  const LibraryGeometry g = library_geometry(kW, kH, false);
  const std::string point = std::to_string(kLibraryLeft + g.cell_w / 2) + " " +
                            std::to_string(kLibraryItemsTop + row * g.row_pitch + g.row_pitch / 2);
  return "down " + point + "\nwait 800\nup " + point +
         "\nidle\n";
}
// Button `i` of the details screen: Open, Mark, Add, Remove, Delete.
std::string tap_details_button(int i) { return tap_at(kW / 2, 760 + 136 * i); }
}  // namespace

TEST(LibrarySession, ABookAddedToACollectionFromItsDetails) {
  Library lib;
  fs::create_directories(lib.state);
  write_file(lib.state + "/collections.tsv", "C\tpoems\nC\tsea\n");
  constexpr int kAdd = 2;
  const std::string script = "idle\n" + hold_row(0) + tap_details_button(kAdd) + tap_menu_row(1) +
                             tap_at(kBackTapX, kBackTapY) + "quit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(lib.state + "/collections.tsv"), "C\tpoems\nC\tsea\nM\tsea\tAmber.epub\n");
}

TEST(LibrarySession, ABookMovedToTheTrashLeavesTheLibrary) {
  Library lib;
  const std::string shot = lib.path("after.pgm");
  constexpr int kDelete = 4;
  const std::string script = "idle\n" + hold_row(1) + tap_details_button(kDelete) +
                             tap_at(800, kH / 2 + 140) + "shot " + shot + "\nquit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_FALSE(fs::exists(lib.docs + "/Beacon.epub"));
  EXPECT_TRUE(fs::exists(lib.data + "/ql/trash/Beacon.epub"));
  const Grey after = pgm_pixels(read_file(shot));
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(status_band_difference(after, 1, "Cal Moor  ·  New"), 0) << "Beacon is gone";
}

// The page keys turn the library's pager and the reader's pages, as a tap on the pager or at the
// page's edge does; on the toolbar, which has no pages, they do nothing.
TEST(LibrarySession, PageKeysTurnTheLibrarysPagerAndTheReadersPages) {
  Library lib;
  write_file(lib.docs + "/Delta.epub", book("Delta", "Dee Walker", false));
  write_file(lib.docs + "/Ember.epub", book("Ember", "Eve Lund", false));
  ASSERT_EQ(library_geometry(kW, kH, false).per_page, 4u) << "Ember heads the second page";
  auto shot = [&](const std::string& name) { return "shot " + lib.path(name + ".pgm") + "\n"; };
  std::string script = "idle\nkey forward\nidle\n" + shot("second") + "key back\nidle\n" +
                       shot("first") + tap_row(0) + shot("page0") + "key forward\nidle\n" +
                       shot("key1") + "key back\nidle\n" + shot("key0") + turn_page() +
                       shot("tap1") + tap_at(kW / 2, kH / 30) + shot("toolbar") +
                       "key forward\nidle\nkey back\nidle\n" + shot("toolbar-keys") + "quit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  auto grey = [&](const std::string& name) {
    return pgm_pixels(read_file(lib.path(name + ".pgm")));
  };
  EXPECT_EQ(status_band_difference(grey("second"), 0, "Eve Lund  ·  New"), 0) << "the second page";
  EXPECT_EQ(status_band_difference(grey("first"), 0, "Ann Reed  ·  New"), 0)
      << "back to the first";
  EXPECT_TRUE(same_below_status_bar(grey("key1"), grey("tap1"), kW)) << "turned as a tap turns";
  EXPECT_FALSE(same_below_status_bar(grey("key1"), grey("page0"), kW));
  EXPECT_TRUE(same_below_status_bar(grey("key0"), grey("page0"), kW)) << "and back";
  EXPECT_TRUE(same_below_status_bar(grey("toolbar-keys"), grey("toolbar"), kW))
      << "the toolbar stays";
}

// On the details screen, whose Open button lies where the reader's page edge would be, a page key
// opens nothing.
TEST(LibrarySession, APageKeyOnTheDetailsScreenOpensNothing) {
  Library lib;
  const std::string script = "idle\n" + hold_row(0) + "shot " + lib.path("details.pgm") +
                             "\nkey forward\nidle\nkey back\nidle\nshot " +
                             lib.path("after.pgm") + "\nquit\n";
  const ProgramResult r = lib.run(script);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_TRUE(same_below_status_bar(pgm_pixels(read_file(lib.path("details.pgm"))),
                                    pgm_pixels(read_file(lib.path("after.pgm"))), kW))
      << "the details stay, the book unopened";
}

// On a landscape screen the details screen's lower buttons stay reachable: a book is added to a
// collection, taken out again and moved to the trash, all by taps.
TEST(LibrarySession, LandscapeDetailsReachEveryButton) {
  Library lib;
  fs::create_directories(lib.state);
  write_file(lib.state + "/collections.tsv", "C\tsea\n");
  constexpr int kLandW = kH, kLandH = kW;
  const DetailsButtons b = book_details_buttons(kLandW, kLandH);
  auto button = [&](int i) { return tap_at(b.left(i) + b.width / 2, b.top_of(i) + b.height / 2); };
  const ConfirmGeometry confirm = confirm_geometry(kLandW, kLandH);
  const std::string script = "idle\n" + hold_row(0) + button(2) + tap_menu_row(0) + button(3) +
                             tap_menu_row(0) + button(4) +
                             tap_at(kLandW - 150, confirm.cy + 140) + "quit\n";
  write_file(lib.path("script"), script);
  EnvList env = lib.env(lib.path("script"));
  env.push_back({"CVNL_SIZE", std::to_string(kLandW) + "x" + std::to_string(kLandH)});
  const ProgramResult r = run_program(QL_TEST_QUILLO, {}, env, kRunLimitMs);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(read_file(lib.state + "/collections.tsv"), "C\tsea\n") << "added, then removed";
  EXPECT_FALSE(fs::exists(lib.docs + "/Amber.epub"));
  EXPECT_TRUE(fs::exists(lib.data + "/ql/trash/Amber.epub"));
}

#endif  // QL_TEST_QUILLO
