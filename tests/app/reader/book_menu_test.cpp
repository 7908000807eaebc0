// The book menu driven with scripted touches on a book built here, and the "My Clippings" export
// it starts, compared byte for byte with the expected file (creation times masked).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/reader/book_menu.h"
#include "app/reader/clippings_export.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_open.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_list_menu.h"
#include "book/annotations.h"
#include "app/reader/region_note.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "library/library_view.h"
#include "library/progress_index.h"
#include "support/epub_builder.h"
#include "support/pdf_builder.h"
#include "support/reader_book.h"
#include "support/ui_screen_fixture.h"
#include "support/file_size_limit.h"

namespace {
constexpr int kRowTop = 226;

int menu_row_y(int slot) { return kRowTop + slot * kListMenuRowHeight + kListMenuRowHeight / 2; }

std::string body(int c) {
  std::string text = "<h1>Part " + std::to_string(c) + "</h1>";
  for (int p = 0; p < 40; ++p)
    text += "<p>calm water under the old bridge at dusk, and the " + std::to_string(p) + " lamps.</p>";
  return text;
}

class BookMenu : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    path_ = root_.host("us/Tide: Notes.epub");
    write_file(path_, build_epub(simple_book({body(1), body(2)})));
    book_open(path_.c_str(), path_.size());
    ASSERT_TRUE(app.reader.book_open);
    std::filesystem::create_directories(root_.host("us/documents"));
    ASSERT_GT(layout.page_count(), 4u);
  }
  void TearDown() override {
    close_test_book();
    ScreenTest::TearDown();
  }
  void choose(int row) {
    touches_.touch(300, menu_row_y(row));
    ASSERT_NO_THROW(book_menu());
  }
  std::string exported() const {
    std::string text = read_file(root_.host("us/documents/Clippings/Tide_ Notes.txt"));
    // Creation times are the clock's: each becomes "S".
    static constexpr std::string_view kAdded = "Added on ";
    for (size_t at = text.find(kAdded); at != std::string::npos; at = text.find(kAdded, at + 1)) {
      const size_t digits = at + kAdded.size();
      const size_t after = text.find_first_not_of("0123456789", digits);
      text.replace(digits, after - digits, 1, 'S');
    }
    return text;
  }

  std::string path_;
};

