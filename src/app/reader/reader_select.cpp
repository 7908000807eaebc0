#include "app/reader/reader_select.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "app/reader/book_search.h"
#include "app/reader/dictionary_page.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/reader/reader_words.h"
#include "app/reader/region_note.h"
#include "app/ui/app_state.h"
#include "app/ui/save_notice.h"
#include "app/ui/ui_keyboard.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "book/annotations.h"
#include "book/book_model.h"
#include "book/pdf_adapter.h"
#include "display/framebuffer.h"

namespace {
constexpr uint32_t kSelectWaveform = 4;
// For a selection in the upper half the popup sits low, its bottom edge on the top of the
// footer's band, so the footer (time left, percent, page) stays readable under it.
constexpr int kFooterBand = 70;
constexpr int kPopupBelowTop = kSelectionPopupHeight + kFooterBand;
constexpr int kPopupUpperTop = 120;
constexpr int kPopupSide = 32;
constexpr int kPopupFrame = 3;
constexpr int kTitleSize = 40;
constexpr int kNextSize = 42;
constexpr int kButtons = 5;
constexpr int kButtonTop = 118;
constexpr int kButtonHeight = 140;
constexpr int kButtonLabelBaseline = 200;
constexpr int kBandHeight = 110;    // the title band: taps there take "Next page" or close
constexpr int kButtonBandEnd = 280;
constexpr int kHandleReach = 80;
constexpr int kHandleRadius = 14;
constexpr int kHandleDrop = 18;
constexpr int kNextPageReach = 300;
constexpr size_t kSelectedTextMax = 400;
constexpr size_t kNoteCapacity = 400;
constexpr size_t kPdfWordSize = 256;
constexpr int kPdfButtonBandTop = 100;
constexpr int kPdfButtonBandEnd = 240;
constexpr int kPdfWordBar = 4;
constexpr std::array<std::string_view, kButtons> kLabels = {"Highlight", "Note", "Dictionary",
                                                            "Search", "Cancel"};

struct Selection {
  uint64_t first;
  uint64_t last;
  // The word the press began on and the byte of its text under the finger (npos: not known).
  uint64_t pressed = 0;
  size_t finger = std::string_view::npos;

