#include "library/bundled_books.h"

#include <gtest/gtest.h>

#include <string>

#include "library_fixture.h"

namespace {

void put_sample(const LibraryRoot& root, const std::string& name) {
  write_file(root.host("us/ql/bundled/" + name), "sample " + name);
}

}  // namespace

TEST(SampleBooks, SeededOnceAndNeverBroughtBack) {
  LibraryRoot root;
  put_sample(root, "Welcome.epub");
  put_sample(root, "Guide.epub");
  bundled_books_seed();
  EXPECT_EQ(read_file(root.doc("Welcome.epub")), "sample Welcome.epub");
  EXPECT_EQ(read_file(root.doc("Guide.epub")), "sample Guide.epub");
  EXPECT_EQ(read_file(root.state("bundled.txt")), "Guide.epub\nWelcome.epub\n");
  // The user deletes one; the next start leaves it deleted and records nothing twice.
  unlink(root.doc("Welcome.epub").c_str());
  bundled_books_seed();
  EXPECT_FALSE(file_exists(root.doc("Welcome.epub")));
  EXPECT_EQ(read_file(root.state("bundled.txt")), "Guide.epub\nWelcome.epub\n");
}

TEST(SampleBooks, UsersOwnFileOfTheSameNameIsKept) {
  LibraryRoot root;
  put_sample(root, "Welcome.epub");
  root.put("Welcome.epub", "mine");
  bundled_books_seed();
  EXPECT_EQ(read_file(root.doc("Welcome.epub")), "mine");
  EXPECT_EQ(read_file(root.state("bundled.txt")), "Welcome.epub\n");
}

TEST(SampleBooks, RecordLinesWithCarriageReturnsStillMatch) {
  LibraryRoot root;
  put_sample(root, "Welcome.epub");
  put_sample(root, "Guide.epub");
  write_file(root.state("bundled.txt"), "Welcome.epub \r\n");
  bundled_books_seed();
  EXPECT_FALSE(file_exists(root.doc("Welcome.epub")));
  EXPECT_TRUE(file_exists(root.doc("Guide.epub")));
  EXPECT_EQ(read_file(root.state("bundled.txt")), "Welcome.epub \r\nGuide.epub\n");
}

TEST(SampleBooks, SixteenAStart) {
  LibraryRoot root;
  for (int i = 0; i < 20; i++) {
    put_sample(root, std::string("s").append(std::to_string(10 + i)).append(".epub"));
  }
  bundled_books_seed();
  EXPECT_EQ(line_count(root.state("bundled.txt")), kBundledMax);
  EXPECT_TRUE(file_exists(root.doc("s25.epub")));
  EXPECT_FALSE(file_exists(root.doc("s26.epub")));
}

TEST(SampleBooks, NothingToSeed) {
  struct Case {
    const char* name;
    void (*prepare)(const LibraryRoot&);
    bool copied;
  } cases[] = {
      {"empty sample folder", [](const LibraryRoot&) {}, false},
      {"no sample folder",
       [](const LibraryRoot& r) { rmdir(r.host("us/ql/bundled").c_str()); }, false},
      // bundled.txt cannot be opened for appending: nothing is copied.
      {"record unwritable",
       [](const LibraryRoot& r) {
         put_sample(r, "Welcome.epub");
         mkdir(r.state("bundled.txt").c_str(), 0755);
       },
       false},
      // A failed copy is not recorded, so the next start tries again.
      {"copy fails",
       [](const LibraryRoot& r) {
         put_sample(r, "Welcome.epub");
         rmdir(r.host("us/documents").c_str());
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryRoot root;
    c.prepare(root);
    bundled_books_seed();
    EXPECT_EQ(file_exists(root.doc("Welcome.epub")), c.copied);
    EXPECT_EQ(read_file(root.state("bundled.txt")), "");
  }
}

TEST(SampleBooks, WatchStopFileIsCreatedEmpty) {
  LibraryRoot root;
  write_file(root.host("tmp/ql-watch.stop"), "old");
  docs_watch_request_stop();
  EXPECT_EQ(read_file(root.host("tmp/ql-watch.stop")), "");
}
