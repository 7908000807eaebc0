#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/held_files.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "support/temp_dir.h"
#include "support/file_size_limit.h"

namespace {

// Points the state folder at a temporary one for the length of a test.
class StateFolder : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUILLO_STATE", dir.path().c_str(), 1); }
  void TearDown() override { unsetenv("QUILLO_STATE"); }
  std::string file(const std::string& book, const char* ext) { return dir / (book_path_key(book) + ext); }
  TempDir dir;
};

TEST(BookPathKey, Fnv1a64OfThePathAsGiven) {
  EXPECT_EQ(book_path_key(""), "cbf29ce484222325");
  EXPECT_EQ(book_path_key("a"), "af63dc4c8601ec8c");
  EXPECT_EQ(book_path_key("foobar"), "85944171f73967e8");
  EXPECT_NE(book_path_key("/b/x.epub"), book_path_key("/b/x.epub/"));
  EXPECT_NE(book_path_key("/b/x.epub"), book_path_key("/b/X.epub"));
}

using Positions = StateFolder;

TEST_F(Positions, RoundTripAndDefaults) {
  struct Case {
    const char* name;
    const char* content;  // nullptr: no file
    uint64_t pos;
    int font;
  } cases[] = {
      {"missing file", nullptr, 0, 40},
      {"both numbers", "123 32\n", 123, 32},
      {"font too large", "123 80\n", 123, 40},
      {"font too small", "7 23\n", 7, 40},
      {"one number", "55\n", 0, 40},
      {"garbage", "abc def\n", 0, 40},
      {"with the numbering", "123 32 WN 2\n", 123, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string book = std::string("/books/") + c.name + ".epub";
    if (c.content) write_file(file(book, ".pos"), c.content);
    int font = -1;
    EXPECT_EQ(ql_load_position(book.c_str(), &font), c.pos);
    EXPECT_EQ(font, c.font);
  }
  ASSERT_TRUE(ql_save_position("/books/a.epub", 987654321012ULL, 48));
  EXPECT_EQ(read_file(file("/books/a.epub", ".pos")), "987654321012 48 WN 2\n");
  int font = 0;
  EXPECT_EQ(ql_load_position("/books/a.epub", &font), 987654321012ULL);
  EXPECT_EQ(font, 48);
}

TEST_F(Positions, FailedSaveIsReportedAndKeepsTheOldFile) {
  ASSERT_TRUE(ql_save_position("/b.epub", 10, 40));
  {
    const FileSizeLimit full(0);  // a full storage makes the write fail
    EXPECT_FALSE(ql_save_position("/b.epub", 20, 40));
  }
  EXPECT_EQ(read_file(file("/b.epub", ".pos")), "10 40 WN 2\n");
  unsetenv("QUILLO_STATE");
  setenv("QUILLO_STATE", (dir / "missing-folder").c_str(), 1);
  EXPECT_FALSE(ql_save_position("/b.epub", 30, 40));  // the state folder is not created here
}

using Notes = StateFolder;

TEST_F(Notes, RoundTripKeepsEveryField) {
  const char* book = "/mnt/us/documents/Book.epub";
  qla_load(book);
  EXPECT_EQ(qla_hl_count(), 0u);
  std::string note511(511, 'n');
  EXPECT_EQ(qla_hl_add(5, 5, "empty range"), 0);
  ASSERT_EQ(qla_hl_add(10, 20, "a note with spaces"), 1);
  ASSERT_EQ(qla_hl_add(30, 31, nullptr), 1);
  ASSERT_EQ(qla_hl_add(40, 45, (note511 + "cut").c_str()), 1);
  ASSERT_EQ(qla_hl_add(50, 51, "two\nlines\r"), 1);
  ASSERT_EQ(qla_bm_add(3, nullptr, 0), 1);
  ASSERT_EQ(qla_bm_add(1234, "", 1), 1);
  ASSERT_EQ(qla_bm_add(7, "Page 8", 0), 1);
  qla_bm_set_tok(2, 99);
  ASSERT_TRUE(qla_save(book));
  EXPECT_EQ(std::string(qla_book_key()), file(book, ".notes"));

  qla_load(book);
  ASSERT_EQ(qla_hl_count(), 4u);
  EXPECT_STREQ(qla_hls()[0].note, "a note with spaces");
  EXPECT_EQ(qla_hls()[0].start, 10u);
  EXPECT_EQ(qla_hls()[0].end, 20u);
  EXPECT_EQ(qla_hls()[0].style, 'y');
  EXPECT_GT(qla_hls()[0].created, 1600000000);
  EXPECT_STREQ(qla_hls()[1].note, "");
  EXPECT_EQ(std::string(qla_hls()[2].note), note511);
  EXPECT_STREQ(qla_hls()[3].note, "two lines ");
  ASSERT_EQ(qla_bm_count(), 3u);
  EXPECT_STREQ(qla_bms()[0].label, "Bookmark");
  EXPECT_EQ(qla_bms()[0].is_tok, 0u);
  EXPECT_STREQ(qla_bms()[1].label, "");
  EXPECT_EQ(qla_bms()[1].is_tok, 1u);
  EXPECT_EQ(qla_bms()[1].pos, 1234u);
  EXPECT_EQ(qla_bms()[2].pos, 99u);
  EXPECT_EQ(qla_bms()[2].is_tok, 1u);
  EXPECT_STREQ(qla_bms()[2].label, "Page 8");

  qla_hl_del(0);
  qla_hl_del(17);
  qla_bm_del(1);
  EXPECT_EQ(qla_hl_count(), 3u);
  EXPECT_STREQ(qla_hls()[0].note, "");
  EXPECT_EQ(qla_hl_set_note(2, "edited"), 1);
  EXPECT_EQ(qla_hl_set_note(3, "none"), 0);
  EXPECT_EQ(qla_bm_count(), 2u);
  EXPECT_STREQ(qla_bms()[1].label, "Page 8");
}

TEST_F(Notes, FileFormatLimitsAndMalformedLines) {
  std::string text = "HL 1 2 1700000000 y first note\nBM 4 1700000001 Chapter 2\nBT 9 1700000002 \n"
                     "XX ignored\nHL bad line\nBM 5\nHL 3 4 1700000003 g \n";
  for (int i = 0; i < 600; i++) text += "HL 100 101 1700000000 y n" + std::to_string(i) + "\n";
  for (int i = 0; i < 200; i++) text += "BM " + std::to_string(i) + " 1700000000 b\n";
  write_file(file("/x.epub", ".notes"), text);
  qla_load("/x.epub");
  ASSERT_EQ(qla_hl_count(), 512u);
  EXPECT_STREQ(qla_hls()[0].note, "first note");
  EXPECT_EQ(qla_hls()[1].style, 'g');
  EXPECT_STREQ(qla_hls()[1].note, "");
  EXPECT_STREQ(qla_hls()[511].note, "n509");
  ASSERT_EQ(qla_bm_count(), 128u);
  EXPECT_STREQ(qla_bms()[0].label, "Chapter 2");
  EXPECT_EQ(qla_bms()[1].is_tok, 1u);
  EXPECT_STREQ(qla_bms()[1].label, "");
  EXPECT_EQ(qla_hl_add(1, 2, "full"), 0);
  EXPECT_EQ(qla_bm_add(1, "full", 0), 0);

  ASSERT_TRUE(qla_save("/x.epub"));
  std::string saved = read_file(file("/x.epub", ".notes"));
  EXPECT_TRUE(saved.starts_with("WN 2\nHL 1 2 1700000000 y first note\nHL 3 4 1700000003 g \nHL 100 101"));
  EXPECT_NE(saved.find("\nBM 4 1700000001 Chapter 2\nBT 9 1700000002 \n"), std::string::npos);
}

TEST_F(Notes, LegacyFileIsReadAndLeftAlone) {
  std::string legacy = "HL 7 9 1600000000 y old note\nBM 2 1600000000 Old mark\n";
  write_file(dir / "Old Book.epub.ann", legacy);
  qla_load("/mnt/us/documents/sub/Old Book.epub");
  ASSERT_EQ(qla_hl_count(), 1u);
  EXPECT_STREQ(qla_hls()[0].note, "old note");
  ASSERT_EQ(qla_bm_count(), 1u);
  ASSERT_TRUE(qla_save("/mnt/us/documents/sub/Old Book.epub"));
  EXPECT_EQ(read_file(dir / "Old Book.epub.ann"), legacy);
  EXPECT_EQ(read_file(file("/mnt/us/documents/sub/Old Book.epub", ".notes")), "WN 2\n" + legacy);
}

TEST_F(Notes, FailedSaveIsReportedAndKeepsTheOldFile) {
  qla_load("/y.epub");
  qla_hl_add(1, 2, "kept");
  ASSERT_TRUE(qla_save("/y.epub"));
  std::string before = read_file(file("/y.epub", ".notes"));
  qla_hl_add(3, 4, "lost");
  {
    const FileSizeLimit full(0);
    EXPECT_FALSE(qla_save("/y.epub"));
  }
  EXPECT_EQ(read_file(file("/y.epub", ".notes")), before);
  // The notes that failed are held, and written once the file can be.
  EXPECT_EQ(held_files_write(), 0u);
  EXPECT_NE(read_file(file("/y.epub", ".notes")).find("lost"), std::string::npos);

  // The state folder is created when missing.
  setenv("QUILLO_STATE", (dir / "new-state").c_str(), 1);
  EXPECT_TRUE(qla_save("/y.epub"));
  EXPECT_TRUE(file_exists(dir / ("new-state/" + book_path_key("/y.epub") + ".notes")));
}

// Six kept words; the readers before hidden text was left out numbered the book
// L L k0 k1 k2 L k3 k4 k5 L L (L: a word left out now).
BookModel renumbered_book() {
  BookModel book;
  book.left_out_add(2);
  for (const char* w : {"k0", "k1", "k2"}) book.addword(w, STYLE_PLAIN, BRK_NONE);
  book.left_out_add(1);
  for (const char* w : {"k3", "k4", "k5"}) book.addword(w, STYLE_PLAIN, BRK_NONE);
  book.left_out_add(2);
  return book;
}

TEST(OldWordNumbering, RangesMoveOntoTheWordsKeptNowAndKeepOne) {
  const BookModel book = renumbered_book();
  struct Case {
    const char* name;
    uint64_t start, end, want_start, want_end;
  } cases[] = {
      {"kept words", 3, 5, 1, 3},
      {"starting on left-out words", 0, 4, 0, 2},
      {"across a left-out word", 4, 7, 2, 4},
      {"left-out words before the first kept word", 0, 2, 0, 1},
      {"a left-out word between kept ones", 5, 6, 3, 4},
      {"left-out words that end the book", 9, 11, 5, 6},
      {"the last kept word and what follows", 8, 11, 5, 6},
      {"an empty range stays empty", 6, 6, 3, 3},
      {"past the end", 20, 25, 15, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t start = c.start, end = c.end;
    book.range_from_old(start, end);
    EXPECT_EQ(start, c.want_start);
    EXPECT_EQ(end, c.want_end);
  }
  const uint64_t words[][2] = {{0, 0}, {1, 0}, {2, 0}, {4, 2}, {5, 3}, {6, 3}, {8, 5}, {9, 6}, {11, 6}, {100, 95}};
  for (const auto& [from, to] : words) EXPECT_EQ(book.word_from_old(from), to) << from;

  BookModel whole;
  for (const char* w : {"a", "b", "c"}) whole.addword(w, STYLE_PLAIN, BRK_NONE);
  uint64_t start = 1, end = 3;
  whole.range_from_old(start, end);
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 3u);
  EXPECT_EQ(whole.word_from_old(7), 7u);
}

using Renumbering = StateFolder;

// Files without the numbering (written before words were left out, or the older ".ann") move
// their word positions once; files with it, and pages, stay.
TEST_F(Renumbering, WordPositionsOfEarlierFilesMoveOnceAndPagesStay) {
  const BookModel book = renumbered_book();
  const std::string old_notes = "HL 3 5 1700000000 y kept\nHL 5 6 1700000001 y a page number\n"
                                "HL 9 11 1700000002 y at the end\nBM 5 1700000003 Page 6\n"
                                "BT 6 1700000004 Page 2\n";
  struct Case {
    const char* name;
    std::string file;  // suffix of the file written
    std::string content;
    std::vector<uint64_t> want;  // highlight starts and ends, then bookmark positions
  } cases[] = {
      {"earlier notes", ".notes", old_notes, {1, 3, 3, 4, 5, 6, 5, 3}},
      {"earlier notes in the older file", ".ann", old_notes, {1, 3, 3, 4, 5, 6, 5, 3}},
      {"notes in this numbering", ".notes", "WN 2\n" + old_notes, {3, 5, 5, 6, 9, 11, 5, 6}},
      {"a later numbering stays too", ".notes", old_notes + "WN 3\n", {3, 5, 5, 6, 9, 11, 5, 6}},
  };
  auto loaded = [] {
    std::vector<uint64_t> out;
    for (size_t i = 0; i < qla_hl_count(); ++i) {
      out.push_back(qla_hls()[i].start);
      out.push_back(qla_hls()[i].end);
    }
    for (size_t i = 0; i < qla_bm_count(); ++i) out.push_back(qla_bms()[i].pos);
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("/books/") + c.name + ".epub";
    write_file(c.file == ".ann" ? dir / (std::string(c.name) + ".epub.ann") : file(path, ".notes"), c.content);
    qla_load(path.c_str(), &book);
    EXPECT_EQ(loaded(), c.want);
    EXPECT_STREQ(qla_hls()[1].note, "a page number");
    ASSERT_TRUE(qla_save(path.c_str()));
    EXPECT_TRUE(read_file(file(path, ".notes")).starts_with("WN 2\nHL "));
    qla_load(path.c_str(), &book);
    EXPECT_EQ(loaded(), c.want) << "moved once only";
  }

  struct PositionCase {
    const char* name;
    const char* content;
    uint64_t saved, want;
  } positions[] = {
      {"earlier position on a left-out word", "5 40\n", 5, 3},
      {"earlier position past the last word", "10 40\n", 10, 6},
      {"position in this numbering", "5 40 WN 2\n", 5, 5},
  };
  for (const PositionCase& c : positions) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("/books/") + c.name + ".epub";
    write_file(file(path, ".pos"), c.content);
    int font = 0;
    EXPECT_EQ(ql_load_position(path.c_str(), &font, &book), c.want);
    EXPECT_EQ(font, 40);
    EXPECT_EQ(ql_load_position(path.c_str(), &font), c.saved) << "without the book: as it stands";
  }
}

