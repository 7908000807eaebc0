#include "app/reader/reader_toolbar.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "app/reader/book_lists.h"
#include "app/reader/book_menu.h"
#include "app/reader/book_search.h"
#include "app/reader/reader_page.h"
#include "app/reader/reader_taps.h"
#include "app/reader/reading_options.h"
#include "app/ui/app_hooks.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "display/framebuffer.h"

namespace {
constexpr uint32_t kToolbarWaveform = 4;
constexpr int kColumns = 6;
constexpr int kLabelSize = 42;
constexpr int kLabelBaseline = 160;
constexpr int kColumnsTop = 88;
constexpr int kColumnsEnd = 200;
constexpr int kRuleY = 194;
constexpr uint8_t kRuleGrey = 150;
constexpr int kProgressEnd = 256;
constexpr int kProgressSize = 38;
constexpr int kProgressBaseline = 240;
constexpr int kSliderSide = 48;
constexpr int kSliderY = 276;
constexpr int kKnobRadius = 15;
constexpr int kKnobY = 278;
constexpr int kCloseLineY = 304;
constexpr size_t kProgressTextMax = 96;
constexpr std::array<std::string_view, kColumns> kLabels = {"Library", "Back", "Go To",
                                                            "Aa",      "Search", "More"};
constexpr size_t kAaColumn = 3;

void swap_with_back_mark() {
  if (app.reader.back_valid) std::swap(app.reader.page, app.reader.back_page);
}

// What the column action leaves for the toolbar: draw it again, or end.
enum class After { Redraw, Leave };

After run_column(int column) {
  switch (column) {
    case 0:
      app_call(app_hooks.close_book);
      return After::Leave;
    case 1:
      swap_with_back_mark();
      return After::Redraw;
    case 2:
      book_lists_screen(0);
      return After::Leave;
    case 3:
      reading_options_screen();
      return After::Redraw;
    case 4:
      book_search("", 0);
      return After::Leave;
    default:
      book_menu();
      return After::Leave;
  }
}
}  // namespace

std::string toolbar_progress_text(uint64_t page, uint64_t total, bool back_valid, uint64_t back_page) {
  if (total == 0) return {};  // no book: there is no page to name ("Page 1 of 0")
  const uint64_t percent = total > 1 ? (page + 1) * 100 / total : 100;
  char buf[kProgressTextMax];
  int n = snprintf(buf, sizeof buf, "%llu%%   \xc2\xb7   Page %llu of %llu",
                   static_cast<unsigned long long>(percent), static_cast<unsigned long long>(page + 1),
                   static_cast<unsigned long long>(total));
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf && back_valid) {
    const int more = snprintf(buf + n, sizeof buf - static_cast<size_t>(n), "   \xc2\xb7   back to %llu",
                              static_cast<unsigned long long>(back_page + 1));
    n = more < 0 ? -1 : n + more;
  }
  if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return {};
  return std::string(buf, static_cast<size_t>(n));
}

uint64_t toolbar_slider_page(int x, int w, uint64_t total) {
  if (total < 2) return 0;
  const int span = w - 2 * kSliderSide;
  if (span <= 0) return 0;
  const int at = std::clamp(x, kSliderSide, w - kSliderSide) - kSliderSide;
  return (total - 1) * static_cast<uint64_t>(at) / static_cast<uint64_t>(span);
}

int toolbar_knob_offset(uint64_t page, int w, uint64_t total) {
  if (total < 2) return 0;
  return static_cast<int>(page * static_cast<uint64_t>(w - 2 * kSliderSide) / (total - 1));
}

ToolbarTap toolbar_hit(int y) {
  if (y >= kToolbarHeight) return ToolbarTap::Leave;
  if (y < kColumnsTop) return ToolbarTap::QuickSettings;
  if (y < kColumnsEnd) return ToolbarTap::Column;
  if (y < kProgressEnd) return ToolbarTap::ProgressLine;
  return ToolbarTap::Slider;
}

int toolbar_column(int x, int w) { return std::clamp(x / std::max(w / kColumns, 1), 0, kColumns - 1); }

void reader_toolbar_draw() {
  const int w = ql_fb().width;
  reader_draw_page();
  ql_rect(0, 0, w, kToolbarHeight, 255);
  ui_draw_status_bar();
  const int c = w / kColumns;
  for (size_t i = 0; i < kLabels.size(); ++i) {
    const std::string label(kLabels[i]);
    const TextStyle face = i == kAaColumn ? TS_UI_BOLD : TS_UI;
    const float lw = ql_measure(label.c_str(), face, kLabelSize);
    const float x = static_cast<float>(static_cast<int>(i) * c) + (static_cast<float>(c) - lw) / 2;
    ql_text(label.c_str(), face, kLabelSize, x, kLabelBaseline);
  }
  ql_rect(32, kRuleY, w - 64, 1, kRuleGrey);
  const uint64_t total = reader_page_count();
  const std::string progress =
      toolbar_progress_text(app.reader.page, total, app.reader.back_valid, app.reader.back_page);
  ui_draw_text_fit(progress.c_str(), TS_REGULAR, kProgressSize, kSliderSide, kProgressBaseline,
                   w - 2 * kSliderSide);
  ql_rect(kSliderSide, kSliderY, w - 2 * kSliderSide, 4, 0);
  ql_mark(kSliderSide, kSliderY, w - 2 * kSliderSide, 4, MASK_ACCENT);
  const int k = toolbar_knob_offset(app.reader.page, w, total);
  ql_circle(0, static_cast<float>(kSliderSide + k), kKnobY, kKnobRadius, 0);
  ql_mark(k + 32, kKnobY - 16, 32, 32, MASK_ACCENT);
  ql_rect(0, kCloseLineY, w, 2, 0);
}

void reader_toolbar() {
  for (;;) {
    app.present.waveform = kToolbarWaveform;
    ql_settle();
    reader_toolbar_draw();
    ui_present(false);
    TapEvent e;
    ui_wait_event(e);
    if (e.code != TAP_TOUCH) continue;
    const int w = ql_fb().width;
    switch (toolbar_hit(static_cast<int>(e.y))) {
      case ToolbarTap::Leave:
        return;
      case ToolbarTap::QuickSettings:
        app_call(app_hooks.quick_settings);
        break;
      case ToolbarTap::Column:
        if (run_column(toolbar_column(static_cast<int>(e.x), w)) == After::Leave) return;
        break;
      case ToolbarTap::ProgressLine:
        swap_with_back_mark();
        break;
      case ToolbarTap::Slider:
        app.reader.back_page = app.reader.page;
        app.reader.back_valid = true;
        app.reader.page = toolbar_slider_page(static_cast<int>(e.x2), w, reader_page_count());
        break;
    }
  }
}
