// The sample books as the build packs them beside the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/byte_reader.h"
#include "base/ql_error.h"
#include "book/book_model.h"
#include "book/toc.h"
#include "library/bundled_books.h"
#include "library_fixture.h"

namespace {

struct Sample {
  const char* file;
  const char* title;
  size_t chapters;
};
constexpr Sample kSamples[] = {
    {"welcome.epub", "Welcome to Quillo", 3},
    {"quick-guide.epub", "Quillo Quick Guide", 6},
    {"lighthouse-letter.epub", "The Lighthouse Letter", 3},
};

std::string packed_dir() {
#ifdef QL_TEST_QUILLO
  return (std::filesystem::path(QL_TEST_QUILLO).parent_path() / "resources" / "bundled").string();
#else
  return "";
#endif
}

}  // namespace

TEST(SampleBooks, PackedBooksOpen) {
  if (packed_dir().empty()) GTEST_SKIP() << "the program is not part of this build";
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const std::string path = packed_dir() + "/" + s.file;
    const std::string bytes = read_file(path);
    ASSERT_GT(bytes.size(), 30u + 8 + 20);
    // The first member is "mimetype", stored, holding exactly the EPUB media type.
    const ByteReader local(bytes);
    EXPECT_EQ(local.u32le_at(0), 0x04034b50u);
    EXPECT_EQ(local.u16le_at(8), 0);  // stored
    EXPECT_EQ(bytes.substr(30, 8), "mimetype");
    EXPECT_EQ(bytes.substr(38, 20), "application/epub+zip");

    ASSERT_EQ(ql_open(path.c_str()), 1) << ql_error();
    EXPECT_STREQ(ql_title(), s.title);
    EXPECT_STRNE(ql_author(), "");
    EXPECT_STREQ(ql_language(), "en");
    EXPECT_GT(ql_word_count(), 150u);
    EXPECT_EQ(ql_toc_from_nav(), s.chapters);
  }
}

TEST(SampleBooks, SeededIntoTheLibraryWithTheirTitles) {
  if (packed_dir().empty()) GTEST_SKIP() << "the program is not part of this build";
  LibraryRoot root;
  for (const Sample& s : kSamples) {
    std::filesystem::copy_file(packed_dir() + "/" + s.file, root.host("us/ql/bundled/") + s.file);
  }
  bundled_books_seed();
  library_rescan_documents();
  ASSERT_EQ(library.view_count, std::size(kSamples));
  for (uint64_t i = 0; i < library.view_count; i++) {
    const ScanEntry& e = ql_entries()[library.view_list[i]];
    SCOPED_TRACE(e.path);
    EXPECT_NE(e.title, std::string(path_file_name(e.path)));
    EXPECT_EQ(e.kind, KIND_EPUB);
  }
}
