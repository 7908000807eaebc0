// The reader driven end to end: the real program, headless, with test-driver scripts against a
// real EPUB: open with --open, follow a link, use the toolbar, turn pages by taps and swipes,
// bookmark, highlight, write a note, quit; then start again and find it all in place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/ui/ui_keyboard.h"
#include "book/annotations.h"
#include "library/library_screen.h"
#include "support/epub_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = 90000;

// Chapter 1 opens with a long link to an anchor in chapter 3; plenty of plain text around it.
std::string build_book() {
  std::string link_words;
  for (int i = 0; i < 60; ++i) link_words += " onward";
  std::vector<std::string> bodies(3);
  bodies[0] = "<p><a href=\"ch3.xhtml#target\">Follow" + link_words + "</a></p>";
  for (int c = 0; c < 3; ++c) {
    for (int p = 0; p < 30; ++p) {
      if (c == 2 && p == 12) bodies[c] += "<p id=\"target\">The target paragraph starts here.</p>";
      bodies[c] += filler_paragraph(c * 100 + p, 40);
    }
  }
  EpubPlan plan = simple_book(bodies);
  plan.title = "Session Book";
  return build_epub(plan);
}

// The centre of the keyboard key with this label.
std::optional<std::pair<int, int>> key_centre(std::string_view label) {
  for (int y = kH - kKeyboardHeight; y < kH; y += 10) {
    for (int x = 0; x < kW; x += 8) {
      if (keyboard_key_at(x, y, kW, kH) != label) continue;
      int x2 = x;
      while (x2 < kW && keyboard_key_at(x2, y, kW, kH) == label) x2 += 4;
      return std::make_pair((x + x2) / 2, y + 30);
    }
  }
  return std::nullopt;
}

struct Session {
  TempDir dir;
  std::string data = dir / "data";
  std::string book = data + "/documents/Session Book.epub";

  Session() {
    fs::create_directories(data + "/documents");
    write_file(book, build_book());
  }
  // Runs the program on the script, by default with "--open" and the book's own path.
  ProgramResult run(const std::string& lines, std::optional<std::vector<std::string>> args = {}) {
    const std::string script = dir / "script";
    write_file(script, lines);
    EnvList env = {{"CVNL_HEADLESS", "1"}, {"CVNL_DATA", data}, {"CVNL_TEST", script},
                   {"CVNL_NO_SAMPLES", "1"}};
    return run_program(QL_TEST_QUILLO, args.value_or(std::vector<std::string>{"--open", book}), env,
                       kRunLimitMs);
  }
  std::string shot(const std::string& name) const { return dir / (name + ".pgm"); }
  std::string state_file(const std::string& name) const { return data + "/ql/state/" + name; }
  std::string state(const std::string& suffix) const {
    for (const auto& e : fs::directory_iterator(data + "/ql/state")) {
      if (e.path().extension() == suffix) return read_file(e.path());
    }
    return {};
  }
};

size_t count_lines_starting(const std::string& text, const std::string& prefix) {
  size_t n = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    if (text.compare(at, prefix.size(), prefix) == 0) ++n;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return n;
}
}  // namespace

TEST(ReaderSession, ReadsAnnotatesAndFindsEverythingAfterRestart) {
  Session s;
  const auto h = key_centre("h");
  const auto i = key_centre("i");
  const auto done = key_centre("Done");
  ASSERT_TRUE(h && i && done);
  const int button_y = kH - 360 + 150;  // popup below the middle for selections in the upper half
  const std::string key = [](std::pair<int, int> p) {
    return "tap " + std::to_string(p.first) + " " + std::to_string(p.second) + "\nidle\n";
  }(*h) + [](std::pair<int, int> p) {
    return "tap " + std::to_string(p.first) + " " + std::to_string(p.second) + "\nidle\n";
  }(*i) + "tap " + std::to_string(done->first) + " " + std::to_string(done->second) + "\nidle\n";

  const std::string script =
      "idle\nshot " + s.shot("open") + "\n"
      // The link in the first lines jumps to chapter 3.
      "tap 536 300\nidle\nshot " + s.shot("link") + "\n"
      // Toolbar: shown, then "Back" returns to the first page, a tap below closes it.
      "tap 536 50\nidle\nshot " + s.shot("toolbar") + "\n"
      "tap 268 150\nidle\ntap 536 900\nidle\nshot " + s.shot("back") + "\n"
      // Early edge turn, middle tap, swipe left, swipe right, early back, early forward: page 2.
      "tap 1000 800\nidle\ntap 600 800\nidle\n"
      "down 800 900\nup 300 900\nidle\ndown 400 900\nup 850 900\nidle\n"
      "tap 100 800\nidle\ntap 1000 800\nidle\nshot " + s.shot("page3") + "\n"
      // Bookmark corner, then a held word highlighted, then another held word given a note.
      "tap 1000 60\nidle\n"
      "down 300 400\nwait 700\nup 300 400\nidle\nshot " + s.shot("popup") + "\n"
      "tap 100 " + std::to_string(button_y) + "\nidle\n"
      "down 300 640\nwait 700\nup 300 640\nidle\n"
      "tap 290 " + std::to_string(button_y) + "\nidle\n" + key +
      "idle\nshot " + s.shot("annotated") + "\nquit\n";
  const ProgramResult first = s.run(script);
  ASSERT_FALSE(first.timed_out);
  ASSERT_EQ(first.status, 0);

  const std::string open = read_file(s.shot("open"));
  const std::string link = read_file(s.shot("link"));
  const std::string toolbar = read_file(s.shot("toolbar"));
  const std::string back = read_file(s.shot("back"));
  const std::string page3 = read_file(s.shot("page3"));
  const std::string popup = read_file(s.shot("popup"));
  const std::string annotated = read_file(s.shot("annotated"));
  for (const std::string* shot : {&open, &link, &toolbar, &back, &page3, &popup, &annotated}) {
    ASSERT_EQ(shot->size(), sizeof kPgmHead - 1 + size_t{kW} * kH);
  }
  EXPECT_NE(open, link) << "the link did not move the page";
  EXPECT_EQ(grey_at(toolbar, 10, 305), 0) << "the toolbar's closing line";
  EXPECT_EQ(open, back) << "the toolbar's Back did not return to the first page";
  EXPECT_NE(page3, open);
  EXPECT_EQ(grey_at(popup, 40, kH - 360 + 1), 0) << "the selection popup's frame";
  for (int y = kH - 70; y < kH; y++) {
    EXPECT_EQ(grey_at(popup, kW / 2, y), 255) << "the footer's band stays clear of the popup: " << y;
  }
  EXPECT_EQ(grey_at(annotated, kW - 60 + 18, 30), 0) << "the bookmark ribbon";

  // The files written: the position of page 3, one bookmark, a highlight and a note "hi".
  const std::string notes = s.state(".notes");
  EXPECT_EQ(count_lines_starting(notes, "BT "), 1u) << notes;
  EXPECT_EQ(count_lines_starting(notes, "HL "), 2u) << notes;
  EXPECT_NE(notes.find(" hi\n"), std::string::npos) << notes;
  EXPECT_FALSE(s.state(".pos").empty());
  EXPECT_NE(read_file(s.data + "/ql/state/library.tsv").find("Session Book.epub\t"), std::string::npos);
  EXPECT_FALSE(fs::is_empty(s.data + "/ql/state/layout"));

  // Starting again shows the same page with its highlights, note and bookmark.
  const ProgramResult second = s.run("idle\nshot " + s.shot("again") + "\nquit\n");
  ASSERT_FALSE(second.timed_out);
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(read_file(s.shot("again")), annotated);
  EXPECT_EQ(s.state(".notes"), notes);
}

