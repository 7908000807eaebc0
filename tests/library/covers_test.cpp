#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/wyhash.h"
#include "book/covers.h"
#include "library_fixture.h"
#include "support/cover_fixture.h"
#include "support/pdf_builder.h"
#include "support/zip_writer.h"

namespace {
constexpr uint32_t kW = 30, kH = 42;

class Covers : public testing::Test {
 protected:
  void SetUp() override { cover_cache_clear(); }
  void TearDown() override { cover_cache_clear(); }

  // cover_get on a document, with the pixels it gave.
  int get(const std::string& rel, uint32_t kind, bool allow, std::vector<uint8_t>* px = nullptr) {
    const std::string path = std::string(kDocs) + "/" + rel;
    std::vector<uint8_t> out(kW * kH, 7);
    const int r = cover_get(path.data(), path.size(), kind, kW, kH, out.data(), out.size(), allow);
    if (px) *px = out;
    return r;
  }
  std::string cover_file(const std::string& rel) const {
    return root_.state("covers/" + cache_key_hex(CacheKey(std::string(kDocs) + "/" + rel)) + ".c");
  }
  static off_t size_of(const std::string& host) {
    struct stat st {};
    return stat(host.c_str(), &st) == 0 ? st.st_size : -1;
  }

  LibraryRoot root_;
};

TEST_F(Covers, ExtractedOnceThenServedFromTheCoverFileAndMemory) {
  root_.put("a.epub", epub_with_cover("A", 60));
  std::vector<uint8_t> px;
  EXPECT_EQ(get("a.epub", KIND_EPUB, false), -1) << "not cached and not allowed to extract";
  ASSERT_EQ(get("a.epub", KIND_EPUB, true, &px), 1);
  EXPECT_NEAR(px[kW * kH / 2 + kW / 2], 60, 2);
  EXPECT_EQ(size_of(cover_file("a.epub")), off_t(kCoverBytes));

  // The memory cache answers while the book and its file are gone.
  remove(root_.doc("a.epub").c_str());
  const std::string saved = read_file(cover_file("a.epub"));
  remove(cover_file("a.epub").c_str());
  EXPECT_EQ(get("a.epub", KIND_EPUB, false, &px), 1);

  // A new run: the cover file answers without the book.
  cover_cache_clear();
  write_file(cover_file("a.epub"), saved);
  ASSERT_EQ(get("a.epub", KIND_EPUB, false, &px), 1);
  EXPECT_NEAR(px[kW * kH / 2 + kW / 2], 60, 2);
}

TEST_F(Covers, BookWithoutCoverIsMarkedAndRetriedOnlyWhenTheBookIsNewer) {
  root_.put("plain.epub", epub_titled("Plain", "W"));
  EXPECT_EQ(get("plain.epub", KIND_EPUB, true), 0);
  EXPECT_EQ(size_of(cover_file("plain.epub")), 0) << "empty file: no cover";

  // A cover appears, but the book is older than the mark: the mark holds, the book is not opened.
  root_.put("plain.epub", epub_with_cover("Plain", 90));
  set_mtime(root_.doc("plain.epub"), 1000);
  EXPECT_EQ(get("plain.epub", KIND_EPUB, false), 0);
  EXPECT_EQ(get("plain.epub", KIND_EPUB, true), 0);

  // Copied in after the mark (finished after the scan looked): tried again.
  set_mtime(cover_file("plain.epub"), 2000);
  set_mtime(root_.doc("plain.epub"), 3000);
  EXPECT_EQ(get("plain.epub", KIND_EPUB, false), -1);
  std::vector<uint8_t> px;
  ASSERT_EQ(get("plain.epub", KIND_EPUB, true, &px), 1);
  EXPECT_NEAR(px[kW * kH / 2 + kW / 2], 90, 2);
  EXPECT_EQ(size_of(cover_file("plain.epub")), off_t(kCoverBytes));
}

TEST_F(Covers, FilesOfTheWrongLengthAreIgnoredAndRewritten) {
  root_.put("t.epub", epub_with_cover("T", 200));
  mkdir(root_.state("covers").c_str(), 0755);
  for (size_t len : {size_t{1}, kCoverBytes - 1, kCoverBytes + 1}) {
    SCOPED_TRACE(len);
    cover_cache_clear();
    write_file(cover_file("t.epub"), std::string(len, '\0'));
    std::vector<uint8_t> px;
    ASSERT_EQ(get("t.epub", KIND_EPUB, true, &px), 1);
    EXPECT_NEAR(px[kW * kH / 2 + kW / 2], 200, 2);
    EXPECT_EQ(size_of(cover_file("t.epub")), off_t(kCoverBytes));
  }
}

TEST_F(Covers, KindsAndMissingBooksThatNeverExtract) {
  struct Case {
    const char* name;
    const char* rel;
    uint32_t kind;
    bool exists;
    int expected;
  } cases[] = {
      {"audio is never extracted", "song.mp3", KIND_AUDIO, true, 0},
      {"a deleted book gives no cover", "gone.epub", KIND_EPUB, false, 0},
      {"a book of a kind without an extractor", "book.xps", KIND_OTHER_BOOK, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.exists) root_.put(c.rel, "data");
    EXPECT_EQ(get(c.rel, c.kind, true), c.expected);
    EXPECT_EQ(size_of(cover_file(c.rel)), -1) << "no mark, so the book is tried again later";
  }
}

TEST_F(Covers, ConvertedKindsGiveTheCoverOfTheirConvertedBook) {
  const std::string data = std::string(QL_SOURCE_DIR) + "/tests/book/data/";
  for (const char* name : {"book.azw3", "joint.mobi", "book.fb2"}) {
    SCOPED_TRACE(name);
    root_.put(name, read_file(data + name));
    std::vector<uint8_t> px;
    EXPECT_EQ(get(name, KIND_OTHER_BOOK, false), -1) << "extraction waits for the cover job";
    ASSERT_EQ(get(name, KIND_OTHER_BOOK, true, &px), 1);
    // The fixture's cover is a flat dark grey.
    EXPECT_LT(px[px.size() / 2], 100);
    EXPECT_EQ(size_of(cover_file(name)), static_cast<off_t>(kCoverBytes));
  }
  root_.put("notes.txt", "Plain words.\n");
  EXPECT_EQ(get("notes.txt", KIND_OTHER_BOOK, true), 0);
  EXPECT_EQ(size_of(cover_file("notes.txt")), 0) << "a converted book without a cover is marked";
}

TEST_F(Covers, PdfsAndComicsShowTheirFirstPage) {
  PdfPlan plan;
  plan.pages.push_back({612, 792, 0, {{72, 100, 40, "Cover Title"}}});
  root_.put("doc.pdf", build_pdf(plan));
  root_.put("comic.CBZ", zipw::build({{"p1.png", flat_png(300, 420, 90)}}));
  root_.put("broken.pdf", "%PDF-1.4 nothing else");
  std::vector<uint8_t> px;
  ASSERT_EQ(get("doc.pdf", KIND_PDF, true, &px), 1);
  EXPECT_GT(std::count_if(px.begin(), px.end(), [](uint8_t v) { return v < 250; }), 0) << "the title is drawn";
  ASSERT_EQ(get("comic.CBZ", KIND_OTHER_BOOK, true, &px), 1);
  EXPECT_EQ(px[px.size() / 2], 90);
  EXPECT_EQ(get("broken.pdf", KIND_PDF, true), 0);
  EXPECT_EQ(size_of(cover_file("broken.pdf")), 0) << "marked: not opened for its cover again";
}

TEST_F(Covers, ThumbnailFilesAnswerFirst) {
  mkdir(root_.state("covers").c_str(), 0755);
  const std::string path = std::string(kDocs) + "/th.epub";
  const std::string stem = root_.state("covers/" + cache_key_hex(CacheKey(path)));
  write_file(stem + "-30x42.g", std::string(kW * kH, char(33)));
  write_file(stem + "-10x10.g", "");
  std::vector<uint8_t> px;
  ASSERT_EQ(get("th.epub", KIND_EPUB, false, &px), 1);
  EXPECT_EQ(px[0], 33);
  std::vector<uint8_t> small(100);
  EXPECT_EQ(cover_get(path.data(), path.size(), KIND_EPUB, 10, 10, small.data(), 100, true), 0);
}

TEST_F(Covers, MemoryCacheEvictsTheLeastRecentlyUsed) {
  std::vector<uint8_t> px(kW * kH);
  auto key = [](int i) { return CacheKey("/mnt/us/documents/b" + std::to_string(i) + ".epub"); };
  auto cached = [&](int i) {
    const std::string path = "/mnt/us/documents/b" + std::to_string(i) + ".epub";
    return cover_get(path.data(), path.size(), KIND_EPUB, kW, kH, px.data(), px.size(), false) == 1;
  };
  for (int i = 0; i < 12; ++i) {
    std::vector<uint8_t> cover(kW * kH, uint8_t(i));
    cover_cache_put(key(i), kW, kH, cover.data(), cover.size());
  }
  ASSERT_TRUE(cached(0));  // book 0 used again: book 1 is now the oldest
  std::vector<uint8_t> cover(kW * kH, 99);
  cover_cache_put(key(12), kW, kH, cover.data(), cover.size());
  EXPECT_TRUE(cached(0));
  EXPECT_FALSE(cached(1));
  for (int i = 2; i <= 12; ++i) EXPECT_TRUE(cached(i)) << i;
}
}  // namespace
