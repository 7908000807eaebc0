#include "app/reader/reader_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "base/byte_reader.h"
#include "book/annotations.h"
#include "display/framebuffer.h"
#include "support/device_root.h"
#include "support/epub_builder.h"
#include "support/pdf_builder.h"
#include "support/temp_dir.h"

namespace {
// English prose with long words (so lines hyphenate), headings, an ordered list and an italic
// word glued to punctuation.
std::string chapter(int n) {
  std::string body = "<h1>Chapter " + std::to_string(n) + "</h1>";
  const char* sentences[] = {
      "The extraordinary circumstances of the international establishment were incomprehensible to "
      "the representative, notwithstanding his considerable understanding of responsibility.",
      "Nevertheless the <i>conversation</i>, characteristically philosophical, went on without "
      "disappointment until the development of the recollection was remarkable.",
  };
  for (int p = 0; p < 12; ++p) {
    body += "<p>";
    for (int s = 0; s < 4; ++s) body += std::string(sentences[(p + s) % 2]) + " ";
    body += "</p>";
    if (p == 5) body += "<ol><li>first item of the list</li><li>second item</li></ol>";
  }
  return body;
}

std::string write_book(const std::string& path) {
  std::vector<std::string> bodies;
  for (int c = 1; c <= 4; ++c) bodies.push_back(chapter(c));
  write_file(path, build_epub(simple_book(bodies)));
  return path;
}

// The process-wide reader state over a real book, laid out with the real faces.
class ReaderPage : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ql_init(1), 1);
    // Inside the device folder, so the path remapping leaves it as it is.
    book_ = write_book(root_.host("us/book.epub"));
    ASSERT_EQ(ql_open(book_.c_str()), 1);
    layout = PageTable{};
    layout.font_px = 40;
    ASSERT_TRUE(layout_paginate(layout.font_px));
    ASSERT_GT(layout.page_count(), 4u);
    qla_load(book_.c_str());
  }
  void TearDown() override {
    ql_book_replace(BookModel{});
    layout_free();
    layout = PageTable{};
  }

  const uint8_t* pixels() const { return ql_fb().pixels; }
  uint8_t at(int x, int y) const { return pixels()[static_cast<size_t>(y) * ql_fb().width + x]; }
  // Whether any pixel of the rectangle is darker than white.
  bool has_ink(int x0, int y0, int x1, int y1) const {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (at(x, y) != 255) return true;
    return false;
  }

  DeviceRoot root_;
  std::string book_;
};

TEST_F(ReaderPage, APagePastTheEndIsBlankWithoutFooter) {
  reader_render_text_page(layout.page_count());
  const Framebuffer& fb = ql_fb();
  EXPECT_FALSE(has_ink(0, 0, fb.width, fb.height));
  reader_render_text_page(0);
  EXPECT_TRUE(has_ink(0, 0, fb.width, fb.height - 92));
  EXPECT_TRUE(has_ink(0, fb.height - 92, fb.width, fb.height));
}

TEST_F(ReaderPage, FooterModeThreeLeavesTheBottomBandEmpty) {
  const Framebuffer& fb = ql_fb();
  ui_state.foot = 3;
  reader_render_text_page(1);
  EXPECT_FALSE(has_ink(0, fb.height - 80, fb.width, fb.height));
  ui_state.foot = 2;
  reader_render_text_page(1);
  EXPECT_FALSE(has_ink(0, fb.height - 80, fb.width / 2, fb.height));
  EXPECT_TRUE(has_ink(fb.width / 2, fb.height - 80, fb.width, fb.height));
}

