// Real-world markup laid out with the real faces: soft hyphens, long addresses, and pictures that
// open chapters or are link targets.
#include <gtest/gtest.h>

#include <string>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "support/device_root.h"
#include "support/epub_builder.h"
#include "support/picture_fixtures.h"

namespace {

class ReaderMarkup : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ql_init(1), 1); }
  void TearDown() override {
    ql_book_replace(BookModel{});
    layout_free();
    layout = PageTable{};
  }

  // Opens the plan's book and lays it out at 40 px with the default margin.
  void open(const EpubPlan& plan) {
    const std::string path = root_.host("us/book.epub");
    write_file(path, build_epub(plan));
    ASSERT_EQ(ql_open(path.c_str()), 1);
    layout = PageTable{};
    ASSERT_TRUE(layout_paginate(40));
  }

  uint64_t find_word(const std::string& text) const {
    uint64_t i = 0;
    while (i < ql_word_count() && text != ql_words()[i].text) ++i;
    EXPECT_LT(i, ql_word_count()) << text;
    return i;
  }

  // Visits every placed word of the book with its line.
  template <class Visit>
  void each_placed(Visit&& visit) const {
    const PageMetrics m = reader_page_metrics();
    for (const LayoutLine& line : layout.lines) {
      walk_line(line, m, [&](const PlacedWord& p) {
        visit(line, p);
        return true;
      });
    }
  }

  DeviceRoot root_;
};

TEST_F(ReaderMarkup, SoftHyphensShowOnlyWhereALineBreaksAtThem) {
  std::string body = "<p>";
  for (int i = 0; i < 40; ++i)
    body += "The art&shy;ist can ex&shy;press every&shy;thing with ex&shy;tra&shy;or&shy;di&shy;nary "
            "con&shy;fi&shy;dence. ";
  open(simple_book({body + "</p>"}));
  size_t breaks_at_soft_hyphens = 0;
  each_placed([&](const LayoutLine& line, const PlacedWord& p) {
    EXPECT_EQ(p.shown.find("\xC2\xAD"), std::string::npos) << p.shown;
    // The text has no hyphens of its own: one shows only at the end of a cut line.
    const bool cut_here = p.index + 1 == line.word_to && line.cut_off != 0;
    EXPECT_EQ(p.shown.find('-'), cut_here ? p.shown.size() - 1 : std::string::npos) << p.shown;
    if (cut_here) breaks_at_soft_hyphens += ql_words()[p.index].text[line.cut_off] == '\xC2';
  });
  EXPECT_GT(breaks_at_soft_hyphens, 5u);
}

TEST_F(ReaderMarkup, ALongAddressIsDrawnWholeInsideTheMargins) {
  std::string url = "https://standardebooks.org/";
  while (url.size() < 300) url += "ebooks/section_" + std::to_string(url.size()) + "-part.";
  url.resize(300);
  open(simple_book({"<p>The address " + url + " ends here.</p>"}));
  const uint64_t w = find_word(url);
  const PageMetrics m = reader_page_metrics();
  std::string drawn;
  each_placed([&](const LayoutLine&, const PlacedWord& p) {
    if (p.index != w) return;
    drawn += p.shown;
    EXPECT_LE(p.x + p.width, m.margin + m.text_width + 0.5f);
  });
  EXPECT_EQ(drawn, url);
  // Nothing is drawn in the right margin of its page.
  reader_render_text_page(layout_page_of_word(w));
  const Framebuffer& fb = ql_fb();
  for (int y = 0; y < fb.height - 92; ++y)
    for (int x = fb.width - layout.margin_px + 4; x < fb.width; ++x)
      ASSERT_EQ(fb.pixels[static_cast<size_t>(y) * fb.width + x], 255) << x << "," << y;
}

TEST_F(ReaderMarkup, AChapterOpeningWithAPictureStartsAPageAndLinksLandOnThePicture) {
  EpubPlan plan = simple_book(
      {"<p>A link to <a href=\"ch2.xhtml#plate\">the plate</a>.</p>",
       // Two tall pictures, a page each: the word after the first is on the next page.
       "<img id=\"plate\" src=\"../images/tall.png\"/><img src=\"../images/tall2.png\"/>"
       "<p>Caption of the plates.</p>"});
  plan.items.emplace_back("tall", "images/tall.png", "image/png", grey_png(300, 900, 80), "", false);
  plan.items.emplace_back("tall2", "images/tall2.png", "image/png", grey_png(300, 900, 90), "",
                          false);
  open(plan);
  const uint64_t plate = find_word("\x01OEBPS/images/tall.png");
  ASSERT_EQ(layout.page_count(), 3u);
  EXPECT_EQ(layout.lines[layout.page_starts[1]].word_from, plate);
  EXPECT_EQ(layout.lines[layout.page_starts[2]].word_from, plate + 1);
  ASSERT_EQ(ql_link_token(1), static_cast<int64_t>(plate));
  EXPECT_EQ(layout_page_of_word(plate), 1u);
}

}  // namespace