  // Where the finger lies in the selected text: known while the selection is the pressed word.
  size_t finger_in_text() const {
    return first == pressed && last == pressed ? finger : std::string_view::npos;
  }
};

// The largest interface size from 34 down to 30 that fits, else 30 cut with "...".
void draw_button_label(std::string_view label, int x, int y, int width) {
  const std::string text(label);
  for (int size = 34; size >= 30; --size) {
    if (ql_measure(text.c_str(), TS_UI, static_cast<float>(size)) <= static_cast<float>(width)) {
      ql_text(text.c_str(), TS_UI, static_cast<float>(size), static_cast<float>(x), static_cast<float>(y));
      return;
    }
  }
  const std::string cut = ui_cut_to_width(text, TS_UI, 30, static_cast<float>(width));
  ql_text(cut.c_str(), TS_UI, 30, static_cast<float>(x), static_cast<float>(y));
}

// Draws the popup's box, quoted title and five framed buttons.
void draw_popup_frame(const SelectionPopup& p, const std::string& text, int title_width, int label_style) {
  const int w = ql_fb().width;
  const int y = p.top;
  ql_rect(kPopupSide, y, w - 2 * kPopupSide, kSelectionPopupHeight, 255);
  ql_frame(kPopupSide, y, w - 2 * kPopupSide, kSelectionPopupHeight, kPopupFrame);
  char quoted[kSelectedTextMax + 3];
  format_quoted(quoted, sizeof quoted, text);
  ui_draw_text_fit(quoted, TS_ITALIC, kTitleSize, 64, y + 72, title_width);
  for (int i = 0; i < kButtons; ++i) {
    const int bx = 64 + i * p.button_width;
    ql_frame(bx, y + kButtonTop, p.button_width - 8, kButtonHeight, 2);
    const std::string label(kLabels[static_cast<size_t>(i)]);
    if (label_style == TS_UI) {
      draw_button_label(label, 70 + i * p.button_width, y + kButtonLabelBaseline, p.button_width - 20);
    } else {
      ui_draw_text_fit(label.c_str(), label_style, 34, 70 + i * p.button_width, y + kButtonLabelBaseline,
                       p.button_width - 20);
    }
  }
}

std::string selected_text(const Selection& s) {
  char buffer[kSelectedTextMax];
  const std::string_view text = words_join_text(s.first, s.last + 1, buffer, sizeof buffer);
  return std::string(text);
}

bool has_next_page() { return app.reader.page + 1 < layout.page_count(); }

// The last word shown on a page; the book's last word on the last page.
uint64_t page_last_word(uint64_t page) {
  const uint64_t count = ql_word_count();
  if (page + 1 >= layout.page_count()) return count == 0 ? 0 : count - 1;
  const auto [first, last] = layout.page_lines(page);
  if (first >= last) return layout.page_first_word(page);
  const uint64_t end = layout.lines[last - 1].word_to;
  return end == 0 ? 0 : std::min(end, count) - 1;
}

void draw_handle(const WordBox& box, float x, float s) {
  ql_rect(static_cast<int>(x - 2), static_cast<int>(box.y - 0.85f * s), 4, static_cast<int>(1.1f * s), 0);
  ql_circle(0, x, box.y + kHandleDrop, kHandleRadius, 0);
}

// Draws the page with the selection shaded, the handles and the popup; the popup's geometry.
SelectionPopup draw_selection(const Selection& sel, int press_y) {
  const int w = ql_fb().width, h = ql_fb().height;
  const float s = static_cast<float>(layout.font_px);
  const size_t before = qla_hl_count();
  qla_hl_add(sel.first, sel.last + 1, "");
  reader_draw_page();
  if (qla_hl_count() > before) qla_hl_del(qla_hl_count() - 1);

  const std::optional<WordBox> a = reader_word_box(app.reader.page, sel.first);
  const std::optional<WordBox> b = reader_word_box(app.reader.page, sel.last);
  if (a) draw_handle(*a, a->x, s);
  if (b) draw_handle(*b, b->x + b->width, s);

  const SelectionPopup p = selection_popup(w, h, b ? static_cast<int>(b->y) : press_y);
  draw_popup_frame(p, selected_text(sel), w - 340, TS_UI);
  if (has_next_page()) {
    const float nw = ql_measure("Next page", TS_UI_BOLD, kNextSize);
    ql_text("Next page", TS_UI_BOLD, kNextSize, static_cast<float>(w - 64) - nw,
            static_cast<float>(p.top + 70));
  }
  return p;
}

bool near_point(int x, int y, float px, float py) {
  return std::abs(static_cast<float>(x) - px) <= kHandleReach &&
         std::abs(static_cast<float>(y) - py) <= kHandleReach;
}

// Moves one end of the selection to the word under the release point; true when a handle was hit.
bool drag_handle(Selection& sel, const TapEvent& e) {
  const auto x = static_cast<int>(e.x), y = static_cast<int>(e.y);
  const std::optional<WordBox> a = reader_word_box(app.reader.page, sel.first);
  const std::optional<WordBox> b = reader_word_box(app.reader.page, sel.last);
  const bool on_first = a && near_point(x, y, a->x, a->y + kHandleDrop);
  const bool on_last = !on_first && b && near_point(x, y, b->x + b->width, b->y + kHandleDrop);
  if (!on_first && !on_last) return false;
  const auto word =
      reader_word_at_point(app.reader.page, static_cast<float>(e.x2), static_cast<float>(e.y2));
  if (word) (on_first ? sel.first : sel.last) = *word;
  if (sel.first > sel.last) std::swap(sel.first, sel.last);
  return true;
}

void add_highlight(const Selection& sel, const char* note) {
  if (!qla_hl_add(sel.first, sel.last + 1, note)) {
    reader_show_highlight_limit();
    return;
  }
  ui_save_notes();
}

void run_action(PopupTap action, const Selection& sel) {
  switch (action) {
    case PopupTap::Highlight:
      add_highlight(sel, "");
      break;
    case PopupTap::Note: {
      char note[kNoteCapacity];
      const auto text = keyboard_edit("Note", 4, note, sizeof note, "", 0, false);
      if (!text) break;
      const std::string cut(ui_utf8_prefix(*text, kNoteCapacity - 1));
      add_highlight(sel, cut.c_str());
      break;
    }
    case PopupTap::Dictionary: {
      const std::string text = selected_text(sel);
      dictionary_page(text.c_str(), text.size(), sel.finger_in_text());
      break;
    }
    case PopupTap::Search: {
      const std::string text = selected_text(sel);
      book_search(text.c_str(), text.size());
      break;
    }
    default:
      break;
  }
}
}  // namespace

SelectionPopup selection_popup(int w, int h, int reference_y) {
  return SelectionPopup{reference_y <= h / 2 ? h - kPopupBelowTop : kPopupUpperTop, (w - 120) / kButtons};
}