TEST_F(ReaderPage, HighlightShadesItsWordsAndTheSpacesAfterThem) {
  // Three words in the middle of a body line of page 1.
  const auto [first, last] = layout.page_lines(1);
  size_t li = first;
  while (li < last &&
         (layout.lines[li].word_to - layout.lines[li].word_from < 6 || layout.lines[li].start_off))
    ++li;
  ASSERT_LT(li, last);
  const LayoutLine line = layout.lines[li];
  const uint64_t start = line.word_from + 1;
  ASSERT_EQ(qla_hl_add(start, start + 3, ""), 1);
  reader_render_text_page(1);
  std::vector<PlacedWord> placed;
  walk_line(line, reader_page_metrics(), [&](const PlacedWord& p) {
    placed.push_back(p);
    return true;
  });
  const int y = static_cast<int>(line.y - 0.3f * static_cast<float>(layout.font_px));
  auto gap_after = [&](size_t k) {
    return static_cast<int>((placed[k].x + placed[k].width + placed[k + 1].x) / 2);
  };
  EXPECT_EQ(at(gap_after(0), y), 255);  // before the highlight
  EXPECT_EQ(at(gap_after(1), y), 205);
  EXPECT_EQ(at(gap_after(3), y), 205);  // the space after the last highlighted word
  EXPECT_EQ(at(gap_after(4), y), 255);
  // Justified spaces are shaded whole: no white column between the first and last shaded word.
  ASSERT_TRUE(line.justify);
  for (int x = static_cast<int>(placed[1].x); x < static_cast<int>(placed[4].x); ++x) {
    ASSERT_NE(at(x, y), 255) << x;
  }
  qla_hl_del(0);
}

TEST_F(ReaderPage, ListNumbersStandInTheLeftMargin) {
  const BookWord* words = ql_words();
  uint64_t numbered = 0;
  while (numbered < ql_word_count() && words[numbered].num != 1) ++numbered;
  ASSERT_LT(numbered, ql_word_count());
  const uint64_t page = layout_page_of_word(numbered);
  const auto [first, last] = layout.page_lines(page);
  size_t li = first;
  while (li < last && layout.lines[li].word_from != numbered) ++li;
  ASSERT_LT(li, last);
  reader_render_text_page(page);
  const int y = static_cast<int>(layout.lines[li].y);
  EXPECT_TRUE(has_ink(2, y - 20, layout.margin_px, y));
  // The line above carries no number.
  EXPECT_FALSE(has_ink(2, y - 60, layout.margin_px - 1, y - 40));
}

TEST_F(ReaderPage, BookmarkRibbonOnTheBookmarkedPage) {
  app.reader.page = 2;
  ASSERT_EQ(qla_bm_add(layout.page_first_word(2), "Page 3", 1), 1);
  reader_draw_page();
  const int w = ql_fb().width;
  EXPECT_EQ(at(w - 60, 0), 0);
  EXPECT_EQ(at(w - 25, 69), 0);
  app.reader.page = 3;
  reader_draw_page();
  EXPECT_EQ(at(w - 60, 0), 255);
  qla_bm_del(0);
}

// A word cut at the end of a page shows its hyphen there and its rest at the next page's start.
TEST_F(ReaderPage, HyphenatedWordContinuesOnTheNextPage) {
  const PageMetrics m = reader_page_metrics();
  bool found = false;
  for (uint64_t p = 0; p + 1 < layout.page_count() && !found; ++p) {
    const LayoutLine& last = layout.lines[layout.page_lines(p).second - 1];
    if (last.cut_off == 0) continue;
    found = true;
    std::string end, rest;
    walk_line(last, m, [&](const PlacedWord& w) {
      end = std::string(w.shown);
      return true;
    });
    const LayoutLine& next = layout.lines[layout.page_starts[p + 1]];
    walk_line(next, m, [&](const PlacedWord& w) {
      rest = std::string(w.shown);
      return false;
    });
    const std::string word = ql_words()[last.word_to - 1].text;
    EXPECT_EQ(next.start_off, last.cut_off);
    EXPECT_EQ(end, word.substr(0, last.cut_off) + "-");
    EXPECT_EQ(rest, word.substr(last.cut_off));
  }
  // Whether some page ends in a split word depends on the text; at this size many lines do.
  size_t split_lines = 0;
  for (const LayoutLine& l : layout.lines) split_lines += l.cut_off != 0;
  EXPECT_GT(split_lines, 10u);
}

