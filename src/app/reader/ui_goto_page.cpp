#include "app/reader/ui_goto_page.h"

#include <algorithm>
#include <array>

#include "app/reader/reader_bookmark.h"
#include "app/ui/app_state.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_wait.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {
constexpr std::array<std::array<const char*, 3>, 4> kKeys = {{
    {"1", "2", "3"},
    {"4", "5", "6"},
    {"7", "8", "9"},
    {"Del", "0", "Go"},
}};
constexpr int kKeypadTop = 480;
constexpr int kRowHeight = 216;
constexpr uint8_t kLineGrey = 190;

// Positions inside a row scale with its height (the full-size row is 216 high).
int in_row(const KeypadGeometry& g, int at) { return at * g.row_height / kRowHeight; }

void draw_keypad(const KeypadGeometry& g, int w) {
  for (size_t r = 0; r < kKeys.size(); ++r) {
    const int top = g.top + int(r) * g.row_height;
    ql_rect(0, top, w, 1, kLineGrey);
    for (size_t c = 0; c < kKeys[r].size(); ++c) {
      const int x = int(c) * g.key_width;
      if (c > 0) ql_rect(x, top + in_row(g, 20), 1, g.row_height - in_row(g, 40), kLineGrey);
      const std::string_view label = kKeys[r][c];
      const bool is_digit = label.size() == 1;
      const TextStyle face = label == "Go" ? TS_UI_BOLD : TS_UI;
      const float size = is_digit ? 72 : 54;
      const int width = int(ql_measure(kKeys[r][c], face, size));
      ql_text(kKeys[r][c], face, size, float(x + (g.key_width - width) / 2),
              float(top + in_row(g, 130)));
    }
  }
}

void draw_dialog(const KeypadGeometry& g, const std::string& digits, uint64_t pages) {
  const int w = ql_fb().width;
  const std::string title = "Go to page (1 to " + std::to_string(pages) + ")";
  ui_draw_header(title.c_str());
  ql_frame(48, 266, w - 96, 150, 2);
  ql_text(digits.c_str(), TS_UI_BOLD, 76, 88, 364);
  draw_keypad(g, w);
}
}  // namespace

KeypadGeometry keypad_geometry(int w, int h) {
  const int fit = (h - kKeypadTop) / int(kKeys.size());
  return {w / 3, kKeypadTop, std::clamp(fit, 1, kRowHeight)};
}

std::string keypad_key_at(const KeypadGeometry& g, int x, int y) {
  if (y < g.top || x < 0) return {};
  const size_t row = std::min<size_t>(size_t((y - g.top) / g.row_height), kKeys.size() - 1);
  const size_t col = std::min<size_t>(size_t(x / g.key_width), 2);
  return kKeys[row][col];
}

bool keypad_press(std::string& digits, const std::string& key) {
  if (key == "Go") return true;
  if (key == "Del") {
    if (!digits.empty()) digits.pop_back();
  } else if (key.size() == 1 && digits.size() < kKeypadDigitsMax) {
    digits += key;
  }
  return false;
}

KeypadTarget keypad_target(const std::string& digits, uint64_t pages) {
  if (digits.empty() || pages == 0) return {false, 0};
  const uint64_t number = std::stoull(digits);
  return {true, std::min(pages - 1, number > 0 ? number - 1 : 0)};
}

void goto_page_dialog() {
  app.present.waveform = kWaveformFull;
  ql_settle();
  std::string digits;
  for (;;) {
    const int w = ql_fb().width, h = ql_fb().height;
    const KeypadGeometry g = keypad_geometry(w, h);
    const uint64_t pages = reader_page_total();
    draw_dialog(g, digits, pages);
    TapEvent event;
    if (!ui_present_typing_wait(event)) continue;
    const int y = int(event.y);
    if (y <= kHeaderBottom) return;
    const std::string key = keypad_key_at(g, int(event.x), y);
    if (key.empty() || !keypad_press(digits, key)) continue;
    const KeypadTarget target = keypad_target(digits, pages);
    if (target.move) {
      app.reader.back_page = app.reader.page;
      app.reader.back_valid = true;
      app.reader.page = target.page;
    }
    return;
  }
}
