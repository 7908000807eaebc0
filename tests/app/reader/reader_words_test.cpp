// Where on a laid-out page a press lies inside a word: the byte under the finger, which the
// dictionary uses to pick the part of a dash-joined word.
#include "app/reader/reader_words.h"

#include <gtest/gtest.h>

#include "app/reader/paginator.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "support/device_root.h"
#include "support/epub_builder.h"
#include "support/reader_book.h"
#include "support/temp_dir.h"

namespace {

class ReaderWords : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ql_init(1), 1);
    const std::string book = root_.host("us/book.epub");
    write_file(book, build_epub(simple_book({"<p>Peculiar\xE2\x80\x94that soft&shy;ware</p>"})));
    ASSERT_EQ(ql_open(book.c_str()), 1);
    layout = PageTable{};
    ASSERT_TRUE(layout_paginate(40));
  }
  void TearDown() override { close_test_book(); }

  DeviceRoot root_;
};

TEST_F(ReaderWords, TheByteUnderTheFingerCountsInTheTextTheSelectionReads) {
  const std::optional<WordBox> dashed = reader_word_box(0, 0);
  const std::optional<WordBox> soft = reader_word_box(0, 1);
  ASSERT_TRUE(dashed && soft);
  const float before_that = ql_measure("Peculiar\xE2\x80\x94", TS_REGULAR, 40);
  const float y = dashed->y - 10;
  const struct {
    const char* name;
    uint64_t word;
    float x;
    size_t byte;
  } cases[] = {
      {"the first letter", 0, dashed->x + 1, 0},
      {"the first letter of the part after the dash", 0, dashed->x + before_that + 1, 11},
      {"left of the word", 0, dashed->x - 30, 0},
      {"past the word: its last letter", 0, dashed->x + dashed->width + 200, 14},
      {"soft hyphens are not counted", 1, soft->x + soft->width - 1, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(reader_byte_at_point(0, c.word, c.x, y), c.byte);
  }
  EXPECT_FALSE(reader_byte_at_point(0, 0, dashed->x, y + 500)) << "no line there";
}

}  // namespace