TEST(ReaderFooter, TimeLeftAndPercent) {
  const std::pair<uint64_t, const char*> times[] = {
      {0, "0 min left"},
      {249, "0 min left"},
      {250, "1 min left"},
      {14999, "59 min left"},
      {15000, "1 h 0 min left"},
      {20000, "1 h 20 min left"},
      {2000000, "133 h 20 min left"},
  };
  for (auto [words, text] : times) {
    SCOPED_TRACE(words);
    EXPECT_EQ(reading_time_left(words), text);
  }
  DeviceRoot root;
  BookModel book;
  for (int i = 0; i < 20000; ++i) book.addword("word", 0, 0);
  ql_book_replace(std::move(book));
  layout = PageTable{};
  for (uint64_t i = 0; i < 7; ++i) {
    layout.lines.push_back({i * 1000, i * 1000 + 1000, 0, 100, 10, 0, 0, false});
    layout.page_starts.push_back(i);
  }
  struct Case {
    uint8_t foot;
    uint64_t page;
    const char* left;
    const char* right;
  };
  const Case cases[] = {
      {0, 0, "1 h 20 min left", "14%"},
      {0, 6, "56 min left", "100%"},
      {0, 9, "1 h 20 min left", "142%"},  // a page not in the table: the whole book left
      {1, 0, "Page 1 of 7", "14%"},
      {2, 3, "", "57%"},
      {3, 3, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.foot) + " page " + std::to_string(c.page));
    ui_state.foot = c.foot;
    const FooterTexts t = reader_footer_texts(c.page, 7);
    EXPECT_EQ(t.left, c.left);
    EXPECT_EQ(t.right, c.right);
  }
  ui_state.foot = 0;
  EXPECT_EQ(reader_footer_texts(0, 0).right, "0%");
  ql_book_replace(BookModel{});
  layout = PageTable{};
}

// The tool modes through the real program. Its files lie in the data folder, which the program's
// path remapping leaves as they are.
class ReaderTools : public testing::Test {
 protected:
  void SetUp() override { mkdir((dir_ / "data").c_str(), 0755); }
  std::string file(const std::string& name) const { return dir_ / ("data/" + name); }

