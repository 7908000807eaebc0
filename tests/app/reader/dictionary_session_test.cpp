// A word looked up from the reader end to end: the real program, headless, holds a word of a book,
// taps "Dictionary" in the selection popup, shows the definition from a dictzip dictionary in the
// documents folder, and records the word in vocab.tsv.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/epub_builder.h"
#include "support/program_shot.h"
#include "support/run_program.h"
#include "support/stardict_writer.h"
#include "support/temp_dir.h"

#ifdef QL_TEST_QUILLO

namespace fs = std::filesystem;

namespace {
constexpr int kRunLimitMs = 90000;

// Every word of the book is the same quoted plural, so whichever word the hold lands on is it.
std::string quoted_book() {
  std::string p;
  for (int i = 0; i < 60; ++i) p += "\xE2\x80\x9CLanterns\xE2\x80\x9D ";
  std::vector<std::string> bodies(1);
  for (int i = 0; i < 20; ++i) bodies[0] += "<p>" + p + "</p>";
  EpubPlan plan = simple_book(bodies);
  plan.title = "Lantern Book";
  return build_epub(plan);
}

// Runs the headless program over `data` with `book` open and the script; true when it ended by
// itself with status 0.
testing::AssertionResult run_headless(const TempDir& dir, const std::string& data,
                                      const std::string& book, const std::string& script) {
  write_file(dir / "script", script);
  const ProgramResult r = run_program(QL_TEST_QUILLO, {"--open", book},
                                      {{"CVNL_HEADLESS", "1"},
                                       {"CVNL_DATA", data},
                                       {"CVNL_TEST", dir / "script"},
                                       {"CVNL_NO_SAMPLES", "1"}},
                                      kRunLimitMs);
  if (r.timed_out) return testing::AssertionFailure() << "the program did not end";
  if (r.status != 0) return testing::AssertionFailure() << "the program ended with status " << r.status;
  return testing::AssertionSuccess();
}

// The darkest grey of a band of rows in a PGM screenshot.
int darkest_rows(const std::string& pgm, int y0, int y1) {
  int d = 255;
  for (int y = y0; y < y1; ++y) {
    for (int x = 0; x < kW; ++x) {
      d = std::min(d, grey_at(pgm, x, y));
    }
  }
  return d;
}
}  // namespace

TEST(DictionarySession, HeldWordIsLookedUpShownAndRecorded) {
  TempDir dir;
  const std::string data = dir / "data";
  fs::create_directories(data + "/documents/dictionaries");
  const std::string book = data + "/documents/Lantern Book.epub";
  write_file(book, quoted_book());
  sdw::Options o;
  o.bookname = "Pocket English";
  o.storage = sdw::Storage::dictzip;
  sdw::write_dictionary(
      data + "/documents/dictionaries/pocket",
      {{"lamp", "a light"}, {"lantern", "noun\na lamp with a transparent case\nalso: lamp"}}, o);

  const int button_y = kH - 360 + 150;  // the popup sits low for a selection in the upper half
  const int dictionary_x = 64 + 2 * ((kW - 120) / 5) + 60;
  const std::string popup = dir / "popup.pgm", page = dir / "page.pgm", back = dir / "back.pgm";
  const std::string script = "idle\ndown 300 400\nwait 700\nup 300 400\nidle\nshot " + popup + "\n" +
                             "tap " + std::to_string(dictionary_x) + " " + std::to_string(button_y) +
                             "\nidle\nshot " + page + "\ntap 500 700\nidle\nshot " + back + "\nquit\n";
  ASSERT_TRUE(run_headless(dir, data, book, script));

  const std::string shown = read_file(page);
  ASSERT_EQ(shown.size(), sizeof kPgmHead - 1 + size_t{kW} * kH);
  EXPECT_NE(shown, read_file(popup));
  EXPECT_NE(shown, read_file(back)) << "a tap closes the page";
  // Five lines from y 298 on: dictionary name, "(lantern)", "noun", the sense, "also: lamp"; then
  // nothing down to the bottom.
  for (int line = 0; line < 5; ++line) {
    SCOPED_TRACE(line);
    EXPECT_LT(darkest_rows(shown, 298 + 62 * line - 40, 298 + 62 * line + 10), 100);
  }
  EXPECT_EQ(darkest_rows(shown, 298 + 62 * 5 + 20, kH), 255);

  const std::string vocab = read_file(data + "/ql/state/vocab.tsv");
  EXPECT_EQ(vocab.substr(0, 9), "lanterns\t") << vocab;
  EXPECT_TRUE(vocab.ends_with("\tLantern Book.epub\n")) << vocab;
  EXPECT_EQ(vocab.find('\n'), vocab.size() - 1) << "one lookup, one line";
}

// A hold on the second part of a dash-joined word looks that part up: every paragraph is the one
// word "a—lanterns", so the hold 100 px right of the margin lies on "lanterns" (the first part
// also has an entry, which a lookup part by part from the first would show).
TEST(DictionarySession, AHoldOnAPartOfADashJoinedWordLooksThatPartUp) {
  TempDir dir;
  const std::string data = dir / "data";
  fs::create_directories(data + "/documents/dictionaries");
  const std::string book = data + "/documents/Dashes.epub";
  std::vector<std::string> bodies(1);
  for (int i = 0; i < 20; ++i) bodies[0] += "<p>a\xE2\x80\x94lanterns</p>";
  write_file(book, build_epub(simple_book(bodies)));
  sdw::Options o;
  o.bookname = "Pocket English";
  sdw::write_dictionary(data + "/documents/dictionaries/pocket",
                        {{"a", "the first letter"}, {"lantern", "a lamp with a transparent case"}}, o);

  const int button_y = kH - 360 + 150;
  const int dictionary_x = 64 + 2 * ((kW - 120) / 5) + 60;
  const std::string script = "idle\ndown 164 100\nwait 700\nup 164 100\nidle\ntap " +
                             std::to_string(dictionary_x) + " " + std::to_string(button_y) +
                             "\nidle\ntap 500 700\nidle\nquit\n";
  ASSERT_TRUE(run_headless(dir, data, book, script));
  const std::string vocab = read_file(data + "/ql/state/vocab.tsv");
  EXPECT_EQ(vocab.substr(0, 9), "lanterns\t") << vocab;
}

#endif  // QL_TEST_QUILLO
