#include "store/purchase_thanks.h"

#include <cstdint>
#include <memory>
#include <string>

#include "app/reader/reader_open.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "book/book_model.h"
#include "book/book_pictures.h"
#include "book/epub.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "display/touch.h"
#include "store/store_orders.h"

namespace {
constexpr int kBoxX = 72;
constexpr int kBoxHeight = 520;
constexpr int kInnerX = 128;
constexpr int kTitleDrop = 116;  // "Thank you" baseline below the box's top
constexpr int kBookDrop = 200;   // the book's title, first baseline
constexpr int kBookSize = 54;
constexpr int kBookLineHeight = 62;
constexpr int kAfterBookGap = 10;
// The title and "is now in your library." share the room above the buttons: three lines, of
// which the title takes at most two (a longer one is cut with "...").
constexpr int kTextLinesMax = 3;
constexpr int kBookLinesMax = 2;
constexpr int kButtonsDrop = 360;
constexpr int kButtonHeight = 112;
constexpr int kButtonTextDrop = 74;  // button label baseline below the row's top
constexpr int kButtonGap = 32;
constexpr int kTapSlack = 12;  // taps this far above or below the row still count
constexpr size_t kExtensionReach = 5;
constexpr int kSliceMs = 500;
constexpr double kAutoOpenMs = 4000;
constexpr size_t kCoverPathMax = 4095;

int box_top() { return (ql_fb().height - kBoxHeight) / 2; }

// Shows the book's cover full screen until a tap; false when the book gives none.
bool show_cover(std::string_view path) {
  const int w = ql_fb().width, h = ql_fb().height;
  const std::string device_path(path.substr(0, kCoverPathMax));
  std::unique_ptr<uint8_t[]> cover(new (std::nothrow) uint8_t[size_t(w) * size_t(h)]);
  if (!cover || !ql_epub_cover(device_path.c_str(), cover.get(), w, h)) return false;
  for (;;) {
    ql_blit(cover.get(), w, h, 0, 0);
    ql_mark(0, 0, w, h, MASK_PICTURE);
    ui_present(true);
    TapEvent event;
    int32_t code;
    do code = ui_wait_event_timed(event, 0);
    while (code != TAP_TOUCH && !ui_redraw_after(code));
    if (code == TAP_TOUCH) return true;
  }
}

// Opens the book; a text book that does not begin with a picture of its own shows its cover first.
void open_at_cover(std::string_view path) {
  const std::string device_path(path);
  book_open(device_path.c_str(), device_path.size());
  if (app.view != AppView::Reader || !app.reader.book_open || ql_is_pdf()) return;
  if (ql_word_count() > 0 && ql_words()[0].style == STYLE_PICTURE) {
    int pw = 0, ph = 0;
    if (ql_img_dims(0, &pw, &ph)) return;
  }
  show_cover(path);
}
}  // namespace

std::string_view purchase_shown_title(std::string_view title) {
  const size_t dot = title.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || title.size() - dot > kExtensionReach)
    return title;
  return title.substr(0, dot);
}

ThanksButtons purchase_thanks_screen(std::string_view title) {
  const int w = ql_fb().width;
  const int top = box_top();
  const int inner = w - 2 * kInnerX;
  app_call(app_hooks.draw_library);
  ql_rect(kBoxX, top, w - 2 * kBoxX, kBoxHeight, 255);
  ql_mark(kBoxX, top, w - 2 * kBoxX, kBoxHeight, MASK_PAPER);
  ql_frame(kBoxX, top, w - 2 * kBoxX, kBoxHeight, 4);
  ui_draw_title_fit("Thank you", kInnerX, top + kTitleDrop, inner);
  const int first = top + kBookDrop;
  const int below = ui_draw_wrapped_cut(purchase_shown_title(title), ui_face(TS_BOLD), kBookSize,
                                        kInnerX, first, inner, kBookLineHeight, kBookLinesMax);
  const int title_lines = (below - first) / kBookLineHeight;
  ui_draw_wrapped_cut("is now in your library.", ui_face(TS_REGULAR), kBookSize, kInnerX,
                      below + kAfterBookGap, inner, kBookLineHeight, kTextLinesMax - title_lines);
  const ThanksButtons row{top + kButtonsDrop, kButtonHeight};
  const int text_y = row.y + kButtonTextDrop;
  if (ui_state.buy) {
    ql_frame(kInnerX, row.y, inner, kButtonHeight, 4);
    ui_draw_centred("Done", TS_BOLD, kBookSize, kInnerX, inner, text_y);
  } else {
    const int half = (w - 2 * kInnerX - kButtonGap) / 2;
    const int second_x = kInnerX + half + kButtonGap;
    ql_frame(kInnerX, row.y, half, kButtonHeight, 2);
    ui_draw_centred("Library", TS_REGULAR, kBookSize, kInnerX, half, text_y);
    ql_frame(second_x, row.y, half, kButtonHeight, 4);
    ui_draw_centred("Open book", TS_BOLD, kBookSize, second_x, half, text_y);
  }
  return row;
}

void store_show_purchased_book(std::string_view path, std::string_view title) {
  store_purchase_shown = true;
  app_call(app_hooks.library_fresh);
  const bool keep = ui_state.buy;
  ThanksButtons row = purchase_thanks_screen(title);
  ui_present(true);
  const double open_at = ql_touch_now_ms() + kAutoOpenMs;
  bool open = false;
  for (;;) {
    TapEvent event;
    const int32_t code = ui_wait_event_timed(event, kSliceMs);
    if (ui_redraw_after(code)) {
      row = purchase_thanks_screen(title);
      ui_present(true);
      continue;
    }
    if (code == TAP_TOUCH) {
      if (keep) break;
      const int y = static_cast<int>(event.y);
      if (y < row.y - kTapSlack || y > row.y + row.height + kTapSlack) continue;
      open = static_cast<int>(event.x) > ql_fb().width / 2;
      break;
    }
    if (!keep && ql_touch_now_ms() >= open_at) {
      open = true;
      break;
    }
  }
  app.present.clean = false;
  if (open) open_at_cover(path);
  app.present.clean = false;
}
