// The open book's pictures: sizes from member headers, drawing through the scaled cache, and the
// kept ZIP going away and coming back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "book/book_model.h"
#include "book/book_pictures.h"
#include "book_fixture.h"
#include "display/framebuffer.h"
#include "support/picture_fixtures.h"

namespace {

// A JPEG header whose frame marker lies behind a 3000-byte application segment (never decoded).
std::string late_frame_jpeg() {
  std::string j = "\xFF\xD8\xFF\xE1";
  j += char(3002 >> 8);
  j += char(3002 & 0xff);
  j += std::string(3000, '\0');
  j += "\xFF\xC2";
  j += std::string("\x00\x11\x08\x01\xE0\x02\x80", 7);  // length 17, 8 bits, 480 x 640
  j += std::string(20, '\0');
  return j;
}

struct PictureBook {
  EpubPlan plan;
  std::unique_ptr<OpenedBook> book;
  std::vector<uint64_t> pictures;  // word indices of the picture words, in order
  PictureBook() {
    std::string body = "<p>Before the pictures.</p>";
    for (int i = 0; i < 7; ++i) body += "<img src=\"../img/p" + std::to_string(i) + ".png\"/>";
    body += "<img src=\"../img/late.jpg\"/><img src=\"../img/junk.png\"/><img src=\"../img/gone.png\"/><p>After.</p>";
    plan = simple_book({body});
    for (int i = 0; i < 7; ++i)
      plan.items.emplace_back(std::string("p").append(std::to_string(i)),
                              std::string("img/p").append(std::to_string(i)).append(".png"),
                              "image/png",
                              grey_png(100 + i, 50, uint8_t(10 * i)), "", false);
    plan.items.emplace_back("late", "img/late.jpg", "image/jpeg", late_frame_jpeg(), "", false);
    plan.items.emplace_back("junk", "img/junk.png", "image/png", "not a picture at all", "", false);
    book = std::make_unique<OpenedBook>(plan);
    for (uint64_t i = 0; i < ql_word_count(); ++i)
      if (ql_words()[i].style == STYLE_PICTURE) pictures.push_back(i);
  }
};

class BookPictures : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ql_init(1), 1); }
  void TearDown() override { ql_close(); }
};

TEST_F(BookPictures, SizesFromHeaders) {
  PictureBook b;
  ASSERT_EQ(b.book->ok, 1);
  ASSERT_EQ(b.pictures.size(), 10u);
  struct Case {
    const char* name;
    uint64_t word;
    int ok, w, h;
  } cases[] = {
      {"PNG", b.pictures[0], 1, 100, 50},
      {"another PNG", b.pictures[6], 1, 106, 50},
      {"JPEG frame past the first 2 KiB", b.pictures[7], 1, 640, 480},
      {"not a picture", b.pictures[8], 0, 0, 0},
      {"member missing", b.pictures[9], 0, 0, 0},
      {"a text word", 0, 0, 0, 0},
      {"past the end", ql_word_count() + 5, 0, 0, 0},
  };
  for (int round = 0; round < 2; ++round)  // the second round answers from the cache
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (round ? " (cached)" : ""));
      int w = -1, h = -1;
      EXPECT_EQ(ql_img_dims(c.word, &w, &h), c.ok);
      if (c.ok) {
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
      }
    }
}

TEST_F(BookPictures, DrawsFittedAndClipped) {
  PictureBook b;
  ASSERT_EQ(b.book->ok, 1);
  const Framebuffer& fb = ql_fb();
  // 100 x 50 black fitted into 200 x 200 at (10, 10): rows 60..159 black, white above and below.
  ASSERT_EQ(ql_img_draw(b.pictures[0], 10, 10, 200, 200), 1);
  EXPECT_EQ(fb.pixels[size_t(59) * fb.width + 50], 255);
  EXPECT_EQ(fb.pixels[size_t(60) * fb.width + 50], 0);
  EXPECT_EQ(fb.pixels[size_t(159) * fb.width + 209], 0);
  EXPECT_EQ(fb.pixels[size_t(160) * fb.width + 50], 255);
  EXPECT_EQ(ql_mask()[size_t(100) * fb.width + 50], 0);  // the caller marks pictures
  EXPECT_EQ(ql_img_draw(b.pictures[1], -150, fb.height - 20, 300, 300), 1);
  EXPECT_EQ(ql_img_draw(b.pictures[8], 0, 0, 50, 50), 0);
  EXPECT_EQ(ql_img_draw(b.pictures[9], 0, 0, 50, 50), 0);
  EXPECT_EQ(ql_img_draw(b.pictures[0], 0, 0, 0, 50), 0);
  EXPECT_EQ(ql_img_draw(0, 0, 0, 50, 50), 0);
}

TEST_F(BookPictures, SeventhPictureReplacesTheOldest) {
  PictureBook b;
  ASSERT_EQ(b.book->ok, 1);
  for (int i = 0; i < 7; ++i) ASSERT_EQ(ql_img_draw(b.pictures[size_t(i)], 0, 0, 80, 40), 1);
  // With the book file emptied, only cached bitmaps can still be drawn.
  write_file(b.book->path, "");
  EXPECT_EQ(ql_img_draw(b.pictures[0], 0, 0, 80, 40), 0);
  for (int i = 1; i < 7; ++i) EXPECT_EQ(ql_img_draw(b.pictures[size_t(i)], 0, 0, 80, 40), 1) << i;
  EXPECT_EQ(ql_img_draw(b.pictures[1], 0, 0, 81, 40), 0);  // another size is another bitmap
}

TEST_F(BookPictures, ZipRemap) {
  PictureBook b;
  ASSERT_EQ(b.book->ok, 1);
  const std::string moved = b.book->dir / "moved.epub";
  std::filesystem::rename(b.book->path, moved);
  ql_zip_remap(moved.c_str());
  int w = 0, h = 0;
  EXPECT_EQ(ql_img_dims(b.pictures[2], &w, &h), 1);
  EXPECT_EQ(ql_img_draw(b.pictures[2], 0, 0, 30, 30), 1);
  ql_zip_remap((b.book->dir / "nowhere.epub").c_str());
  EXPECT_EQ(ql_img_dims(b.pictures[2], &w, &h), 0);
  EXPECT_EQ(ql_img_draw(b.pictures[2], 0, 0, 30, 30), 0);
  ql_zip_remap(moved.c_str());  // nothing is kept any more until the next open
  EXPECT_EQ(ql_img_dims(b.pictures[3], &w, &h), 0);
}

}  // namespace
