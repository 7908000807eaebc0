// Real-world markup laid out with the real faces and drawn: soft hyphens, tables, definition
// lists, preformatted text, long addresses, and pictures that open chapters or are link targets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/line_walker.h"
#include "app/paginator.h"
#include "app/reader_page.h"
#include "book/book_model.h"
#include "device_root.h"
#include "display/framebuffer.h"
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
    for (uint64_t i = 0; i < ql_word_count(); ++i)
      if (text == ql_words()[i].text) return i;
    ADD_FAILURE() << "no word " << text;
    return 0;
  }

  // The shown pieces of every line, in order.
  std::vector<std::vector<std::string>> shown_lines() const {
    std::vector<std::vector<std::string>> out;
    const PageMetrics m = reader_page_metrics();
    for (const LayoutLine& line : layout.lines) {
      out.emplace_back();
      walk_line(line, m, [&](const PlacedWord& p) {
        out.back().emplace_back(p.shown);
        return true;
      });
    }
    return out;
  }

  // The page holding the line that starts with word w.
  uint64_t page_of_line_starting(uint64_t w) const {
    for (size_t i = 0; i < layout.lines.size(); ++i) {
      if (layout.lines[i].word_from != w) continue;
      uint64_t page = 0;
      while (page + 1 < layout.page_count() && layout.page_starts[page + 1] <= i) ++page;
      return page;
    }
    ADD_FAILURE() << "no line starts with word " << w;
    return 0;
  }

  bool ink_in(int x0, int y0, int x1, int y1) const {
    const Framebuffer& fb = ql_fb();
    for (int y = std::max(y0, 0); y < std::min(y1, fb.height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, fb.width); ++x)
        if (fb.pixels[static_cast<size_t>(y) * fb.width + x] != 255) return true;
    return false;
  }

  DeviceRoot root_;
};

TEST_F(ReaderMarkup, SoftHyphensShowOnlyWhereALineBreaksAtThem) {
  std::string body = "<p>";
  for (int i = 0; i < 40; ++i) {
    body += "The art&shy;ist can ex&shy;press every&shy;thing with ex&shy;tra&shy;or&shy;di&shy;"
            "nary con&shy;fi&shy;dence. ";
  }
  open(simple_book({body + "</p>"}));
  const auto lines = shown_lines();
  size_t breaks_at_soft_hyphens = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i));
    const LayoutLine& line = layout.lines[i];
    for (size_t k = 0; k < lines[i].size(); ++k) {
      const std::string& piece = lines[i][k];
      EXPECT_EQ(piece.find("\xC2\xAD"), std::string::npos) << piece;
      // The text has no hyphens of its own: one shows only at the end of a cut line.
      const bool cut_here = k + 1 == lines[i].size() && line.cut_off != 0;
      EXPECT_EQ(piece.find('-'), cut_here ? piece.size() - 1 : std::string::npos) << piece;
    }
    if (line.cut_off != 0) {
      const std::string word = ql_words()[line.word_to - 1].text;
      breaks_at_soft_hyphens += word.compare(line.cut_off, 2, "\xC2\xAD") == 0;
    }
  }
  EXPECT_GT(breaks_at_soft_hyphens, 5u);
}

TEST_F(ReaderMarkup, TablesListsAndPreformattedTextKeepTheirLines) {
  open(simple_book(
      {"<table><tr><th>Entity</th><th>Decimal</th><th>Hexadecimal</th></tr>"
       "<tr><td>amp</td><td>38</td><td>26</td></tr></table>"
       "<dl><dt>Term one</dt><dd>Definition one.</dd></dl>"
       "<pre>first line\n  second line</pre>"}));
  const std::vector<std::vector<std::string>> want = {
      {"Entity", "Decimal", "Hexadecimal"}, {"amp", "38", "26"}, {"Term", "one"},
      {"Definition", "one."},               {"first", "line"},   {"second", "line"}};
  EXPECT_EQ(shown_lines(), want);
}

TEST_F(ReaderMarkup, ALongAddressIsDrawnWholeInsideTheMargins) {
  std::string url = "https://standardebooks.org/";
  while (url.size() < 300) url += "ebooks/section_" + std::to_string(url.size()) + "-part.";
  url = url.substr(0, 300);
  open(simple_book({"<p>The address " + url + " ends here.</p>"}));
  const uint64_t w = find_word(url);
  std::string drawn;
  const PageMetrics m = reader_page_metrics();
  for (const LayoutLine& line : layout.lines) {
    walk_line(line, m, [&](const PlacedWord& p) {
      if (p.index == w) {
        drawn += p.shown;
        EXPECT_GE(p.x, m.margin);
        EXPECT_LE(p.x + p.width, m.margin + m.text_width + 0.5f);
      }
      return true;
    });
  }
  EXPECT_EQ(drawn, url);
  // Nothing is drawn in the side margins of its page.
  const uint64_t page = layout_page_of_word(w);
  reader_render_text_page(page);
  const Framebuffer& fb = ql_fb();
  const int side = layout.margin_px - 4;
  EXPECT_FALSE(ink_in(0, 0, side, fb.height - 92));
  EXPECT_FALSE(ink_in(fb.width - side, 0, fb.width, fb.height - 92));
}

TEST_F(ReaderMarkup, AChapterOpeningWithAPictureStartsAPageAndLinksLandOnThePicture) {
  EpubPlan plan = simple_book(
      {"<p>Chapter one, with a link to <a href=\"ch2.xhtml#plate\">the plate</a> and to "
       "<a href=\"ch3.xhtml#fig\">the figure</a>.</p>",
       // Two tall pictures, a page each: the word after the first is on the next page.
       "<img id=\"plate\" src=\"../images/tall.png\"/><img src=\"../images/tall2.png\"/>"
       "<p>Caption of the plates.</p>",
       "<p>Chapter three.</p><p>Text before the figure.</p><img id=\"fig\" "
       "src=\"../images/wide.png\"/><p>After the figure.</p>"});
  plan.items.emplace_back("tall", "images/tall.png", "image/png", grey_png(300, 900, 80), "", false);
  plan.items.emplace_back("tall2", "images/tall2.png", "image/png", grey_png(300, 900, 120), "",
                          false);
  plan.items.emplace_back("wide", "images/wide.png", "image/png", grey_png(400, 200, 80), "", false);
  open(plan);
  const uint64_t plate = find_word("\x01OEBPS/images/tall.png");
  const uint64_t figure = find_word("\x01OEBPS/images/wide.png");
  const uint64_t plate_page = page_of_line_starting(plate);
  EXPECT_EQ(layout.page_starts[plate_page], [&] {
    size_t i = 0;
    while (layout.lines[i].word_from != plate) ++i;
    return i;
  }());
  EXPECT_EQ(plate_page, 1u);  // chapter one's single page, then the plate
  EXPECT_GT(page_of_line_starting(plate + 1), plate_page);
  // Links to the pictures lead to the pages that show them.
  ASSERT_EQ(ql_link_token(1), static_cast<int64_t>(plate));
  ASSERT_EQ(ql_link_token(2), static_cast<int64_t>(figure));
  EXPECT_EQ(layout_page_of_word(plate), plate_page);
  EXPECT_EQ(layout_page_of_word(figure), page_of_line_starting(figure));
}

}  // namespace