TEST(ClippingsFileName, KeepsTheNameReadableAndSafe) {
  const struct {
    std::string path, name;
  } cases[] = {
      {"/mnt/us/documents/War and Peace.epub", "War and Peace"},
      {"/mnt/us/documents/notes.backup", "notes.backup"},
      {"/b/a:b\\c.epub", "a_b_c"},
      {"/b/.hidden", ".hidden"},
      {"/b/tab\there.txt", "tab_here"},
      // 149 bytes, then a two-byte character that would cross the 150-byte limit.
      {"/b/" + std::string(149, 'a') + "\xC3\xA9" + "z.epub", std::string(149, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(clippings_file_name(c.path), c.name);
  }
}

TEST_F(BookMenu, BackDoesNothing) {
  app.reader.page = 3;
  touches_.touch(111, 150);
  ASSERT_NO_THROW(book_menu());
  EXPECT_EQ(app.reader.page, 3u);
  EXPECT_FALSE(app.reader.back_valid);
  EXPECT_EQ(app.view, AppView::Reader);
}

TEST_F(BookMenu, GoToBeginningLeavesTheBackMark) {
  app.reader.page = 4;
  choose(1);
  EXPECT_EQ(app.reader.page, 0u);
  EXPECT_TRUE(app.reader.back_valid);
  EXPECT_EQ(app.reader.back_page, 4u);
}

TEST_F(BookMenu, MarkAsReadCreatesTheRecordAndSavesIt) {
  choose(3);
  const ProgressRecord* record = library_find_record("Tide: Notes.epub", 16);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->percent, 100);
  EXPECT_EQ(record->read, 1);
  EXPECT_NE(read_file(root_.host("us/ql/state/library.tsv")).find("Tide: Notes.epub"), std::string::npos);
}

TEST_F(BookMenu, CloseBookReturnsToTheLibraryNamingTheBook) {
  touches_.touch(W() - 100, H() - 40);  // the pager: "Close book" is on the second page
  choose(0);
  EXPECT_EQ(app.view, AppView::Library);
  EXPECT_FALSE(app.present.clean);
  EXPECT_STREQ(library.closed_name, "Tide: Notes.epub");
}

TEST_F(BookMenu, ExportWritesMyClippings) {
  const uint64_t far = layout.page_first_word(3) + 1;
  ASSERT_EQ(qla_hl_add(2, 5, "worth keeping"), 1);
  ASSERT_EQ(qla_hl_add(far, far + 2, "mark"), 1);
  ASSERT_EQ(qla_hl_add(far + 3, far + 4, ""), 1);
  ASSERT_EQ(qla_bm_add(3, "", 0), 1);
  touches_.touch(300, menu_row_y(4));
  touches_.touch(300, 300);  // ends the toast's wait
  ASSERT_NO_THROW(book_menu());
  const std::string words = std::string(ql_words()[2].text) + " " + ql_words()[3].text + " " +
                            ql_words()[4].text;
  const std::string far_words = std::string(ql_words()[far].text) + " " + ql_words()[far + 1].text;
  const std::string head = "Test Book (A. Writer)\r\n- Your ";
  const std::string end = "\r\n==========\r\n";
  const std::string expected =
      "\xEF\xBB\xBF" + head + "Highlight on page 1 | Added on S\r\n\r\n" + words + end + head +
      "Note on page 1 | Added on S\r\n\r\nworth keeping" + end + head +
      "Highlight on page 4 | Added on S\r\n\r\n" + far_words + end + head +
      "Highlight on page 4 | Added on S\r\n\r\n" + ql_words()[far + 3].text + end + head +
      "Bookmark on page 4 | Added on S\r\n\r\n" + end;
  EXPECT_EQ(exported(), expected);
}

TEST_F(BookMenu, ExportLeavesOutSoftHyphens) {
  close_test_book();
  const std::string path = root_.host("us/Marked.epub");
  write_file(path, build_epub(simple_book({"<p>an in\xC2\xAD" "de&#173;pen\xC2\xAD" "dent mind</p>"})));
  book_open(path.c_str(), path.size());
  ASSERT_TRUE(app.reader.book_open);
  ASSERT_EQ(qla_hl_add(0, 3, ""), 1);
  ASSERT_TRUE(export_clippings());
  const std::string text = read_file(root_.host("us/documents/Clippings/Marked.txt"));
  EXPECT_NE(text.find("\r\n\r\nan independent mind\r\n"), std::string::npos) << text;
}

TEST_F(BookMenu, ExportWithoutPaginationCountsFromPageOne) {
  ASSERT_EQ(qla_hl_add(40, 42, ""), 1);
  layout = PageTable{};
  ASSERT_TRUE(export_clippings());
  EXPECT_NE(exported().find("Highlight on page 1 |"), std::string::npos);
}

TEST_F(BookMenu, BookWithoutMarksExportsAnEmptyFile) {
  ASSERT_TRUE(export_clippings());
  EXPECT_EQ(exported(), "");
}
TEST_F(BookMenu, FailedExportKeepsTheEarlierFile) {
  ASSERT_EQ(qla_hl_add(2, 4, ""), 1);
  ASSERT_TRUE(export_clippings());
  const std::string before = exported();
  ASSERT_EQ(qla_hl_add(6, 8, ""), 1);
  touches_.touch(300, menu_row_y(4));
  touches_.touch(300, 300);
  {
    const FileSizeLimit full(0);  // the new file cannot be written
    ASSERT_NO_THROW(book_menu());
  }
  EXPECT_EQ(exported(), before);
}
// A PDF highlight exports the word its region note holds and no note entry; a page note gets one.
using PdfExport = ScreenTest;

TEST_F(PdfExport, TakesTheRegionWordAndThePageNumber) {
  PdfPlan plan;
  for (int p = 0; p < 3; ++p) plan.pages.push_back({612, 792, 0, {{72, 300, 24, "Plain page"}}});
  const std::string path = root_.host("us/documents/Scan.pdf");
  std::filesystem::create_directories(root_.host("us/documents"));
  write_file(path, build_pdf(plan));
  book_open(path.c_str(), path.size());
  ASSERT_TRUE(app.reader.book_open);
  ASSERT_EQ(qla_hl_add(1, 2, note_format_region(10, 20, 30, 40, "comet").c_str()), 1);
  ASSERT_EQ(qla_hl_add(2, 3, "see this"), 1);
  const bool written = export_clippings();
  const std::string text = read_file(root_.host("us/documents/Clippings/Scan.txt"));
  app.reader.book_open = false;
  ql_book_replace(BookModel{});
  qlpdf_close();
  ASSERT_TRUE(written);
  EXPECT_NE(text.find("Highlight on page 2 | Added on "), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\ncomet\r\n==========\r\n"), std::string::npos);
  EXPECT_EQ(text.find("@r"), std::string::npos);
  EXPECT_NE(text.find("Note on page 3 | Added on "), std::string::npos);
  EXPECT_NE(text.find("\r\n\r\nsee this\r\n"), std::string::npos);
}
}  // namespace
