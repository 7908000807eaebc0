// The free-title list: which lines become rows, distinct counts, the built-in fallback, sizes as
// shown, and the file names downloads get.
#include <gtest/gtest.h>

#include "support/device_root.h"
#include "store/book_file_name.h"
#include "store/free_catalog.h"
#include "store/free_titles.h"
#include "store/download_manager.h"
#include "store/download_policy.h"

namespace {

const std::string kAddr = "https://dl.example.org/x.epub";

// Rows are checked against the configured download hosts.
class FreeCatalog : public testing::Test {
 protected:
  void SetUp() override {
    write_file(root_.host("us/ql/servers.conf"), "publisher-downloads = dl.example.org\n");
  }
  DeviceRoot root_;
};

std::string line(const std::string& title, const std::string& format, const std::string& bytes,
                 const std::string& address = kAddr) {
  return "orvane\tbook\t" + title + "\tA\t" + format + "\t" + bytes + "\t" + address;
}

TEST_F(FreeCatalog, LinesThatBreakARuleAreSkipped) {
  const struct {
    const char* name;
    std::string text;
    size_t rows;
  } cases[] = {
      {"a good row", line("T", "epub", "10"), 1},
      {"CR LF and blank lines", line("T", "epub", "10") + "\r\n\r\n" + line("U", "pdf", "2") + "\r\n", 2},
      {"comment", "# " + line("T", "epub", "10"), 0},
      {"six fields", "orvane\tbook\tT\tA\tepub\t10", 0},
      {"extra field after the address", line("T", "epub", "10") + "\tmore", 1},
      {"title of 200 bytes", line(std::string(200, 't'), "epub", "10"), 1},
      {"title of 201 bytes", line(std::string(201, 't'), "epub", "10"), 0},
      {"empty title", line("", "epub", "10"), 0},
      {"size 12x", line("T", "epub", "12x"), 0},
      {"size empty", line("T", "epub", ""), 0},
      {"size negative", line("T", "epub", "-1"), 0},
      {"address of 1000 bytes", line("T", "epub", "1", kAddr + std::string(1000 - kAddr.size(), 'a')), 1},
      {"address of 1001 bytes", line("T", "epub", "1", kAddr + std::string(1001 - kAddr.size(), 'a')), 0},
      {"plain http", line("T", "epub", "1", "http://dl.example.org/x"), 0},
      {"other host", line("T", "epub", "1", "https://elsewhere.example/x"), 0},
      {"format with a path", line("T", "../../x", "1"), 0},
      {"format in capitals", line("T", "EPUB", "1"), 1},
      {"compound format", line("T", "fb2.zip", "1"), 1},
      {"compound format in capitals", line("T", "FB2.ZIP", "1"), 1},
      {"format of 16 bytes", line("T", "epub.epub.epub.e", "1"), 1},
      {"format too long", line("T", "epub.epub.epub.ep", "1"), 0},
      {"format empty", line("T", "", "1"), 0},
      {"format that is a dot", line("T", ".", "1"), 0},
      {"format of two dots", line("T", "..", "1"), 0},
      {"format with a leading dot", line("T", ".epub", "1"), 0},
      {"format with a trailing dot", line("T", "epub.", "1"), 0},
      {"format with an empty part", line("T", "fb2..zip", "1"), 0},
      {"format with a slash", line("T", "fb2/zip", "1"), 0},
      {"format with a backslash", line("T", "fb2\\zip", "1"), 0},
      {"format with a blank", line("T", "fb2 zip", "1"), 0},
      {"format with a letter beyond ASCII", line("T", "\xc3\xa9pub", "1"), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(free_catalog_parse(c.text.data(), c.text.size()), c.rows);
  }
}

TEST_F(FreeCatalog, RowsKeepTheirFieldsAndTitlesCountOnce) {
  const std::string text = line("Emma", "epub", "1117057") + "\n" + line("Emma", "pdf", "55720385") +
                           "\n" + line("Persuasion", "epub", "5") + "\n" +
                           "corvell\taudio\tGuide\t\tmp3\t9\t" + kAddr + "\n";
  ASSERT_EQ(free_catalog_parse(text.data(), text.size()), 4u);
  const FreeTitle& r = free_catalog_rows()[1];
  EXPECT_EQ(r.source, "orvane");
  EXPECT_EQ(r.kind, "book");
  EXPECT_EQ(r.title, "Emma");
  EXPECT_EQ(r.author, "A");
  EXPECT_EQ(r.format, "pdf");
  EXPECT_EQ(r.bytes, 55720385u);
  EXPECT_EQ(r.address, kAddr);
  EXPECT_EQ(free_catalog_count("orvane", "book"), 2u);
  EXPECT_EQ(free_catalog_count("corvell", "audio"), 1u);
  EXPECT_EQ(free_catalog_count("corvell", "book"), 0u);
}

// A list that writes its formats in capitals or compound keeps every row, each format lower-cased
// as the downloaded file's extension takes it, so the update counts the whole list.
TEST_F(FreeCatalog, FormatsAreKeptLowerCased) {
  const std::string text = line("Emma", "EPUB", "1") + "\n" + line("Emma", "fb2.zip", "2") + "\n" +
                           line("Persuasion", "Pdf", "3") + "\n" + line("Walden", "epub", "4") + "\n";
  ASSERT_EQ(free_catalog_parse(text.data(), text.size()), 4u);
  const std::vector<std::string> formats = {"epub", "fb2.zip", "pdf", "epub"};
  for (size_t i = 0; i < formats.size(); ++i) EXPECT_EQ(free_catalog_rows()[i].format, formats[i]);
  EXPECT_EQ(free_catalog_rows()[0].title, "Emma");
  EXPECT_EQ(free_catalog_count("orvane", "book"), 3u);
  write_file(root_.state("catalog.tsv"), text);
  EXPECT_EQ(free_catalog_load(), 4u);
  EXPECT_EQ(free_catalog_rows()[2].format, "pdf");
  // The file itself is left as it was written.
  EXPECT_EQ(read_file(root_.state("catalog.tsv")), text);
}

TEST_F(FreeCatalog, NoUsableRowFallsBackToTheBuiltInList) {
  const DeviceRoot& root = root_;
  EXPECT_EQ(free_catalog_load(), 9u);  // no file
  write_file(root.state("catalog.tsv"), line("T", "epub", "1", "http://dl.example.org/x") +
                                            "\n" + line("U", "epub", "1", "https://other.example/x"));
  EXPECT_EQ(free_catalog_load(), 9u);
  EXPECT_EQ(free_catalog_count("orvane", "book"), 3u);
  EXPECT_EQ(free_catalog_count("orvane", "audio"), 5u);
  for (const FreeTitle& r : free_catalog_rows()) {
    EXPECT_EQ(url_host(r.address), "dl.example.org");
  }
  write_file(root.state("catalog.tsv"), line("Mine", "epub", "1"));
  EXPECT_EQ(free_catalog_load(), 1u);
  EXPECT_NE(free_catalog_builtin().find("# source\tkind (book|audio)\ttitle\tauthor\tformat\tbytes\taddress\n"),
            std::string_view::npos);
}

TEST(FreeCatalogSizes, CutNotRounded) {
  const struct {
    uint64_t bytes;
    const char* text;
  } cases[] = {{1792000000, "1792 MB"}, {55720385, "55.7 MB"}, {841330, "841 KB"},
               {100000000, "100 MB"},   {1000000, "1.0 MB"},   {999999, "999 KB"},
               {0, "0 KB"},             {1999999, "1.9 MB"},   {99999999, "99.9 MB"},
               {199999999, "199 MB"},   {1999, "1 KB"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(format_size_mb(c.bytes), c.text);
  }
}

TEST(BookFileName, TitlesBecomeNamesThatStayApart) {
  const struct {
    const char* title;
    const char* free_name;
    const char* feed_name;
  } cases[] = {
      {"Rise/Fall: A?", "Rise Fall  A", "Rise_Fall_ A_"},
      {" ..Dots.. ", "Dots", "__Dots__"},
      {"///", "download", "___"},
      {"", "download", "download"},
      {"Tab\there", "Tab here", "Tab_here"},
      {"Don't Panic", "Don't Panic", "Don_t Panic"},
      {"Война и мир", "Война и мир", "Война и мир"},
      {"三国演义", "三国演义", "三国演义"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(free_title_file_name(c.title), c.free_name);
    EXPECT_EQ(feed_book_file_name(c.title), c.feed_name);
  }
  // Cut at 120 bytes, never inside a character.
  std::string long_title;
  for (int i = 0; i < 70; ++i) long_title += "ä";
  EXPECT_EQ(free_title_file_name(long_title).size(), 120u);
  EXPECT_EQ(feed_book_file_name("x" + long_title).size(), 119u);
}

}  // namespace
