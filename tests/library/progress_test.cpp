#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "book/annotations.h"
#include "library_fixture.h"
#include "support/file_size_limit.h"

namespace {

// A text book "open" in the reader: `pages` pages of 10 lines, each line 7 words.
void open_text_book(const std::string& path, uint64_t pages, uint64_t page) {
  layout = PageTable{};
  layout.font_px = 44;
  for (uint64_t i = 0; i < pages * 10; i++) {
    layout.lines.push_back(LayoutLine{i * 7, i * 7 + 7, 6, 0, 0, 0, 0, false});
  }
  for (uint64_t p = 0; p < pages; p++) layout.page_starts.push_back(p * 10);
  app.reader.book_open = true;
  app.reader.page = page;
  snprintf(app.reader.open_path, sizeof app.reader.open_path, "%s", path.c_str());
}

const ProgressRecord* record(const std::string& name) {
  return library_find_record(name.data(), name.size());
}

}  // namespace

TEST(Progress, PercentFromThePage) {
  struct Case {
    uint64_t pages, page;
    int percent;
    int read;
  } cases[] = {
      {3, 0, 33, 0}, {3, 1, 66, 0}, {3, 2, 100, 1}, {1, 0, 100, 1},
      {200, 0, 0, 0}, {200, 198, 99, 0}, {200, 199, 100, 1},
      // A page past the end still counts as finished, never more than 100 %.
      {4, 9, 100, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.page) + " of " + std::to_string(c.pages));
    LibraryRoot root;
    open_text_book("/mnt/us/documents/sub/Book.epub", c.pages, c.page);
    EXPECT_TRUE(library_record_progress() || c.percent == 0);
    const ProgressRecord* r = record("Book.epub");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->percent, c.percent);
    EXPECT_EQ(r->read, c.read);
    EXPECT_FALSE(library_record_progress());  // nothing changed the second time
  }
}

TEST(Progress, SavesThePositionOfThePage) {
  LibraryRoot root;
  const std::string path = "/mnt/us/documents/Book.epub";
  open_text_book(path, 5, 3);
  library_record_progress();
  int font = 0;
  EXPECT_EQ(ql_load_position(path.c_str(), &font), 3u * 10 * 7);
  EXPECT_EQ(font, 44);
  // A page outside the layout saves position 0.
  app.reader.page = 50;
  library_record_progress();
  EXPECT_EQ(ql_load_position(path.c_str(), &font), 0u);
}

TEST(Progress, ReadingNeverClearsTheReadFlag) {
  LibraryRoot root;
  open_text_book("/mnt/us/documents/Done.epub", 200, 199);
  library_record_progress();
  app.reader.page = 1;
  EXPECT_TRUE(library_record_progress());
  EXPECT_EQ(record("Done.epub")->percent, 1);
  EXPECT_EQ(record("Done.epub")->read, 1);
}

TEST(Progress, NoBookOpen) {
  LibraryRoot root;
  EXPECT_FALSE(library_record_progress());
  EXPECT_EQ(progress.count, 0u);
}

TEST(Progress, SameFileNameInTwoFoldersSharesARecord) {
  LibraryRoot root;
  open_text_book("/mnt/us/documents/a/Same.epub", 4, 1);
  library_record_progress();
  open_text_book("/mnt/us/documents/b/Same.epub", 4, 2);
  library_record_progress();
  EXPECT_EQ(progress.count, 1u);
  EXPECT_EQ(record("Same.epub")->percent, 75);
}

TEST(Progress, LongNamesMatchByTheirFirst199Bytes) {
  LibraryRoot root;
  const std::string name(250, 'n');
  open_text_book("/mnt/us/documents/" + name, 2, 0);
  library_record_progress();
  EXPECT_EQ(strlen(progress.records[0].name), kProgressNameMax);
  EXPECT_EQ(record(name.substr(0, 199) + "different tail"), &progress.records[0]);
  library_index_save();
  progress.count = 0;
  library_index_load();
  ASSERT_EQ(progress.count, 1u);
  EXPECT_EQ(record(name)->percent, 50);
}