PopupTap popup_hit(const SelectionPopup& p, int w, int x, int y, bool next_page) {
  if (y >= p.top && y < p.top + kBandHeight) {
    return x > w - kNextPageReach && next_page ? PopupTap::NextPage : PopupTap::Close;
  }
  if (y >= p.top + kBandHeight && y <= p.top + kButtonBandEnd) {
    if (x < 60) return PopupTap::Close;
    switch ((x - 60) / p.button_width) {
      case 0: return PopupTap::Highlight;
      case 1: return PopupTap::Note;
      case 2: return PopupTap::Dictionary;
      case 3: return PopupTap::Search;
      default: return PopupTap::Close;
    }
  }
  return PopupTap::None;
}

namespace {
// A long touch on a PDF page: the word under it, highlighted as a region or taken to the
// dictionary or search; a page note.
void reader_select_pdf(const TapEvent& e) {
  app.present.waveform = kSelectWaveform;
  ql_settle();
  const uint64_t page = app.reader.page;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  char word[kPdfWordSize];
  if (!qlpdf_word_at(static_cast<int>(page), static_cast<int>(e.x), static_cast<int>(e.y), &x0, &y0, &x1,
                     &y1, word, sizeof word) ||
      !word[0])
    return;
  reader_draw_page();
  ql_rect(x0, y1 - kPdfWordBar, x1 - x0, kPdfWordBar, 0);
  const int w = ql_fb().width;
  const SelectionPopup p = selection_popup(w, ql_fb().height, static_cast<int>(e.y));
  draw_popup_frame(p, word, w - 128, TS_REGULAR);
  ui_present(false);
  TapEvent tap;
  ui_wait_event(tap);
  const auto tx = static_cast<int>(tap.x), ty = static_cast<int>(tap.y);
  const bool on_buttons = ty >= p.top + kPdfButtonBandTop && ty <= p.top + kPdfButtonBandEnd && tx >= 60;
  if (tap.code != TAP_TOUCH || !on_buttons) return;
  switch ((tx - 60) / p.button_width) {
    case 0: {
      int px0 = 0, py0 = 0, px1 = 0, py1 = 0;
      qlpdf_screen_to_page(x0, y0, &px0, &py0);
      qlpdf_screen_to_page(x1, y1, &px1, &py1);
      const std::string note = note_format_region(px0, py0, px1, py1, word);
      add_highlight({page, page}, note.c_str());
      break;
    }
    case 1: {
      char note[kNoteCapacity];
      const auto text = keyboard_edit("Note on this page", 17, note, sizeof note, "", 0, false);
      if (!text) break;
      const std::string cut(ui_utf8_prefix(*text, kNoteCapacity - 1));
      add_highlight({page, page}, cut.c_str());
      break;
    }
    case 2:
      dictionary_page(word, strlen(word));
      break;
    case 3:
      book_search(word, strlen(word));
      break;
    default:
      break;
  }
  app.reader.page = page;
}
}  // namespace

void reader_select(const TapEvent& e) {
  if (ql_is_pdf()) {
    reader_select_pdf(e);
    return;
  }
  app.present.waveform = kSelectWaveform;
  ql_settle();
  const uint64_t remembered = app.reader.page;
  const auto start =
      reader_word_at_point(app.reader.page, static_cast<float>(e.x), static_cast<float>(e.y));
  if (!start) return;
  const uint64_t end =
      reader_word_at_point(app.reader.page, static_cast<float>(e.x2), static_cast<float>(e.y2))
          .value_or(*start);
  Selection sel{std::min(*start, end), std::max(*start, end)};
  sel.pressed = *start;
  sel.finger = reader_byte_at_point(app.reader.page, *start, static_cast<float>(e.x), static_cast<float>(e.y))
                   .value_or(std::string_view::npos);
  for (;;) {
    const SelectionPopup p = draw_selection(sel, static_cast<int>(e.y));
    ui_present(false);
    TapEvent tap;
    ui_wait_event(tap);
    if (tap.code != TAP_TOUCH) break;
    if (drag_handle(sel, tap)) continue;
    const PopupTap hit = popup_hit(p, ql_fb().width, static_cast<int>(tap.x), static_cast<int>(tap.y),
                                   has_next_page());
    if (hit == PopupTap::NextPage) {
      ++app.reader.page;
      sel.last = std::max(sel.last, page_last_word(app.reader.page));
      continue;
    }
    app.reader.page = remembered;  // the actions below may draw over the page they were chosen on
    run_action(hit, sel);
    break;
  }
  app.reader.page = remembered;
}
