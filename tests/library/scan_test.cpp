#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "book/annotations.h"
#include "book/book_model.h"
#include "library_fixture.h"
#include "support/pdf_builder.h"

namespace {

uint64_t scan_docs() { return ql_scan(kDocs); }

const ScanEntry* find_entry(const std::string& rel) {
  for (const ScanEntry& e : ql_entries()) {
    if (e.path == std::string(kDocs) + "/" + rel) return &e;
  }
  return nullptr;
}

// A scanned file's expected title and author.
struct Listed {
  const char* file;
  const char* title;
  const char* author;
};

void expect_listed(std::initializer_list<Listed> cases) {
  for (const Listed& c : cases) {
    SCOPED_TRACE(c.file);
    const ScanEntry* e = find_entry(c.file);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->title, c.title);
    EXPECT_EQ(e->author, c.author);
  }
}

}  // namespace

TEST(Scan, WhichFilesAreListed) {
  struct Case {
    const char* file;
    bool listed;
    int kind;
  } cases[] = {
      {"book.epub", true, KIND_EPUB},
      {"SHOUT.EPUB", true, KIND_EPUB},
      {"paper.pdf", true, KIND_PDF},
      {"novel.mobi", true, KIND_OTHER_BOOK},
      {"novel.azw3", true, KIND_OTHER_BOOK},
      {"comic.cbz", true, KIND_OTHER_BOOK},
      {"notes.txt", true, KIND_OTHER_BOOK},
      {"tale.fb2", true, KIND_OTHER_BOOK},
      {"song.mp3", true, KIND_AUDIO},
      {"talk.M4B", true, KIND_AUDIO},
      {"a.m4a", true, KIND_AUDIO},
      {"a.ogg", true, KIND_AUDIO},
      {"a.oga", true, KIND_AUDIO},
      {"a.opus", true, KIND_AUDIO},
      {"a.flac", true, KIND_AUDIO},
      {"a.wav", true, KIND_AUDIO},
      {"a.aac", true, KIND_AUDIO},
      {"old.azw", false, 0},
      {"old.prc", false, 0},
      {"picture.jpg", false, 0},
      {"noextension", false, 0},
      {".hidden.epub", false, 0},
      {".secret/inside.epub", false, 0},
      {"dictionaries/words.pdf", false, 0},
      {"dictionaries/spoken.mp3", true, KIND_AUDIO},
      {"sub/dictionaries/deeper.txt", false, 0},
      {"my.books/README", false, 0},
      {"my.books/inner.epub", true, KIND_EPUB},
      {"book.epub.part", false, 0},
  };
  LibraryRoot root;
  for (const Case& c : cases) root.put(c.file, "x");
  scan_docs();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ScanEntry* e = find_entry(c.file);
    ASSERT_EQ(e != nullptr, c.listed);
    if (e) {
      EXPECT_EQ(e->kind, static_cast<uint32_t>(c.kind));
      EXPECT_EQ(e->title, path_file_name(c.file));
    }
  }
  EXPECT_EQ(ql_entries().size(), std::count_if(std::begin(cases), std::end(cases),
                                                [](const Case& c) { return c.listed; }));
}

TEST(Scan, SymlinksAndMissingFoldersAreSkipped) {
  LibraryRoot root;
  root.put("real.epub", "x");
  ASSERT_EQ(symlink(root.doc("real.epub").c_str(), root.doc("link.epub").c_str()), 0);
  ASSERT_EQ(symlink(root.doc("").c_str(), root.doc("loop").c_str()), 0);
  EXPECT_EQ(scan_docs(), 1u);
  EXPECT_EQ(ql_scan("/mnt/us/no-such-folder"), 0u);
  EXPECT_EQ(ql_entries().size(), 0u);
}

TEST(Scan, DepthLimit) {
  LibraryRoot root;
  std::string deep;
  for (int level = 1; level <= 25; level++) {
    deep.append("d").append(std::to_string(level)).append("/");
    root.put(deep + "level" + std::to_string(level) + ".txt", "x");
  }
  scan_docs();
  // The root and 24 levels below it are walked.
  EXPECT_NE(std::find_if(ql_entries().begin(), ql_entries().end(),
                         [](const ScanEntry& e) { return e.title == "level24.txt"; }),
            ql_entries().end());
  EXPECT_EQ(ql_entries().size(), 24u);
}