// The book opened by its own path on disk and then from the library is one book: the library
// opens it on the page it was left at, with its bookmark, and lists its progress.
TEST(ReaderSession, ABookOpenedByItsPathAndFromTheLibraryKeepsOnePlace) {
  Session s;
  const ProgramResult first = s.run(
      "idle\ntap 1000 800\nidle\ntap 1000 800\nidle\ntap 1000 800\nidle\n"
      "tap 1000 60\nidle\nshot " + s.shot("by_path") + "\nquit\n");
  ASSERT_FALSE(first.timed_out);
  ASSERT_EQ(first.status, 0);
  // Everything is kept under the device path, the name the library knows the book by.
  const std::string key = book_path_key("/mnt/us/documents/Session Book.epub");
  EXPECT_FALSE(read_file(s.state_file(key + ".pos")).empty());
  EXPECT_EQ(count_lines_starting(read_file(s.state_file(key + ".notes")), "BT "), 1u);
  size_t positions = 0;
  for (const auto& e : fs::directory_iterator(s.data + "/ql/state"))
    positions += e.path().extension() == ".pos";
  EXPECT_EQ(positions, 1u);

  const LibraryGeometry g = library_geometry(kW, kH, false);
  const int x = kLibraryLeft + g.cell_w / 2;
  const int y = kLibraryItemsTop + g.row_pitch / 2;
  ASSERT_EQ(library_slot_at(g, x, y), std::optional<uint64_t>(0));
  const ProgramResult second =
      s.run("idle\ntap " + std::to_string(x) + " " + std::to_string(y) + "\nidle\nshot " +
                s.shot("from_library") + "\nquit\n",
            std::vector<std::string>{});
  ASSERT_FALSE(second.timed_out);
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(read_file(s.shot("from_library")), read_file(s.shot("by_path")));
  // Listed with its progress, not as new.
  const std::string tsv = read_file(s.state_file("library.tsv"));
  const size_t at = tsv.find("Session Book.epub\t");
  ASSERT_NE(at, std::string::npos) << tsv;
  EXPECT_GT(atoi(tsv.c_str() + at + strlen("Session Book.epub\t")), 0) << tsv;
}

TEST(ReaderSession, ScreenModeQuitsNonZeroWhenTheBookCannotOpen) {
  TempDir dir;
  fs::create_directories(dir / "data");
  write_file(dir / "data/broken.epub", "not a zip");
  const std::string png = dir / "out.png";
  const ProgramResult r = run_program(QL_TEST_QUILLO, {"--screen", "reader", png, dir / "data/broken.epub"},
                                      {{"CVNL_DATA", dir / "data"}},
                                      kRunLimitMs);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 3);
  EXPECT_FALSE(fs::exists(png));
}

TEST(ReaderSession, ScreenModeWritesTheReaderToolbarAndLists) {
  TempDir dir;
  // Inside the data folder: other paths under /tmp are the program's own temporary folder.
  fs::create_directories(dir / "data");
  const std::string book = dir / "data/book.epub";
  write_file(book, build_book());
  for (const char* name : {"reader", "toolbar", "goto"}) {
    SCOPED_TRACE(name);
    const std::string png = dir / (std::string(name) + ".png");
    const ProgramResult r = run_program(QL_TEST_QUILLO, {"--screen", name, png, book, "5"},
                                        {{"CVNL_DATA", dir / "data"}},
                                        kRunLimitMs);
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(png).substr(1, 3), "PNG");
  }
}

#endif  // QL_TEST_QUILLO