TEST(Progress, LoadingLines) {
  struct Case {
    const char* text;
    const char* name;
    int percent;
    int read;
  } cases[] = {
      {"Book.epub\t150\t1\n", "Book.epub", 150, 1},
      {"Book.epub\tabc\t1\n", "Book.epub", 0, 1},
      {"Book.epub\n", "Book.epub", 0, 0},
      {"Book.epub\t42\n", "Book.epub", 42, 0},
      {"Book.epub\t+1_0\t0\n", "Book.epub", 10, 0},
      {"Book.epub\t256\t1\n", "Book.epub", 0, 1},
      {"Book.epub\t-1\t1\n", "Book.epub", 0, 1},
      {"Book.epub\t7\t1 \r\n", "Book.epub", 7, 1},
      {"Book.epub\t7\t11\n", "Book.epub", 7, 0},
      {"Book.epub\t7\t1\textra\n", "Book.epub", 7, 1},
      {"Book.epub\t7\t0\nBook.epub\t9\t1\n", "Book.epub", 9, 1},
      {"\n   \nBook.epub\t3\t0", "Book.epub", 3, 0},
      {"Tab\\there.epub\t5\t0\n", "Tab\there.epub", 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LibraryRoot root;
    write_file(root.state("library.tsv"), c.text);
    library_index_load();
    ASSERT_EQ(progress.count, 1u);
    const ProgressRecord* r = record(c.name);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->percent, c.percent);
    EXPECT_EQ(r->read, c.read);
  }
}

// A damaged line whose name holds a NUL byte: the record keeps the name up to it, and a lookup of
// that name finds it, so such lines never make duplicate records that the next save and load
// would merge (found by fuzzing: the table shrank on every round trip).
TEST(Progress, NameCutAtANulByte) {
  LibraryRoot root;
  using namespace std::string_literals;
  const std::string text = "Book.epub\0junk\t4\t0\nBook.epub\0other\t9\t1\nBook.epub\t7\t0\n"s;
  write_file(root.state("library.tsv"), text);
  library_index_load();
  ASSERT_EQ(progress.count, 1u);
  EXPECT_STREQ(progress.records[0].name, "Book.epub");
  EXPECT_EQ(progress.records[0].percent, 7);
  EXPECT_EQ(progress.records[0].read, 0);
  library_index_save();
  EXPECT_EQ(read_file(root.state("library.tsv")), "Book.epub\t7\t0\n");
}

TEST(Progress, RoundTripThroughTheFile) {
  LibraryRoot root;
  const char* names[] = {"a.epub", "Tab\tin name.epub", "line\nbreak.pdf", "back\\slash.txt", "b.epub"};
  for (size_t i = 0; i < std::size(names); i++) {
    ProgressRecord& r = library_record_for(names[i], strlen(names[i]));
    r.percent = static_cast<uint8_t>(i * 20);
    r.read = i % 2;
  }
  library_index_save();
  EXPECT_EQ(line_count(root.state("library.tsv")), std::size(names));
  EXPECT_EQ(read_file(root.state("library.tsv")).substr(0, 11), "a.epub\t0\t0\n");
  progress.count = 0;
  library_index_load();
  ASSERT_EQ(progress.count, std::size(names));
  for (size_t i = 0; i < std::size(names); i++) {
    SCOPED_TRACE(names[i]);
    EXPECT_STREQ(progress.records[i].name, names[i]);
    EXPECT_EQ(progress.records[i].percent, i * 20);
    EXPECT_EQ(progress.records[i].read, i % 2);
  }
  // An empty table gives an empty file; a missing file an empty table.
  progress.count = 0;
  library_index_save();
  EXPECT_EQ(read_file(root.state("library.tsv")), "");
  unlink(root.state("library.tsv").c_str());
  progress.count = 2;
  library_index_load();
  EXPECT_EQ(progress.count, 0u);
}

