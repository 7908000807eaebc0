#include "base/file_kinds.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::set<std::string> extensions_in(uint8_t view) {
  std::set<std::string> out;
  for (const FileKindRow& row : file_kind_table()) {
    if (row.views & view) out.emplace(row.extension);
  }
  return out;
}

std::set<std::string> audio_extensions() {
  std::set<std::string> out;
  for (const FileKindRow& row : file_kind_table()) {
    if (row.kind == FileKind::audio) out.emplace(row.extension);
  }
  return out;
}

const std::set<std::string> kAudio = {".mp3", ".m4b", ".m4a", ".ogg", ".oga",
                                      ".opus", ".flac", ".wav", ".aac"};

std::set<std::string> with_audio(std::set<std::string> books) {
  books.insert(kAudio.begin(), kAudio.end());
  return books;
}

TEST(FileKinds, EachViewHoldsExactlyItsExtensions) {
  EXPECT_EQ(audio_extensions(), kAudio);
  EXPECT_EQ(extensions_in(kViewScan), with_audio({".epub", ".pdf", ".mobi", ".azw3", ".cbz", ".txt", ".fb2"}));
  EXPECT_EQ(extensions_in(kViewDrop),
            with_audio({".epub", ".pdf", ".cbz", ".mobi", ".azw3", ".fb2", ".txt", ".zip"}));
  EXPECT_EQ(extensions_in(kViewPageAdapter),
            (std::set<std::string>{".pdf", ".mobi", ".azw3", ".azw", ".cbz", ".txt", ".fb2", ".xps"}));
  std::set<std::string> all;
  for (const FileKindRow& row : file_kind_table()) {
    EXPECT_TRUE(all.insert(std::string(row.extension)).second) << row.extension << " twice";
    for (char c : row.extension) EXPECT_FALSE(c >= 'A' && c <= 'Z') << row.extension;
  }
}

TEST(FileKinds, NamesMatchByTheirLastDotInAnyCase) {
  struct Case {
    const char* name;
    bool scan, drop, page, audio;
  } cases[] = {
      {"book.epub", true, true, false, false},
      {"/mnt/us/documents/SHOUT.EPUB", true, true, false, false},
      {"paper.Pdf", true, true, true, false},
      {"comic.cbz", true, true, true, false},
      {"novel.azw3", true, true, true, false},
      {"old.azw", false, false, true, false},
      {"old.prc", false, false, false, false},
      {"page.xps", false, false, true, false},
      {"talk.M4B", true, true, false, true},
      {"bundle.zip", false, true, false, false},
      {".mp3", true, true, false, true},
      {"mp3", false, false, false, false},
      {"noextension", false, false, false, false},
      {"trailing.", false, false, false, false},
      {"book.epub.part", false, false, false, false},
      {"my.books/README", false, false, false, false},
      // The adapter's door matches the start of the extension.
      {"newer.azw4", false, false, true, false},
      {"scan.PDFA", false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_listed_by_scan(c.name), c.scan);
    EXPECT_EQ(is_accepted_by_drop(c.name), c.drop);
    EXPECT_EQ(is_for_page_adapter(c.name), c.page);
    EXPECT_EQ(is_audio_extension(c.name), c.audio);
  }
}

TEST(FileKinds, RowsNameTheirKind) {
  struct Case {
    const char* name;
    FileKind kind;
  } cases[] = {
      {"a.EPUB", FileKind::epub}, {"a.pdf", FileKind::pdf},  {"a.cbz", FileKind::cbz},
      {"a.mobi", FileKind::mobi}, {"a.azw3", FileKind::mobi}, {"a.azw", FileKind::mobi},
      {"a.prc", FileKind::mobi},  {"a.fb2", FileKind::fb2},  {"a.txt", FileKind::txt},
      {"a.Opus", FileKind::audio}, {"a.zip", FileKind::zip},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FileKindRow* row = file_kind_row(c.name);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->kind, c.kind);
  }
  EXPECT_EQ(file_kind_row("a.docx"), nullptr);
  EXPECT_EQ(file_kind_row("name"), nullptr);
  EXPECT_EQ(file_extension("dir.d/name"), ".d/name");
  EXPECT_EQ(file_extension("name"), "");
}

}  // namespace
