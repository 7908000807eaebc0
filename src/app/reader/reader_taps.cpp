#include "app/reader/reader_taps.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/reader/line_walker.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_bookmark.h"
#include "app/reader/reader_select.h"
#include "app/reader/reader_toolbar.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_state.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "display/framebuffer.h"
#include "display/touch.h"

namespace {
constexpr int kFooterStripHeight = 70;
constexpr int kCornerWidth = 130;
constexpr int kCornerHeight = 129;
constexpr int kTapTravel = 39;        // a touch that moved more than this is not a plain tap
constexpr int kLinkSlackEdge = 10;
constexpr int kLinkSlackMiddle = 24;
constexpr float kLinkReachAbove = 1.15f;  // of the text size, above the baseline
constexpr float kLinkReachBelow = 0.3f;
constexpr int kBookmarkLimitWaitMs = 2500;
constexpr std::string_view kBookmarkLimit = "This book has reached its limit of bookmarks.";

uint64_t current_position() {
  return ql_is_pdf() ? app.reader.page : layout.page_first_word(app.reader.page);
}
}  // namespace

uint64_t reader_page_count() {
  if (ql_is_pdf()) return static_cast<uint64_t>(std::max(ql_page_count(), 0));
  return layout.page_count();
}

void reader_turn_page(bool forward) {
  const uint64_t pages = reader_page_count();
  if (forward) {
    if (app.reader.page + 1 < pages) ++app.reader.page;
  } else if (app.reader.page > 0) {
    --app.reader.page;
  }
  ++app.reader.page_turns;
  app.reader.keep_prerender = true;
  app.reader.position_dirty = true;
  if (ui_state.refresh > 0 &&
      app.reader.page_turns % static_cast<uint64_t>(ui_state.refresh) == 0) {
    app.present.clean = false;
  }
}

bool reader_link_at(int x, int y) {
  if (!app.reader.book_open || ql_is_pdf() || app.reader.page >= layout.page_count()) return false;
  const int w = ql_fb().width;
  const float slack = (x >= w / 4 && x < w - w / 4) ? kLinkSlackMiddle : kLinkSlackEdge;
  const PageMetrics m = reader_page_metrics();
  const float s = static_cast<float>(layout.font_px);
  const auto fx = static_cast<float>(x), fy = static_cast<float>(y);
  uint32_t link = 0;
  const auto [first, last] = layout.page_lines(app.reader.page);
  for (size_t i = first; i < last && link == 0; ++i) {
    const LayoutLine& line = layout.lines[i];
    if (is_picture_line(line, m)) continue;
    if (fy < line.y - kLinkReachAbove * s || fy > line.y + kLinkReachBelow * s) continue;
    walk_line(line, m, [&](const PlacedWord& p) {
      const uint32_t id = m.words[p.index].link;
      if (id != 0 && fx >= p.x - slack && fx <= p.x + p.width + slack) {
        link = id;
        return false;
      }
      return true;
    });
  }
  if (link == 0) return false;
  const int64_t target_word = ql_link_token(link);
  if (target_word < 0) return false;
  const uint64_t target = layout_page_of_word(static_cast<uint64_t>(target_word));
  if (target == app.reader.page) return false;
  app.reader.back_page = app.reader.page;
  app.reader.back_valid = true;
  app.reader.page = target;
  app.reader.keep_prerender = true;
  return true;
}

void reader_toggle_bookmark() {
  if (const auto held = reader_page_bookmark()) {
    qla_bm_del(*held);
    ui_save_notes();
    return;
  }
  char label[64];
  const int n = snprintf(label, sizeof label, "Page %llu",
                         static_cast<unsigned long long>(app.reader.page + 1));
  if (n < 0 || static_cast<size_t>(n) >= sizeof label) label[0] = 0;
  if (!qla_bm_add(current_position(), label, ql_is_pdf() ? 0 : 1)) {
    ui_toast_wait(kBookmarkLimit.data(), kBookmarkLimit.size(), kBookmarkLimitWaitMs);
  }
  ui_save_notes();
}

ReaderTouch reader_touch_kind(const TapEvent& e, int w, int h) {
  const bool is_short = e.held_ms <= static_cast<uint32_t>(kHoldMs);
  const auto x = static_cast<int>(e.x), y = static_cast<int>(e.y);
  if (!is_short) return ReaderTouch::Hold;
  if (y > h - kFooterStripHeight && x < w / 3) return ReaderTouch::FooterMode;
  if (x > w - kCornerWidth && y <= kCornerHeight) return ReaderTouch::Bookmark;
  if (y < h / 10) return ReaderTouch::Toolbar;
  const int dx = std::abs(static_cast<int>(e.x2) - x);
  const int dy = std::abs(static_cast<int>(e.y2) - y);
  if (dx >= kSwipeMinPx && dx > dy) {
    return static_cast<int>(e.x2) < x ? ReaderTouch::SwipeForward : ReaderTouch::SwipeBack;
  }
  return ReaderTouch::LinkOrTurn;
}

void reader_handle_tap(const TapEvent& e) {
  const int w = ql_fb().width, h = ql_fb().height;
  const auto x = static_cast<int>(e.x), y = static_cast<int>(e.y);
  switch (reader_touch_kind(e, w, h)) {
    case ReaderTouch::FooterMode:
      ui_state.foot = static_cast<uint8_t>((ui_state.foot + 1) % 4);
      ui_save();
      return;
    case ReaderTouch::Bookmark:
      reader_toggle_bookmark();
      return;
    case ReaderTouch::Toolbar:
      reader_toolbar();
      return;
    case ReaderTouch::SwipeForward:
      reader_turn_page(true);
      return;
    case ReaderTouch::SwipeBack:
      reader_turn_page(false);
      return;
    case ReaderTouch::LinkOrTurn: {
      const int dx = std::abs(static_cast<int>(e.x2) - x);
      const int dy = std::abs(static_cast<int>(e.y2) - y);
      if (dx <= kTapTravel && dy <= kTapTravel && reader_link_at(x, y)) return;
      reader_turn_page(reader_zone_forward(x, w));
      return;
    }
    case ReaderTouch::Hold:
      reader_select(e);
      return;
  }
}
