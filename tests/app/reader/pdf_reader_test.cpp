// A PDF on the reader page: the page and its footer, the adapter's message for a page it cannot
// draw, a long touch that highlights a word as a region note which the page then shades, and the
// region note format itself.
#include <gtest/gtest.h>

#include <cstring>

#include "app/reader/reader_page.h"
#include "app/reader/reader_select.h"
#include "app/reader/region_note.h"
#include "app/ui/app_state.h"
#include "base/ql_error.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"
#include "support/cover_fixture.h"
#include "support/pdf_builder.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"
#include "support/zip_writer.h"

namespace {

class PdfReader : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    PdfPlan plan;
    plan.pages = {{612, 792, 0, {{72, 300, 40, "Hello world"}}}, {612, 792, 0, {}}};
    path_ = root_.host("us/doc.pdf");
    write_file(path_, build_pdf(plan));
    ASSERT_EQ(ql_open(path_.c_str()), 1);
    qla_load(path_.c_str());
    snprintf(app.reader.open_path, sizeof app.reader.open_path, "%s", path_.c_str());
    app.reader.book_open = true;
    app.reader.page = 0;
  }
  void TearDown() override {
    app.reader.book_open = false;
    ql_book_replace(BookModel{});
    qlpdf_close();
    ScreenTest::TearDown();
  }
  uint8_t at(int x, int y) const { return ql_fb().pixels[static_cast<size_t>(y) * ql_fb().width + x]; }
  bool has_ink(int x0, int y0, int x1, int y1) const {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (at(x, y) < 128) return true;
    return false;
  }
  // The screen point of a page point on the page as last drawn.
  std::pair<int, int> screen_of(float page_x, float page_y) const {
    int x = 0, y = 0;
    qlpdf_page_to_screen(static_cast<int>(page_x * 10), static_cast<int>(page_y * 10), &x, &y);
    return {x, y};
  }

  std::string path_;
};

TEST_F(PdfReader, DrawsThePageWithItsFooterOrTheReasonItCannot) {
  const Framebuffer& fb = ql_fb();
  reader_draw_page();
  const auto [hx, hy] = screen_of(72, 290);
  EXPECT_TRUE(has_ink(hx, hy - 20, hx + 200, hy + 20)) << "the page's text";
  EXPECT_TRUE(has_ink(0, fb.height - 70, fb.width / 2, fb.height)) << "Page 1 of 2";
  EXPECT_FALSE(has_ink(0, 0, fb.width, 90));

  app.reader.page = 7;
  reader_draw_page();
  EXPECT_STREQ(ql_error(), "Page out of range");
  EXPECT_TRUE(has_ink(48, 270, 400, 305)) << "the message";
  EXPECT_FALSE(has_ink(0, 320, fb.width, fb.height - 70));
}

TEST_F(PdfReader, LongTouchOnAWordHighlightsItsRegionAndThePageShadesIt) {
  reader_draw_page();
  const auto [wx, wy] = screen_of(90, 290);  // inside "Hello"
  // The popup lies in the lower part of the screen for a touch in the upper half.
  const SelectionPopup popup = selection_popup(ql_fb().width, ql_fb().height, wy);
  touches_.touch(64 + popup.button_width / 2, popup.top + 170);  // "Highlight"
  TapEvent press;
  press.x = press.x2 = static_cast<uint32_t>(wx);
  press.y = press.y2 = static_cast<uint32_t>(wy);
  press.held_ms = 600;
  press.code = 1;
  reader_select(press);
  EXPECT_TRUE(ScriptedTouch::done());
  ASSERT_EQ(qla_hl_count(), 1u);
  const Highlight& h = qla_hls()[0];
  EXPECT_EQ(h.start, 0u);
  EXPECT_EQ(h.end, 1u);
  const RegionNote r = note_parse_region(h.note, strlen(h.note));
  ASSERT_TRUE(r.valid) << h.note;
  EXPECT_STREQ(strchr(h.note, '|'), "|Hello");
  // The region holds the touch point; its padding, white before, is shaded now.
  int x0, y0, x1, y1;
  qlpdf_page_to_screen(r.x0, r.y0, &x0, &y0);
  qlpdf_page_to_screen(r.x1, r.y1, &x1, &y1);
  EXPECT_TRUE(x0 <= wx && wx <= x1 && y0 <= wy && wy <= y1);
  reader_draw_page();
  EXPECT_EQ(at(x0 - 1, y0 - 1), 200);
  app.reader.page = 1;
  reader_draw_page();
  EXPECT_EQ(at(x0 - 1, y0 - 1), 255) << "only on its own page";

  // Reloaded from the notes file, the note still parses.
  qla_load(path_.c_str());
  ASSERT_EQ(qla_hl_count(), 1u);
  EXPECT_TRUE(note_parse_region(qla_hls()[0].note, strlen(qla_hls()[0].note)).valid);
}

TEST_F(PdfReader, ComicPagesAreMarkedAsPicturesPdfPagesAsPaper) {
  int x, y, w, h;
  reader_draw_page();
  ASSERT_EQ(qlpdf_page_images(&x, &y, &w, &h), 0);
  EXPECT_EQ(ql_mask()[static_cast<size_t>(y + h / 2) * ql_fb().width + x + w / 2], MASK_PAPER);

  const std::string comic = root_.host("us/comic.cbz");
  write_file(comic, zipw::build({{"1.png", flat_png(300, 420, 90)}}));
  ASSERT_EQ(ql_open(comic.c_str()), 1);
  reader_draw_page();
  ASSERT_EQ(qlpdf_page_images(&x, &y, &w, &h), 1);
  const uint8_t* mask = ql_mask();
  EXPECT_EQ(mask[static_cast<size_t>(y + h / 2) * ql_fb().width + x + w / 2], MASK_PICTURE);
  EXPECT_EQ(mask[static_cast<size_t>(y + h / 2) * ql_fb().width + x - 2], MASK_PAPER);
  EXPECT_EQ(at(x + w / 2, y + h / 2), 90);
}

TEST(RegionNote, ParsesFourSignedNumbersBeforeTheBar) {
  struct Case {
    const char* note;
    bool valid;
    RegionNote expected;
  } cases[] = {
      {"@r10,20,30,40|word", true, {10, 20, 30, 40, true}},
      {"@r-5,+6,1_000,0|", true, {-5, 6, 1000, 0, true}},
      {"@r1,2,3,4,5|five numbers", true, {1, 2, 3, 4, true}},
      {"@r1,2,3|three", false, {}},
      {"@r1,2,x,4|letter", false, {}},
      {"@r1,2,,4|empty", false, {}},
      {"@r1,2,3,4 no bar", false, {}},
      {"@r2147483648,0,0,0|overflow", false, {}},
      {"mark", false, {}},
      {"@", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const RegionNote r = note_parse_region(c.note, strlen(c.note));
    EXPECT_EQ(r.valid, c.valid);
    EXPECT_EQ(r.x0, c.expected.x0);
    EXPECT_EQ(r.y1, c.expected.y1);
  }
  EXPECT_EQ(note_format_region(-1, 2, 3, 4, "w"), "@r-1,2,3,4|w");
  EXPECT_EQ(note_format_region(1, 2, 3, 4, std::string(400, 'a')), "") << "too long for its buffer";
}

}  // namespace