TEST(Scan, TitlesAndAuthorsFromEpubsAndPdfs) {
  LibraryRoot root;
  PdfPlan pdf;
  pdf.pages.emplace_back();
  pdf.title = "Survey Maps";
  pdf.author = "Field Office";
  root.put("maps.pdf", build_pdf(pdf));
  pdf.title = "";
  root.put("untitled.pdf", build_pdf(pdf));
  root.put("comic.cbz", "PK\x03\x04");
  root.put("named.epub", epub_titled("The Long Road", "Ann Author"));
  root.put("blank.epub", epub_titled("   ", "Someone"));
  root.put("anonymous.epub", epub_titled("Only A Title", ""));
  root.put("broken.epub", "PK\x03\x04 not really a zip");
  EpubPlan no_package = simple_book({"<p>x</p>"});
  no_package.write_opf = false;
  root.put("nopackage.epub", build_epub(no_package));
  scan_docs();
  expect_listed({
      {"named.epub", "The Long Road", "Ann Author"},
      {"blank.epub", "blank.epub", "Someone"},
      {"anonymous.epub", "Only A Title", ""},
      {"broken.epub", "broken.epub", ""},
      {"nopackage.epub", "nopackage.epub", ""},
      {"maps.pdf", "Survey Maps", "Field Office"},
      {"untitled.pdf", "untitled.pdf", "Field Office"},
      {"comic.cbz", "comic.cbz", ""},
  });
}

TEST(Scan, TitlesAndAuthorsOfConvertedKindsWithoutConverting) {
  LibraryRoot root;
  const std::string data = std::string(QL_SOURCE_DIR) + "/tests/book/data/";
  for (const char* name : {"book.fb2", "old.mobi", "book.azw3"}) root.put(name, read_file(data + name));
  root.put("plain.txt", "Some words.\n");
  root.put("broken.mobi", "not a book at all, just bytes");
  scan_docs();
  expect_listed({
      {"book.fb2", "The Lantern Harbour", "Ada Stone"},
      {"old.mobi", "The Lantern Harbour", "Ada Stone"},
      {"book.azw3", "The Lantern Harbour", "Ada Stone"},
      {"plain.txt", "plain.txt", ""},
      {"broken.mobi", "broken.mobi", ""},
  });
  struct stat st;
  EXPECT_NE(stat(root.state("conv").c_str(), &st), 0) << "the scan converts nothing";
}

TEST(Scan, ScanningLeavesTheOpenBookAlone) {
  LibraryRoot root;
  root.put("open.epub", epub_titled("Open Book", "Reader"));
  root.put("other.epub", epub_titled("Other Book", "Writer"));
  ASSERT_EQ(ql_open(root.doc("open.epub").c_str()), 1);
  scan_docs();
  EXPECT_STREQ(ql_title(), "Open Book");
  EXPECT_STREQ(ql_author(), "Reader");
}

TEST(Scan, WarmScanOpensNoBook) {
  LibraryRoot root;
  for (int i = 0; i < 5; i++) {
    root.put("b" + std::to_string(i) + ".epub", epub_titled("Title " + std::to_string(i), "A"));
  }
  root.put("doc.pdf", "%PDF-1.4");
  root.put("comic.cbz", "PK\x03\x04");
  EXPECT_EQ(scan_docs(), 7u);
  EXPECT_EQ(ql_scan_stats().probed, 7u) << "a comic, which names nothing, is probed once and cached empty";
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 7u);

  // Same run, and a new run that reads the cache file.
  for (bool new_run : {false, true}) {
    SCOPED_TRACE(new_run);
    if (new_run) scan_cache_forget();
    EXPECT_EQ(scan_docs(), 7u);
    EXPECT_EQ(ql_scan_stats().probed, 0u);
    EXPECT_EQ(ql_scan_stats().cached, 7u);
    EXPECT_EQ(find_entry("b3.epub")->title, "Title 3");
  }
}

TEST(Scan, UnchangedSizeAndTimeTrustTheCache) {
  // The cache is keyed by time and size only: a file rewritten with both kept is not reopened.
  LibraryRoot root;
  auto stored = [](const std::string& title) {  // same-length titles give same-size files
    EpubPlan plan = simple_book({"<p>x</p>"});
    plan.title = title;
    plan.method = zipw::kStored;
    return build_epub(plan);
  };
  root.put("a.epub", stored("First"));
  set_mtime(root.doc("a.epub"), 1700000000);
  scan_docs();
  root.put("a.epub", stored("Later"));
  set_mtime(root.doc("a.epub"), 1700000000);
  scan_docs();
  EXPECT_EQ(find_entry("a.epub")->title, "First");
  // A new time makes the scan read it again and replace its cache line.
  set_mtime(root.doc("a.epub"), 1700000100);
  scan_docs();
  EXPECT_EQ(ql_scan_stats().probed, 1u);
  EXPECT_EQ(find_entry("a.epub")->title, "Later");
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 1u);
  EXPECT_NE(read_file(root.state(kScanCacheName)).find("\t1700000100\t"), std::string::npos);
}

