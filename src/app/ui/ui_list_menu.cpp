#include "app/ui/ui_list_menu.h"

#include <algorithm>
#include <array>

#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_list_geometry.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_text.h"
#include "app/ui/ui_wait.h"
#include "display/framebuffer.h"

namespace {
constexpr std::array<std::string_view, 13> kValueTitles = {
    "Settings",       "Quick settings", "Device options",
    "Library",        "Corvell Books",  "Free books",
    "Wi-Fi networks", "Reading options", "Book",
    "Bluetooth (headphones only)", "Backup & restore", "Feed and wake time",
    "Report a bug",
};
constexpr std::string_view kChevron = "\xE2\x80\xBA";
constexpr std::string_view kValueSplit = ": ";
constexpr std::string_view kEllipsis = "...";
constexpr size_t kTitleMax = 127;
constexpr size_t kLabelMax = 255;
constexpr size_t kValueMax = 100;
constexpr size_t kValueShortest = 4;  // shortening stops here
constexpr float kRightSize = 42;
constexpr int kLabelMaxSize = 54;
constexpr int kLabelMinSize = 45;
constexpr int kLabelLastSize = 44;
constexpr int kSide = 48;
constexpr int kBackMaxX = 239;

float measure(const std::string& text, TextStyle face, float size) {
  return ql_measure(text.c_str(), face, size);
}

// The value, "..." when it was shortened, and the chevron; each step drops the last byte and then
// any trailing non-ASCII bytes, so a character goes whole.
std::string right_text(std::string_view value_text, int room) {
  std::string value(ui_utf8_prefix(value_text, kValueMax));
  bool shortened = value.size() < value_text.size();
  const auto text = [&] {
    return value + (shortened ? std::string(kEllipsis) : "") + "  " + std::string(kChevron);
  };
  while (measure(text(), TS_UI_BOLD, kRightSize) > float(room) && value.size() > kValueShortest) {
    value.pop_back();
    while (!value.empty() && static_cast<unsigned char>(value.back()) >= 0x80) value.pop_back();
    shortened = true;
  }
  return text();
}

int label_size(const std::string& label, int width) {
  for (int size = kLabelMaxSize; size >= kLabelMinSize; --size) {
    if (measure(label, TS_UI, float(size)) <= float(width)) return size;
  }
  return kLabelLastSize;
}

void draw_row(const ListRowText& row, int top) {
  const int w = ql_fb().width;
  int label_width = w - 120;
  if (!row.right.empty()) {
    const int right_width = int(measure(row.right, TS_UI_BOLD, kRightSize));
    ql_text(row.right.c_str(), TS_UI_BOLD, kRightSize, float(w - right_width - kSide),
            float(top + 314 - kListTop));
    label_width -= right_width;
  }
  const int size = label_size(row.label, label_width);
  const std::string label = ui_cut_to_width(row.label, TS_UI, float(size), float(label_width));
  ql_text(label.c_str(), TS_UI, float(size), kSide, float(top + 316 - kListTop));
  ql_rect(kSide, top + 365 - kListTop, w - 2 * kSide, 1, 170);
}

void draw_menu(const std::string& title, std::span<const std::string_view> rows,
               const ListGeometry& g) {
  const int w = ql_fb().width, h = ql_fb().height;
  ui_draw_header(title.c_str());
  for (uint64_t slot = 0; slot < g.shown; ++slot) {
    draw_row(list_row_text(title, rows[g.first + slot]), g.row_top(slot));
  }
  if (g.has_pager()) {
    const std::string pager = ui_pager_label(g.page + 1, g.pages);
    const float width = measure(pager, TS_UI, kRightSize);
    ql_text(pager.c_str(), TS_UI, kRightSize, float(int(float(w) - width) / 2), float(h - 40));
  }
  ui_present(false);
}
}  // namespace

bool list_shows_values(std::string_view title) {
  return std::find(kValueTitles.begin(), kValueTitles.end(), title) != kValueTitles.end();
}

ListRowText list_row_text(std::string_view title, std::string_view row) {
  ListRowText out;
  if (!list_shows_values(title)) {
    out.label = ui_utf8_prefix(row, kLabelMax);
    return out;
  }
  const int room = (3 * ql_fb().width - 288) / 5;
  const size_t split = row.find(kValueSplit);
  if (split == std::string_view::npos) {
    out.label = ui_utf8_prefix(row, kLabelMax);
    out.right = kChevron;
  } else {
    out.label = ui_utf8_prefix(row.substr(0, split), kLabelMax);
    out.right = right_text(row.substr(split + kValueSplit.size()), room);
  }
  return out;
}

std::optional<size_t> ui_list_menu(const char* title, size_t title_length,
                                   std::span<const std::string_view> rows) {
  app.present.waveform = kWaveformFull;
  ql_settle();
  const std::string shown_title(ui_utf8_prefix({title, title_length}, kTitleMax));
  uint64_t page = 0;
  for (;;) {
    const int w = ql_fb().width, h = ql_fb().height;
    const ListGeometry g = list_geometry(rows.size(), page, kListMenuRowHeight, h);
    page = g.page;
    draw_menu(shown_title, rows, g);
    TapEvent event;
    const PageKeyTaps keys = ui_pager_keys(w, h - kPagerKeyRise);
    ui_wait_event(event, g.has_pager() ? &keys : nullptr);
    if (event.code != TAP_TOUCH) continue;
    const int x = int(event.x), y = int(event.y);
    if (y <= kHeaderBottom) {
      if (x <= kBackMaxX && y >= kStatusBarBottom) return std::nullopt;
      continue;
    }
    const ListHit hit = list_hit(g, x, y, w);
    switch (hit.what) {
      case ListTap::PreviousPage: --page; break;
      case ListTap::NextPage: ++page; break;
      case ListTap::Row: return size_t(hit.row);
      case ListTap::Nothing: break;
    }
  }
}