  // Runs quillo with the arguments; standard error is kept in err.
  int run(const std::vector<std::string>& args) {
    std::string cmd = "QUILLO_STATE='" + (dir_ / "state") + "' CVNL_DATA='" + (dir_ / "data") +
                      "' CVNL_HEADLESS=1 '" + QL_TEST_QUILLO + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " 2>'" + (dir_ / "err.txt") + "' </dev/null";
    const int status = std::system(cmd.c_str());
    err = read_file(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempDir dir_;
  std::string err;
};

TEST_F(ReaderTools, RenderWritesAGreyPngOfTheChosenPage) {
  const std::string book = write_book(file("book.epub"));
  ASSERT_EQ(run({"--render", book, file("p5.png"), "5"}), 0) << err;
  const std::string png = read_file(file("p5.png"));
  ASSERT_GT(png.size(), 33u);
  const ByteReader head(png);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(head.u32be_at(16), 1072u);
  EXPECT_EQ(head.u32be_at(20), 1448u);
  EXPECT_EQ(png[24], 8);  // bit depth
  EXPECT_EQ(png[25], 0);  // grey
  // Page 0 and no page both mean the first page; page 5 is another.
  ASSERT_EQ(run({"--render", book, file("p0.png"), "0"}), 0);
  ASSERT_EQ(run({"--render", book, file("first.png")}), 0);
  EXPECT_EQ(read_file(file("p0.png")), read_file(file("first.png")));
  EXPECT_NE(read_file(file("p0.png")), png);
}

TEST_F(ReaderTools, RenderFailures) {
  const std::string book = write_book(file("book.epub"));
  EXPECT_EQ(run({"--render", book}), 2);
  EXPECT_EQ(run({"--render", file("missing.epub"), file("out.png")}), 1);
  EXPECT_FALSE(file_exists(file("out.png")));
  EXPECT_EQ(run({"--render", book, file("no/such/folder/out.png")}), 1);
  EXPECT_NE(err.find("quillo: PngWriteFailed\n"), std::string::npos) << err;
}


// The numbers of each "open .. ms  layout .. ms  draw .. ms  words N pages N" line; empty when
// any line is not of that form.
std::vector<std::pair<unsigned long, unsigned long>> bench_lines(const std::string& text) {
  std::vector<std::pair<unsigned long, unsigned long>> out;
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = text.find('\n', from);
    if (end == std::string::npos) return {};
    const std::string line = text.substr(from, end - from);
    double open = 0, lay = 0, draw = 0;
    unsigned long words = 0, pages = 0;
    char check[160];
    if (sscanf(line.c_str(), "open %lf ms  layout %lf ms  draw %lf ms  words %lu pages %lu", &open,
               &lay, &draw, &words, &pages) != 5) {
      return {};
    }
    snprintf(check, sizeof check, "open %.1f ms  layout %.1f ms  draw %.1f ms  words %lu pages %lu",
             open, lay, draw, words, pages);
    if (line != check) return {};
    out.emplace_back(words, pages);
    from = end + 1;
  }
  return out;
}

TEST_F(ReaderTools, BenchOpenPrintsOneLinePerRun) {
  const std::string book = write_book(file("book.epub"));
  ASSERT_EQ(run({"--bench-open", book, "3"}), 0) << err;
  const auto lines = bench_lines(err);
  ASSERT_EQ(lines.size(), 3u) << err;
  EXPECT_GT(lines[0].first, 1000u);
  EXPECT_GT(lines[0].second, 4u);
  EXPECT_EQ(lines[2], lines[0]);
  EXPECT_EQ(run({"--bench-open", book, "0"}), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(run({"--bench-open", book, "many"}), 0);
  EXPECT_EQ(bench_lines(err).size(), 1u) << err;
  EXPECT_EQ(run({"--bench-open", file("missing.epub"), "2"}), 1);
}

// A page the book does not have is refused, never written as a blank picture.
TEST_F(ReaderTools, RenderRefusesAPagePastTheEnd) {
  const std::string book = write_book(file("book.epub"));
  ASSERT_EQ(run({"--bench-open", book}), 0) << err;
  const auto lines = bench_lines(err);
  ASSERT_EQ(lines.size(), 1u) << err;
  const std::string pages = std::to_string(lines[0].second);
  ASSERT_EQ(run({"--render", book, file("last.png"), pages}), 0) << err;
  EXPECT_TRUE(file_exists(file("last.png")));
  const std::string past = std::to_string(lines[0].second + 1);
  EXPECT_EQ(run({"--render", book, file("past.png"), past}), 1);
  EXPECT_EQ(err, "quillo: page " + past + " is past the end of the book (" + pages + " pages)\n");
  EXPECT_FALSE(file_exists(file("past.png")));
}

TEST_F(ReaderTools, PdfPagesRenderAndBenchOpenCountsThem) {
  PdfPlan plan;
  for (const char* text : {"First page", "Second page", "Third page"}) {
    plan.pages.push_back({612, 792, 0, {{72, 100, 30, text}}});
  }
  write_file(file("doc.pdf"), build_pdf(plan));
  ASSERT_EQ(run({"--render", file("doc.pdf"), file("p1.png")}), 0) << err;
  ASSERT_EQ(run({"--render", file("doc.pdf"), file("p2.png"), "2"}), 0) << err;
  EXPECT_NE(read_file(file("p1.png")), read_file(file("p2.png")));
  ASSERT_EQ(run({"--bench-open", file("doc.pdf"), "2"}), 0) << err;
  const auto lines = bench_lines(err);
  ASSERT_EQ(lines.size(), 2u) << err;
  EXPECT_EQ(lines[0], std::make_pair(0ul, 3ul));
  // A page past the end is refused as it is for a text book.
  EXPECT_EQ(run({"--render", file("doc.pdf"), file("p9.png"), "9"}), 1);
  EXPECT_EQ(err, "quillo: page 9 is past the end of the book (3 pages)\n");
  EXPECT_FALSE(file_exists(file("p9.png")));
}
}  // namespace