TEST(Scan, RemovedAndRenamedBooks) {
  LibraryRoot root;
  root.put("a.epub", epub_titled("Alpha", "X"));
  root.put("b.epub", epub_titled("Beta", "Y"));
  scan_docs();
  ASSERT_EQ(0, rename(root.doc("a.epub").c_str(), root.doc("renamed.epub").c_str()));
  unlink(root.doc("b.epub").c_str());
  EXPECT_EQ(scan_docs(), 1u);
  EXPECT_EQ(find_entry("renamed.epub")->title, "Alpha");
  EXPECT_EQ(ql_scan_stats().probed, 1u);
  // Records of files that are gone stay; the renamed book adds one.
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 3u);
}

TEST(Scan, BookStillBeingCopiedIsReadAgainWhenComplete) {
  LibraryRoot root;
  const std::string whole = epub_titled("Arrived", "Courier");
  root.put("late.epub", whole.substr(0, whole.size() / 2));
  scan_docs();
  EXPECT_EQ(find_entry("late.epub")->title, "late.epub");
  root.put("late.epub", whole);
  scan_docs();
  EXPECT_EQ(find_entry("late.epub")->title, "Arrived");
  EXPECT_EQ(find_entry("late.epub")->author, "Courier");
}

TEST(Scan, TextFieldsWithTabsAndLineBreaksSurviveTheCache) {
  LibraryRoot root;
  const std::string odd_title = "Tab\there, line\nbreak, back\\slash\\t and \rreturn";
  root.put("odd\tname\\n.epub", epub_titled("x", "y"));
  root.put("plain.epub", epub_titled("Plain", "Writer\\"));
  scan_docs();
  // The title has no way into an EPUB with those bytes raw, so put it in the cache as a probe
  // would and check the file keeps one record a line.
  ASSERT_TRUE(sc_put("/mnt/us/documents/injected.epub", 5, 6, odd_title, "A\tB"));
  ASSERT_NE(sc_find("/mnt/us/documents/odd\tname\\n.epub"), nullptr);
  sc_replace(*sc_find("/mnt/us/documents/odd\tname\\n.epub"), 1, 2, odd_title, "Au\nthor");
  sc_save();
  const std::string file = read_file(root.state(kScanCacheName));
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 3u);
  for (size_t start = 0, end; (end = file.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = file.substr(start, end - start);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;  // and the version
    EXPECT_EQ(line.find('\r'), std::string::npos);
  }
  scan_cache_forget();
  sc_load();
  const ScanCacheRecord* r = sc_find("/mnt/us/documents/odd\tname\\n.epub");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->title, odd_title);
  EXPECT_EQ(r->author, "Au\nthor");
  EXPECT_EQ(r->mtime, 1);
  EXPECT_EQ(r->size, 2);
  EXPECT_EQ(sc_find("/mnt/us/documents/injected.epub")->author, "A\tB");
  EXPECT_EQ(sc_find("/mnt/us/documents/plain.epub")->author, "Writer\\");

  // Rescans of the same files add nothing.
  scan_cache_forget();
  scan_docs();
  scan_docs();
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 3u);
}

