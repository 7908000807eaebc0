// Appearance and the reading defaults ("Reading options"): the look of every screen and the values
// new pages are laid out with.
#include <algorithm>
#include <array>

#include "app/reader/layout_cache.h"
#include "app/reader/paginator.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "display/device_facts.h"
#include "settings/settings_page_parts.h"

namespace {
constexpr std::array<int32_t, 8> kFontSizes = {28, 32, 36, 40, 44, 48, 56, 64};
static_assert(std::ranges::all_of(kFontSizes,
                                  [](int32_t s) { return s >= kFontRange.min && s <= kFontRange.max; }),
              "settings.txt must load every default size back");

struct RefreshChoice {
  std::string_view label;
  int32_t interval;
};
constexpr std::array<RefreshChoice, 5> kRefreshChoices = {{
    {"Never (fastest)", 0},
    {"Every 6 pages", 6},
    {"Every 12 pages", 12},
    {"Every 24 pages", 24},
    {"Every page", 1},
}};
constexpr std::array<std::string_view, 3> kPageTurnChoices = {
    "Fastest (0.23 s, light ghosting)", "Balanced (0.31 s, recommended)", "Sharpest (0.48 s)"};
constexpr std::array<std::string_view, 3> kPageTurnNames = {"Fastest", "Balanced", "Sharpest"};
constexpr std::array<std::string_view, 2> kAfterBuyingChoices = {"Open it at the cover",
                                                                 "Keep it in my library"};

enum Row { kFontSize, kRefresh, kAlignment, kDarkMode, kPageTurns, kAfterBuying, kRefreshNow };

std::vector<std::string> page_rows() {
  return {
      "Default font size: " + std::to_string(settings.font),
      refresh_row_text(ui_state.refresh),
      std::string("Alignment: ") + (ui_state.align ? "Left" : "Justified"),
      std::string("Dark mode: ") + (app.present.inverted ? "On" : "Off"),
      "Page turns: " + std::string(kPageTurnNames[std::min<size_t>(ui_state.pq, 2)]),
      "After buying a book: " + std::string(kAfterBuyingChoices[ui_state.buy ? 1 : 0]),
      "Refresh the screen now",
  };
}

void choose_font_size() {
  std::vector<std::string> labels;
  for (int32_t size : kFontSizes) labels.push_back(std::to_string(size));
  const std::optional<size_t> i = settings_choose("Default font size", labels);
  if (!i) return;
  const int32_t size = kFontSizes[*i];
  settings.font = size;
  layout.font_px = size;
  qls_save(settings);
  relayout_keep_position();
}

void choose_refresh() {
  std::array<std::string_view, kRefreshChoices.size()> labels;
  for (size_t i = 0; i < labels.size(); ++i) labels[i] = kRefreshChoices[i].label;
  const std::optional<size_t> i = settings_choose("Full page refresh", labels);
  if (!i) return;
  ui_state.refresh = kRefreshChoices[*i].interval;
  ui_save();
}

void toggle_alignment() {
  ui_state.align = !ui_state.align;
  layout.align = ui_state.align;
  ui_save();
  relayout_keep_position();
}

void choose_page_turns() {
  const std::optional<size_t> i = settings_choose("Page turns", kPageTurnChoices);
  if (!i) return;
  ui_state.pq = static_cast<uint8_t>(*i);
  ui_save();
}

void choose_after_buying() {
  const std::optional<size_t> i = settings_choose("After buying a book", kAfterBuyingChoices);
  if (!i) return;
  ui_state.buy = *i == 1;
  ui_save();
}
}  // namespace

std::string refresh_row_text(int32_t interval) {
  if (interval <= 0) return "Page refresh: never";  // 0 or less never refreshes
  return "Page refresh: every " + std::to_string(interval) + " pages";
}

void appearance_page() {
  constexpr std::array<std::string_view, 3> kChoices = {"System", "Light", "Dark"};
  const std::optional<size_t> i = settings_choose("Appearance", kChoices);
  if (!i) return;
  ui_state.appearance = static_cast<uint8_t>(*i);
  app.present.inverted =
      *i == kAppearanceDark || (*i == kAppearanceSystem && ql_system_dark() != 0);
  ui_save();
  app.present.clean = false;
}

void reading_defaults_page() {
  for (;;) {
    const std::optional<size_t> row = settings_choose("Reading options", page_rows());
    if (!row) return;
    switch (*row) {
      case kFontSize: choose_font_size(); break;
      case kRefresh: choose_refresh(); break;
      case kAlignment: toggle_alignment(); break;
      case kDarkMode: ui_toggle_dark_mode(); break;
      case kPageTurns: choose_page_turns(); break;
      case kAfterBuying: choose_after_buying(); break;
      default:
        app.present.clean = false;
        return;
    }
  }
}