// What this build writes still reads with the plain formats: two numbers on the position line,
// and a notes file whose lines other than highlights and bookmarks are passed over.
TEST_F(Renumbering, FilesReadWithThePlainFormats) {
  ASSERT_TRUE(ql_save_position("/p.epub", 4321, 36));
  size_t pos = 0;
  int font = 0;
  EXPECT_EQ(sscanf(read_file(file("/p.epub", ".pos")).c_str(), "%zu %d", &pos, &font), 2);
  EXPECT_EQ(pos, 4321u);
  EXPECT_EQ(font, 36);

  qla_load("/p.epub");
  ASSERT_EQ(qla_hl_count(), 0u);
  ASSERT_EQ(qla_hl_add(12, 15, "a note"), 1);
  ASSERT_EQ(qla_bm_add(40, "Page 3", 1), 1);
  ASSERT_EQ(qla_bm_add(2, "", 0), 1);
  ASSERT_TRUE(qla_save("/p.epub"));
  std::istringstream notes(read_file(file("/p.epub", ".notes")));
  std::vector<std::string> records, passed_over;
  for (std::string line; std::getline(notes, line);) {
    unsigned long a = 0, b = 0;
    long long created = 0;
    char style = 0;
    char text[512] = "";
    const std::string head = line.substr(0, 3);
    if (head == "HL " && sscanf(line.c_str() + 3, "%lu %lu %lld %c %511[^\n]", &a, &b, &created, &style, text) >= 4) {
      records.push_back("HL " + std::to_string(a) + " " + std::to_string(b) + " " + style + " " + text);
    } else if ((head == "BM " || head == "BT ") && sscanf(line.c_str() + 3, "%lu %lld %127[^\n]", &a, &created, text) >= 2) {
      records.push_back(head + std::to_string(a) + " " + text);
    } else {
      passed_over.push_back(line);
    }
  }
  EXPECT_EQ(records, (std::vector<std::string>{"HL 12 15 y a note", "BT 40 Page 3", "BM 2 "}));
  EXPECT_EQ(passed_over, std::vector<std::string>{"WN 2"});
}

}  // namespace
