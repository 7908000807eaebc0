#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "base/held_files.h"
#include "library_fixture.h"
#include "support/file_size_limit.h"

namespace {

using Lines = std::vector<std::string>;

// The tables as the file would list them: "C name" rows, then "M number name" rows.
Lines table_rows() {
  Lines rows;
  for (size_t i = 0; i < collections.count; i++) {
    rows.push_back("C " + std::string(collection_name(i)));
  }
  for (size_t i = 0; i < collections.membership_count; i++) {
    const Membership& m = collections.memberships[i];
    rows.push_back("M " + std::to_string(m.collection) + " " + m.name);
  }
  return rows;
}

bool add(uint64_t collection, const std::string& name) {
  return collection_add_book(collection, name.data(), name.size());
}

bool has(uint64_t collection, const std::string& name) {
  return collection_has_book(collection, name.data(), name.size());
}

}  // namespace

TEST(Collections, SavedFileLoadsBackTheSameTables) {
  LibraryRoot root;
  ASSERT_TRUE(collection_create("Favourites"));
  ASSERT_TRUE(collection_create("To read"));
  ASSERT_TRUE(add(1, "b.epub"));
  ASSERT_TRUE(add(0, "a b.epub"));
  ASSERT_TRUE(add(1, "a b.epub"));
  EXPECT_EQ(read_file(root.state("collections.tsv")),
            "C\tFavourites\nC\tTo read\n"
            "M\tTo read\tb.epub\nM\tFavourites\ta b.epub\nM\tTo read\ta b.epub\n");
  const Lines saved = table_rows();
  collections.count = 0;
  collections.membership_count = 0;
  collections_load();
  EXPECT_EQ(table_rows(), saved);
  EXPECT_TRUE(has(1, "b.epub"));
  EXPECT_FALSE(has(0, "b.epub"));
}

