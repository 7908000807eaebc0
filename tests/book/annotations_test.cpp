#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/held_files.h"
#include "book/annotations.h"
#include "support/temp_dir.h"

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
  EXPECT_EQ(read_file(file("/books/a.epub", ".pos")), "987654321012 48\n");
  int font = 0;
  EXPECT_EQ(ql_load_position("/books/a.epub", &font), 987654321012ULL);
  EXPECT_EQ(font, 48);
}

TEST_F(Positions, FailedSaveIsReportedAndKeepsTheOldFile) {
  ASSERT_TRUE(ql_save_position("/b.epub", 10, 40));
  // A folder where the temporary file must go makes the write fail.
  ASSERT_EQ(mkdir((file("/b.epub", ".pos") + ".tmp").c_str(), 0755), 0);
  EXPECT_FALSE(ql_save_position("/b.epub", 20, 40));
  EXPECT_EQ(read_file(file("/b.epub", ".pos")), "10 40\n");
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
  EXPECT_TRUE(saved.starts_with("HL 1 2 1700000000 y first note\nHL 3 4 1700000003 g \nHL 100 101"));
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
  EXPECT_EQ(read_file(file("/mnt/us/documents/sub/Old Book.epub", ".notes")), legacy);
}

TEST_F(Notes, FailedSaveIsReportedAndKeepsTheOldFile) {
  qla_load("/y.epub");
  qla_hl_add(1, 2, "kept");
  ASSERT_TRUE(qla_save("/y.epub"));
  std::string before = read_file(file("/y.epub", ".notes"));
  qla_hl_add(3, 4, "lost");
  ASSERT_EQ(mkdir((file("/y.epub", ".notes") + ".tmp").c_str(), 0755), 0);
  EXPECT_FALSE(qla_save("/y.epub"));
  EXPECT_EQ(read_file(file("/y.epub", ".notes")), before);
  // The notes that failed are held, and written once the file can be.
  ASSERT_EQ(rmdir((file("/y.epub", ".notes") + ".tmp").c_str()), 0);
  EXPECT_EQ(held_files_write(), 0u);
  EXPECT_NE(read_file(file("/y.epub", ".notes")).find("lost"), std::string::npos);

  // The state folder is created when missing.
  setenv("QUILLO_STATE", (dir / "new-state").c_str(), 1);
  EXPECT_TRUE(qla_save("/y.epub"));
  EXPECT_TRUE(file_exists(dir / ("new-state/" + book_path_key("/y.epub") + ".notes")));
}

}  // namespace