TEST(Scan, CacheFileLinesAsWritten) {
  struct Case {
    const char* line;
    bool kept;
    int64_t mtime, size;
    const char* title;
    const char* author;
  } cases[] = {
      {"/p\t10\t20\tT\tA", true, 10, 20, "T", "A"},
      {"/p\t10\t20\tT\tA\textra\tmore", true, 10, 20, "T", "A"},
      {"/p\t10\t20\tT\t", true, 10, 20, "T", ""},
      {"/p\tten\t-\t\t", true, 0, 0, "", ""},
      {"/p\t10\t20\tT", false, 0, 0, "", ""},
      {"/p", false, 0, 0, "", ""},
      {"/p\t10\t20\tT\tA\r", true, 10, 20, "T", "A"},
      {"/p\t10\t20\tT\\\\x\\q\tA", true, 10, 20, "T\\x\\q", "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    LibraryRoot root;
    write_file(root.state(kScanCacheName), std::string(c.line) + "\n");
    sc_load();
    const ScanCacheRecord* r = sc_find("/p");
    ASSERT_EQ(r != nullptr, c.kept);
    if (!r) continue;
    EXPECT_EQ(r->mtime, c.mtime);
    EXPECT_EQ(r->size, c.size);
    EXPECT_EQ(r->title, c.title);
    EXPECT_EQ(r->author, c.author);
  }
}

TEST(Scan, RepeatedPathLaterLineWinsAndBothStay) {
  LibraryRoot root;
  root.put("a.epub", "x");
  struct stat st;
  stat(root.doc("a.epub").c_str(), &st);
  const std::string p = "/mnt/us/documents/a.epub\t" + std::to_string(st.st_mtime) + "\t" +
                        std::to_string(st.st_size);
  write_file(root.state(kScanCacheName), p + "\tOld\tX\t2\n" + p + "\tNew\tY\t2\n");
  scan_docs();
  EXPECT_EQ(find_entry("a.epub")->title, "New");
  EXPECT_EQ(ql_scan_stats().probed, 0u);
  EXPECT_EQ(line_count(root.state(kScanCacheName)), 2u);
}

// Lines an earlier version wrote carry no version; it kept "&nbsp;" in a title as U+00A0, which a
// search by words does not find. Their books are read again, once.
TEST(Scan, RecordsOfAnEarlierVersionAreReadAgain) {
  LibraryRoot root;
  root.put("war.epub", epub_titled("War&nbsp;and Peace", "Leo"));
  struct stat st;
  ASSERT_EQ(stat(root.doc("war.epub").c_str(), &st), 0);
  write_file(root.state(kScanCacheName), "/mnt/us/documents/war.epub\t" + std::to_string(st.st_mtime) + "\t" +
                                             std::to_string(st.st_size) + "\tWar\xC2\xA0" "and Peace\tLeo\n");
  for (uint64_t probed : {1, 0}) {
    scan_cache_forget();
    scan_docs();
    EXPECT_EQ(ql_scan_stats().probed, probed);
    EXPECT_EQ(find_entry("war.epub")->title, "War and Peace");
  }
}

TEST(Scan, EveryPrefixOfTheCacheFileLoads) {
  LibraryRoot root;
  for (int i = 0; i < 3; i++) root.put(std::to_string(i) + ".epub", epub_titled("T\t" + std::to_string(i), "A"));
  scan_docs();
  const std::string whole = read_file(root.state(kScanCacheName));
  for (size_t n = 0; n <= whole.size(); n++) {
    write_file(root.state(kScanCacheName), whole.substr(0, n));
    scan_cache_forget();
    scan_docs();
    ASSERT_EQ(ql_entries().size(), 3u);
  }
}

TEST(Scan, FullCacheIndexNeitherLoopsNorGrowsTheFile) {
  LibraryRoot root;
  sc_load();
  for (size_t i = 0; i < kScanCacheSlots; i++) {
    ASSERT_TRUE(sc_put("/gone/" + std::to_string(i), 1, 1, "", ""));
  }
  EXPECT_FALSE(sc_put("/one/more", 1, 1, "", ""));
  root.put("new.epub", epub_titled("Fresh", "Z"));
  for (int pass = 0; pass < 2; pass++) {
    scan_docs();
    EXPECT_EQ(find_entry("new.epub")->title, "Fresh");
    EXPECT_EQ(line_count(root.state(kScanCacheName)), kScanCacheSlots);
  }
}

TEST(Scan, EntryLimit) {
  LibraryRoot root;
  for (size_t i = 0; i <= kMaxEntries; i++) {
    root.put(std::string("f").append(std::to_string(i)).append(".txt"), "");
  }
  EXPECT_EQ(scan_docs(), kMaxEntries);
}

TEST(Scan, EntryOrder) {
  LibraryRoot root;
  root.put("Today-2024-05-02.epub", "x");
  root.put("read-a-minute-ago.txt", "x");
  root.put("zeta.txt", "x");
  root.put("Alpha.txt", "x");
  root.put("alphabet.txt", "x");
  root.put("beta.txt", "x");
  root.put("same-second-B.txt", "x");
  root.put("same-second-a.txt", "x");
  // Reading leaves a position file behind; its time is the entry's last-read time.
  auto mark_read = [&](const std::string& rel, time_t when) {
    const std::string pos = root.state(book_path_key(std::string(kDocs) + "/" + rel) + ".pos");
    write_file(pos, "0 40\n");
    set_mtime(pos, when);
  };
  mark_read("read-a-minute-ago.txt", 1700000000);
  mark_read("same-second-B.txt", 1600000000);
  mark_read("same-second-a.txt", 1600000000);
  scan_docs();
  EXPECT_EQ(entry_names(), (std::vector<std::string>{
                               "Today-2024-05-02.epub", "read-a-minute-ago.txt",
                               "same-second-a.txt", "same-second-B.txt", "Alpha.txt",
                               "alphabet.txt", "beta.txt", "zeta.txt"}));
  EXPECT_EQ(ql_entries()[1].last_read, 1700000000);
  EXPECT_EQ(ql_entries()[7].last_read, 0);
}