TEST(Collections, LoadKeepsWhatDamagedFilesStillSay) {
  LibraryRoot root;
  const std::string long_name(60, 'n'), long_book(230, 'b');
  struct Case {
    const char* name;
    std::string file;
    Lines rows;
  } cases[] = {
      {"line ends and trailing spaces", "C\tA  \r\nM\tA\tx.epub \r\n", {"C A", "M 0 x.epub"}},
      {"membership before its collection", "M\tA\tx.epub\nC\tA\n", {"C A"}},
      {"membership of no collection", "C\tA\nM\tB\tx.epub\n", {"C A"}},
      {"membership without a book", "C\tA\nM\tA\n", {"C A"}},
      {"unknown and empty lines", "X\tA\n\nc\tB\nC\tA\n", {"C A"}},
      {"fields past the third ignored", "C\tA\tmore\nM\tA\tx.epub\tmore\n", {"C A", "M 0 x.epub"}},
      {"names cut", "C\t" + long_name + "\nM\t" + long_name.substr(0, 47) + "\t" + long_book + "\n",
       {"C " + long_name.substr(0, 47), "M 0 " + long_book.substr(0, 199)}},
      {"first of equal names", "C\tA\nC\tA\nM\tA\tx.epub\n", {"C A", "C A", "M 0 x.epub"}},
      {"no final line feed", "C\tA\nM\tA\tx.epub", {"C A", "M 0 x.epub"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(root.state("collections.tsv"), c.file);
    collections_load();
    EXPECT_EQ(table_rows(), c.rows);
  }
  std::remove(root.state("collections.tsv").c_str());
  collections_load();
  EXPECT_EQ(table_rows(), Lines{});
}

TEST(Collections, HoldThirtyTwoCollectionsAndThreeThousandMemberships) {
  LibraryRoot root;
  std::string file;
  for (int i = 0; i < 33; i++) file += "C\tc" + std::to_string(i) + "\n";
  for (int i = 0; i < 3001; i++) file += "M\tc1\tbook" + std::to_string(i) + ".epub\n";
  write_file(root.state("collections.tsv"), file);
  collections_load();
  EXPECT_EQ(collections.count, 32u);
  EXPECT_EQ(collection_name(31), "c31");
  EXPECT_EQ(collections.membership_count, 3000u);
  EXPECT_TRUE(has(1, "book2999.epub"));
  EXPECT_FALSE(has(1, "book3000.epub"));
  EXPECT_FALSE(collection_create("one more"));
  EXPECT_FALSE(add(0, "book0.epub"));
  EXPECT_EQ(read_file(root.state("collections.tsv")), file);  // refusals write nothing

  collections.membership_count = 0;
  collections_save();
  collections_load();
  EXPECT_EQ(collections.count, 32u);
  EXPECT_EQ(line_count(root.state("collections.tsv")), 32u);
}

TEST(Collections, NamesTheFileCannotKeepAreRefusedOrMended) {
  LibraryRoot root;
  ASSERT_TRUE(collection_create("Poems"));
  struct Case {
    const char* name;
    std::string typed;
    bool created;
  } cases[] = {
      {"taken", "Poems", false},
      {"taken once trailing spaces go", "Poems  ", false},
      {"empty", "", false},
      {"only spaces", "   ", false},
      {"a tab", "a\tb", false},
      {"a line feed", "a\nC\tb", false},
      {"differs in case", "poems", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(collection_create(c.typed), c.created);
  }
  EXPECT_TRUE(collection_create(std::string(50, 'x')));
  EXPECT_EQ(collection_name(2), std::string(47, 'x'));
  EXPECT_FALSE(collection_create(std::string(47, 'x')));
  ASSERT_TRUE(add(0, "x.epub"));
  EXPECT_FALSE(collection_rename(0, "poems"));
  EXPECT_FALSE(collection_rename(0, "Poems"));
  EXPECT_FALSE(collection_rename(7, "Else"));
  EXPECT_TRUE(collection_rename(0, "Verse "));
  collections_load();
  EXPECT_EQ(table_rows(), (Lines{"C Verse", "C poems", "C " + std::string(47, 'x'), "M 0 x.epub"}));
}

TEST(Collections, BookNamesThatWouldSplitARecordNeverJoin) {
  LibraryRoot root;
  ASSERT_TRUE(collection_create("Poems"));
  ASSERT_TRUE(add(0, "a.epub"));
  const std::string saved = read_file(root.state("collections.tsv"));
  const std::string refused[] = {"b\nC\tPhantom.epub", "b\tc.epub", "b\r.epub",
                                 std::string(150, 'n') + "\n" + std::string(100, 'n')};
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(collection_can_hold(name));
    EXPECT_FALSE(add(0, name));
    EXPECT_FALSE(has(0, name));
  }
  // The break lies past the 199 bytes a membership keeps: the kept name is whole.
  const std::string long_name = std::string(199, 'n') + "\n.epub";
  EXPECT_TRUE(collection_can_hold(long_name));
  EXPECT_TRUE(collection_can_hold("b c.epub"));
  EXPECT_EQ(read_file(root.state("collections.tsv")), saved) << "nothing was written";
  collections_load();
  EXPECT_EQ(table_rows(), (Lines{"C Poems", "M 0 a.epub"}));
}

TEST(Collections, MembershipComparesTheFirst199Bytes) {
  LibraryRoot root;
  ASSERT_TRUE(collection_create("A"));
  const std::string book(220, 'q');
  ASSERT_TRUE(add(0, book));
  EXPECT_FALSE(add(0, book.substr(0, 199)));  // the same book once cut
  EXPECT_TRUE(has(0, book.substr(0, 199)));
  EXPECT_FALSE(has(0, book.substr(0, 198)));
  EXPECT_FALSE(add(3, "x.epub"));
  EXPECT_TRUE(collection_remove_book(0, book.data(), book.size()));
  EXPECT_FALSE(collection_remove_book(0, book.data(), book.size()));
  EXPECT_FALSE(has(0, book));
}

TEST(Collections, DeletingRenumbersTheLaterOnes) {
  LibraryRoot root;
  for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(collection_create(name));
  ASSERT_TRUE(add(0, "a.epub"));
  ASSERT_TRUE(add(1, "b.epub"));
  ASSERT_TRUE(add(0, "c.epub"));
  ASSERT_TRUE(add(2, "c.epub"));
  ASSERT_TRUE(collection_delete(0));
  EXPECT_EQ(table_rows(), (Lines{"C B", "C C", "M 1 c.epub", "M 0 b.epub"}));
  EXPECT_EQ(read_file(root.state("collections.tsv")), "C\tB\nC\tC\nM\tC\tc.epub\nM\tB\tb.epub\n");
  EXPECT_FALSE(collection_delete(2));
}

TEST(Collections, DeletingFixesTheCollectionFilter) {
  struct Case {
    const char* name;
    uint8_t filter;
    uint64_t shown, deleted;
    uint8_t filter_after;
    uint64_t shown_after;
  } cases[] = {
      {"the shown one", FILTER_COLLECTION, 1, 1, FILTER_ALL, 0},
      {"an earlier one", FILTER_COLLECTION, 2, 0, FILTER_COLLECTION, 1},
      {"a later one", FILTER_COLLECTION, 0, 2, FILTER_COLLECTION, 0},
      {"another filter", FILTER_UNREAD, 2, 0, FILTER_UNREAD, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryRoot root;
    root.put("a.epub", epub_titled("A", "Kim"));
    root.put("b.epub", epub_titled("B", "Kim"));
    library_rescan_documents();
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(collection_create(name));
    ASSERT_TRUE(add(2, "a.epub"));
    ui_state.filter = c.filter;
    library.filter_collection = c.shown;
    const std::string before = std::string(collection_name(c.shown));
    ASSERT_TRUE(collection_delete(c.deleted));
    EXPECT_EQ(ui_state.filter, c.filter_after);
    EXPECT_EQ(library.filter_collection, c.shown_after);
    if (c.filter_after == FILTER_COLLECTION) {
      EXPECT_EQ(collection_name(c.shown_after), before);
    }
  }
}

TEST(Collections, FailedSaveKeepsTheOldFile) {
  LibraryRoot root;
  ASSERT_TRUE(collection_create("Kept"));
  {
    const FileSizeLimit full(0);
    ASSERT_TRUE(collection_create("Lost"));
    EXPECT_FALSE(collections_save());
  }
  EXPECT_EQ(read_file(root.state("collections.tsv")), "C\tKept\n");
  // What failed is held, and written once the file can be.
  EXPECT_EQ(held_files_write(), 0u);
  EXPECT_EQ(read_file(root.state("collections.tsv")), "C\tKept\nC\tLost\n");
}