TEST(Progress, FailedSaveKeepsTheOldFile) {
  LibraryRoot root;
  write_file(root.state("library.tsv"), "old.epub\t5\t0\n");
  library_record_for("new.epub", 8);
  const FileSizeLimit full(0);
  library_index_save();
  EXPECT_EQ(read_file(root.state("library.tsv")), "old.epub\t5\t0\n");
}

TEST(Progress, FullTableLendsNoValues) {
  LibraryRoot root;
  for (size_t i = 0; i < kMaxProgressRecords; i++) {
    std::string name = "book" + std::to_string(i);
    library_record_for(name.data(), name.size());
  }
  open_text_book("/mnt/us/documents/First.epub", 4, 3);
  library_record_progress();
  EXPECT_EQ(record("First.epub"), nullptr);
  // A second book beyond the table starts from nothing, not from the first one's values.
  ProgressRecord& second = library_record_for("Second.epub", 11);
  EXPECT_EQ(second.percent, 0);
  EXPECT_EQ(second.read, 0);
  EXPECT_STREQ(second.name, "Second.epub");
  library_index_save();
  EXPECT_EQ(line_count(root.state("library.tsv")), kMaxProgressRecords);
  // Loading a longer file keeps the first 3000.
  write_file(root.state("library.tsv"), read_file(root.state("library.tsv")) + "extra\t9\t1\n");
  library_index_load();
  EXPECT_EQ(progress.count, kMaxProgressRecords);
  EXPECT_EQ(record("extra"), nullptr);
}

TEST(Progress, CloseSavesAndPutsTheBookFirst) {
  LibraryRoot root;
  root.put("Alpha.txt", "x");
  root.put("Closed.txt", "x");
  library_rescan_documents();
  open_text_book("/mnt/us/documents/Closed.txt", 2, 1);
  app.present.clean = true;
  app.view = AppView::Reader;
  app.reader.position_dirty = true;
  book_close();
  EXPECT_EQ(app.view, AppView::Library);
  EXPECT_FALSE(app.reader.position_dirty);
  EXPECT_STREQ(library.closed_name, "Closed.txt");
  EXPECT_EQ(read_file(root.state("library.tsv")), "Closed.txt\t100\t1\n");
  EXPECT_FALSE(app.present.clean);
  EXPECT_TRUE(app.reader.book_open);  // the book stays loaded
  ASSERT_EQ(library.view_count, 2u);
  EXPECT_EQ(ql_entries()[library.view_list[0]].title, "Closed.txt");
}

TEST(Progress, ClosingOrSavingAllLeavesNoSpareOfTheTurns) {
  struct Case {
    const char* name;
    void (*finish)();
  } cases[] = {
      {"the book closed", book_close},
      {"everything saved", app_persist_all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryRoot root;
    open_text_book("/mnt/us/documents/Turned.epub", 40, 0);
    // Turns as the main loop saves them: every tenth records the progress too.
    for (uint64_t page = 1; page <= 12; ++page) {
      app.reader.page = page;
      if (library_record_progress()) library_index_save();
    }
    c.finish();
    for (const std::string& name : everything_below(root.state(""))) {
      EXPECT_FALSE(name.ends_with(".tmp")) << name;
    }
    EXPECT_EQ(ql_load_position("/mnt/us/documents/Turned.epub", nullptr), 12u * 10 * 7);
  }
}

TEST(Progress, PersistAllWritesEveryStateFile) {
  LibraryRoot root;
  open_text_book("/mnt/us/documents/Open.epub", 10, 4);
  ui_state.sort = SORT_AUTHOR;
  settings.font = 77;
  app.present.clean = true;
  app_persist_all_and_refresh();
  EXPECT_FALSE(app.present.clean);
  EXPECT_EQ(read_file(root.state("library.tsv")), "Open.epub\t50\t0\n");
  EXPECT_NE(read_file(root.state("ui.txt")).find("sort=2"), std::string::npos);
  EXPECT_NE(read_file(root.state("settings.txt")).find("font=77"), std::string::npos);
  EXPECT_TRUE(file_exists(root.state(book_path_key("/mnt/us/documents/Open.epub") + ".pos")));
}
