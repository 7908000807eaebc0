#include "app/ui/ui_frame.h"

#include <cstdio>
#include <cstdlib>

#include "app/ui/app_state.h"
#include "app/ui/ui_logo.h"
#include "app/ui/ui_text.h"
#include "base/number_parse.h"
#include "base/system_services.h"
#include "display/device_facts.h"
#include "display/framebuffer.h"

namespace {
constexpr int kMargin = 32;
constexpr uint8_t kRuleGrey = 150;
constexpr float kArrowWidth = 5;
constexpr int kTitleMaxSize = 92;
constexpr int kTitleMinSize = 50;
constexpr int kTitleFallbackSize = 48;
constexpr size_t kStatusTextMax = 63;  // bytes of the status text's buffer, without the NUL
constexpr float kStatusSize = 38;
constexpr int kSecondsPerDay = 86400;
}  // namespace

int ui_title_size(const char* title, int width) {
  for (int size = kTitleMaxSize; size >= kTitleMinSize; size -= 2) {
    if (ql_measure(title, TS_REGULAR, float(size)) <= float(width)) return size;
  }
  return kTitleFallbackSize;
}

void ui_draw_title_fit(const char* title, int x, int y, int width) {
  const int size = ui_title_size(title, width);
  const std::string shown = ui_cut_to_width(title, TS_REGULAR, float(size), float(width));
  ql_text(shown.c_str(), TS_REGULAR, float(size), float(x), float(y));
}

void ui_draw_header(const char* title) {
  const int w = ql_fb().width;
  ql_clear();
  ui_draw_status_bar();
  // The back arrow: three strokes from the tip.
  constexpr float tip_x = 42, tip_y = kBackTapY;
  ql_line(0, tip_x, tip_y, 84, 168, kArrowWidth);
  ql_line(0, tip_x, tip_y, 60, 150, kArrowWidth);
  ql_line(0, tip_x, tip_y, 60, 186, kArrowWidth);
  ui_draw_title_fit(title, 116, 196, w - 170);
  ql_rect(kMargin, kHeaderBottom, w - 2 * kMargin, 1, kRuleGrey);
}

std::string ui_status_text() {
  const int battery = ql_battery();
  if (battery < 0) return clock_text();
  if (app.wifi_state < 0) {
    app.wifi_state = ql_wifi_on();
    app.wifi_polled_at = ql_now();
  }
  std::string text = app.wifi_state >= 1 ? "Wi-Fi   " : "";
  text += std::to_string(battery) + "%";
  if (ql_charging()) text += "+";
  text += "   " + clock_text();
  return text.size() <= kStatusTextMax ? text : std::string();
}

void ui_draw_status_bar() {
  const int w = ql_fb().width;
  ql_blit(ql_small_logo(), kSmallLogoWidth, kSmallLogoHeight, kMargin, 34);
  const std::string text = ui_status_text();
  if (!text.empty()) {
    const int width = int(ql_measure(text.c_str(), TS_UI, kStatusSize));
    ql_text(text.c_str(), TS_UI, kStatusSize, float(w - width - kMargin), 60);
  }
  ql_rect(kMargin, kStatusBarBottom, w - 2 * kMargin, 1, kRuleGrey);
}

int32_t parse_tz_minutes(const char* text) { return text ? parse_signed(text).value_or(0) : 0; }

int32_t tz_offset_minutes() {
  static const int32_t offset = parse_tz_minutes(getenv("QL_TZ_MIN"));
  return offset;
}

std::string clock_text_at(int64_t utc_seconds, int32_t offset_min) {
  const int64_t local = utc_seconds + int64_t(offset_min) * 60;
  const int64_t s = ((local % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay;
  char text[16];
  snprintf(text, sizeof text, "%d:%02d", int(s / 3600), int(s % 3600 / 60));
  return text;
}

std::string clock_text() { return clock_text_at(ql_now(), tz_offset_minutes()); }
