// Pages pre-rendered into the two slots and copied in at a turn: every page comes out as it is
// drawn afresh, grey and mask alike, whether its slot held a page with a picture or without.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/reader/page_slots.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/ui/app_state.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "support/device_root.h"
#include "support/epub_builder.h"
#include "support/picture_fixtures.h"
#include "support/reader_book.h"

namespace {

struct Planes {
  std::vector<uint8_t> grey, mask;
  bool operator==(const Planes&) const = default;
};

Planes screen_planes() {
  const Framebuffer& fb = ql_fb();
  const size_t n = static_cast<size_t>(fb.width) * fb.height;
  return {std::vector<uint8_t>(fb.pixels, fb.pixels + n),
          std::vector<uint8_t>(ql_mask(), ql_mask() + n)};
}

class PageSlots : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ql_init(1), 1); }
  void TearDown() override { close_test_book(); }
  DeviceRoot root_;
};

}  // namespace

TEST_F(PageSlots, APageCopiedFromItsSlotIsThePageDrawnAfresh) {
  // Text pages and pages that open with a picture of a size of their own, so that each slot takes
  // turns holding both, and a picture's marks never cover the one before.
  std::vector<std::string> bodies;
  const char* names[] = {"p0", "p1", "p2", "p3"};
  for (int c = 0; c < 4; ++c) {
    std::string body = "<img src=\"../images/";
    body.append(names[c]).append(".png\"/>");
    body += filler_paragraph(c, 30);
    body += filler_paragraph(c + 10, 200);
    bodies.push_back(body);
  }
  EpubPlan plan = simple_book(bodies);
  for (int c = 0; c < 4; ++c) {
    plan.items.emplace_back(names[c], std::string("images/").append(names[c]).append(".png"),
                            "image/png", grey_png(600 - 120 * c, 200 + 60 * c, 90), "", false);
  }
  const std::string path = root_.host("us/book.epub");
  write_file(path, build_epub(plan));
  ASSERT_EQ(ql_open(path.c_str()), 1);
  layout = PageTable{};
  ASSERT_TRUE(layout_paginate(40));
  const uint64_t pages = layout.page_count();
  ASSERT_GE(pages, 8u);
  app.reader.book_open = true;
  app.view = AppView::Reader;

  std::vector<Planes> afresh;
  for (uint64_t p = 0; p < pages; ++p) {
    reader_render_text_page(p);
    afresh.push_back(screen_planes());
  }
  ASSERT_NE(afresh[0].mask, afresh[1].mask) << "the book has no page with a picture";

  // Forward through the book and back again, each page copied in from the slot the page before
  // it pre-rendered.
  std::vector<uint64_t> walk;
  for (uint64_t p = 1; p < pages; ++p) walk.push_back(p);
  for (uint64_t p = pages - 1; p-- > 0;) walk.push_back(p);
  uint64_t from = 0;
  for (uint64_t p : walk) {
    SCOPED_TRACE(testing::Message() << "page " << p << " after page " << from);
    app.reader.page = from;
    prerender_neighbours();
    app.reader.page = p;
    ASSERT_NE(page_bitmap_cached(p), nullptr);
    app.reader.use_prerender = true;
    reader_draw_page();
    EXPECT_TRUE(screen_planes() == afresh[p]);
    from = p;
  }
}
