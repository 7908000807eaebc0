#include "app/reader/reading_options.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/reader/font_choice.h"
#include "app/reader/layout_cache.h"
#include "app/reader/paginator.h"
#include "app/reader/reader_page.h"
#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_state.h"
#include "app/ui/ui_wait.h"
#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/text_lines.h"
#include "display/device_facts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {
constexpr int kRows = 5;
constexpr size_t kFontsMax = 30;
constexpr char kFontList[] = "/tmp/ql-fonts.txt";
constexpr char kFontPipeline[] =
    "ls /mnt/us/fonts/*.ttf /usr/java/lib/fonts/*-Regular.ttf 2>/dev/null | grep -viE "
    "'Ember|Noto|CJK|Mincho|Gothic|Heiti|STSong|STKai|MYing|Raghu|Mangal' | sed "
    "'s/-Regular.ttf$//; s/-Roman.ttf$//; s/.ttf$//' | head -30 >/tmp/ql-fonts.txt";

struct Stepper {
  int32_t PageTable::*live;
  int32_t SettingsRecord::*saved;
  int32_t step, lo, hi;
};
constexpr Stepper kSize{&PageTable::font_px, &SettingsRecord::font, 6, 32, 110};
constexpr Stepper kSpacing{&PageTable::line_pct, &SettingsRecord::line, 8, 92, 180};
constexpr Stepper kMargin{&PageTable::margin_px, &SettingsRecord::margin, 24, 24, 144};

int row_height() { return ql_fb().height < 1200 ? 100 : 112; }
int panel_top() { return ql_fb().height - kRows * row_height() - 8; }

std::string_view after_slash(std::string_view path) { return path.substr(path.rfind('/') + 1); }

std::string row_value(int row) {
  switch (row) {
    case 0: return std::to_string(text_size_level(layout.font_px));
    case 1: return app.reader.font_name[0] ? std::string(after_slash(app.reader.font_name)) : "Source Serif";
    case 2: return std::to_string(layout.line_pct) + "%";
    case 3: return layout.margin_px < 41 ? "Narrow" : layout.margin_px <= 95 ? "Normal" : "Wide";
    default: return app.present.inverted ? "Dark" : "Light";
  }
}

void draw_panel() {
  static constexpr std::array<const char*, kRows> kLabels = {"Text size", "Font", "Line spacing",
                                                             "Margins", "Theme"};
  const int w = ql_fb().width, h = row_height(), top = panel_top();
  ql_rect(0, top, w, ql_fb().height - top, 255);
  ql_rect(0, top, w, 3, 0);
  for (int i = 0; i < kRows; ++i) {
    const int y = top + i * h;
    if (i > 0) ql_rect(48, y, w - 96, 1, 190);
    ql_text(kLabels[size_t(i)], TS_UI, 50, 48, float(y + h / 2 + 18));
    const bool stepped = i == 0 || i == 2 || i == 3;
    const std::string value = stepped ? row_value(i) : row_value(i) + "  \xE2\x80\xBA";
    const float right = float(stepped ? w - 330 : w - 48);
    ql_text(value.c_str(), TS_UI_BOLD, 42, right - ql_measure(value.c_str(), TS_UI_BOLD, 42),
            float(y + h / 2 + 16));
    if (!stepped) continue;
    ql_frame(w - 300, top + 8 + i * h, 120, h - 16, 2);
    ql_frame(w - 168, top + 8 + i * h, 120, h - 16, 2);
    ql_text("-", TS_UI_BOLD, 64, float(w - 252), float(y + h / 2 + 22));
    ql_text("+", TS_UI_BOLD, 64, float(w - 124), float(y + h / 2 + 22));
  }
}

void step(const Stepper& s, int dir) {
  const int32_t value = reading_option_step(layout.*s.live, dir, s.step, s.lo, s.hi);
  layout.*s.live = value;
  settings.*s.saved = value;
  relayout_keep_position();
}

void save_font_choice() {
  file_write_atomic(kFontChoicePath, app.reader.font_name, strlen(app.reader.font_name));
}

void choose_font() {
  ql_system(kFontPipeline);
  std::array<TextLine, kFontsMax> lines{};
  std::array<std::string_view, kFontsMax> stems{};
  const size_t count = text_read_lines(kFontList, lines, stems, 0);
  std::array<std::string_view, kFontsMax + 1> rows{};
  rows[0] = "Source Serif (built in)";
  for (size_t i = 0; i < count; ++i) rows[i + 1] = after_slash(stems[i]);
  static constexpr std::string_view kTitle = "Font";
  const auto chosen = ui_list_menu(kTitle.data(), kTitle.size(), std::span(rows.data(), count + 1));
  if (!chosen) return;
  if (*chosen == 0) {
    app.reader.font_name[0] = '\0';
    ql_font_load(nullptr);
    qlp_remove(kFontChoicePath);
  } else {
    const std::string_view stem = stems[*chosen - 1];
    const size_t n = std::min(stem.size(), sizeof app.reader.font_name - 1);
    memcpy(app.reader.font_name, stem.data(), n);
    app.reader.font_name[n] = '\0';
    ql_font_load(app.reader.font_name);
    save_font_choice();
  }
  relayout_keep_position();
}

// True when the tap changed something.
bool tap(int x, int row) {
  const int w = ql_fb().width;
  if (row == 1) {
    choose_font();
    return true;
  }
  if (row == 4) {
    ui_toggle_dark_mode();
    return true;
  }
  const Stepper& s = row == 0 ? kSize : row == 2 ? kSpacing : kMargin;
  if (x > w - 174) step(s, 1);
  else if (x > w - 306) step(s, -1);
  else return false;
  return true;
}
}  // namespace

int32_t reading_option_step(int32_t value, int dir, int32_t step, int32_t lo, int32_t hi) {
  const int32_t moved = std::clamp(value + dir * step, lo, hi);
  return dir < 0 ? std::min(moved, value) : std::max(moved, value);
}

int32_t text_size_level(int32_t font_px) { return std::max((font_px - 32) / 6 + 1, 1); }

void reading_options_screen() {
  app.present.waveform = kWaveformFull;
  ql_settle();
  for (;;) {
    draw_panel();
    ui_present(false);
    TapEvent event;
    ui_wait_event(event);
    if (event.code != TAP_TOUCH) {
      reader_draw_page();
      continue;
    }
    const int y = int(event.y);
    if (y < panel_top()) return;
    const int row = (y - panel_top()) / row_height();
    if (row >= kRows || !tap(int(event.x), row)) continue;
    qls_save(settings);
    ui_save();
    reader_draw_page();
  }
}
