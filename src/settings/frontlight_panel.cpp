#include "settings/frontlight_panel.h"

#include <algorithm>
#include <string>

#include "app/ui/app_state.h"
#include "app/ui/settings_file.h"
#include "app/ui/ui_frame.h"
#include "app/ui/ui_present.h"
#include "app/ui/ui_wait.h"
#include "display/device_facts.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {
constexpr int kTopFullScreen = 246;  // below the header
constexpr int kTopOverlay = 366;
constexpr int kBandHeight = 330;
constexpr int kOverlayRule = 2;  // closes the band's bottom over the page
constexpr int kSide = 48;
constexpr int kSliderInset = 140;  // the slider's ends; "-" and "+" are left and right of it
constexpr int kSliderTop = 130;    // below the band's top
constexpr int kSliderHeight = 40;
constexpr int kSliderFrame = 2;
constexpr int kDarkLine = 210;   // below the band's top
constexpr int kDoneWidth = 220;  // from the right edge
constexpr int kTitleBaseline = 74;
constexpr int kSignBaseline = 170;
constexpr int kDarkBaseline = 272;
constexpr float kTextSize = 54;
constexpr float kSignSize = 72;
constexpr int kMinusX = 72;
constexpr int kPlusFromRight = 96;

float right_aligned(const char* text, TextStyle style, float size, int right) {
  return float(right) - ql_measure(text, style, size);
}

void draw_band(const FrontlightGeometry& g) {
  const int w = g.width, t = g.top;
  ql_rect(0, t, w, kBandHeight, 255);
  if (!g.full_screen) ql_rect(0, t + kBandHeight - kOverlayRule, w, kOverlayRule, 0);
  const std::string level = std::to_string(settings.light);
  ql_text("Light", TS_UI_BOLD, kTextSize, kSide, float(t + kTitleBaseline));
  ql_text(level.c_str(), TS_UI, kTextSize,
          right_aligned(level.c_str(), TS_UI, kTextSize, w - kSide), float(t + kTitleBaseline));
  ql_text("-", TS_UI_BOLD, kSignSize, kMinusX, float(t + kSignBaseline));
  ql_text("+", TS_UI_BOLD, kSignSize, float(w - kPlusFromRight), float(t + kSignBaseline));
  ql_frame(g.slider_x, g.slider_top, g.slider_width, kSliderHeight, kSliderFrame);
  ql_rect(g.slider_x, g.slider_top, frontlight_fill_width(g, settings.light), kSliderHeight, 0);
  const char* dark = app.present.inverted ? "Dark mode: On" : "Dark mode: Off";
  ql_text(dark, TS_UI, kTextSize, kSide, float(t + kDarkBaseline));
  ql_text("Done", TS_UI_BOLD, kTextSize, right_aligned("Done", TS_UI_BOLD, kTextSize, w - kSide),
          float(t + kDarkBaseline));
}

void set_level(int level) {
  settings.light = std::clamp(level, kLightRange.min, kLightRange.max);
  ql_frontlight_lipc(settings.light);
  qls_save(settings);
}
}  // namespace

FrontlightGeometry frontlight_geometry(bool full_screen, int width) {
  FrontlightGeometry g;
  g.width = width;
  g.top = full_screen ? kTopFullScreen : kTopOverlay;
  g.full_screen = full_screen;
  g.slider_x = kSliderInset;
  g.slider_width = width - 2 * kSliderInset;
  g.slider_top = g.top + kSliderTop;
  g.dark_line_top = g.top + kDarkLine;
  g.done_left = width - kDoneWidth;
  g.band_bottom = g.top + kBandHeight;
  return g;
}

FrontlightTap frontlight_hit(const FrontlightGeometry& g, int x, int y) {
  if (y < g.top || y > g.band_bottom) {
    if (!g.full_screen || y <= kHeaderBottom) return FrontlightTap::Close;
    return FrontlightTap::Ignore;
  }
  if (y >= g.dark_line_top)
    return x > g.done_left ? FrontlightTap::Close : FrontlightTap::ToggleDark;
  if (x < g.slider_x) return FrontlightTap::Lower;
  if (x > g.slider_x + g.slider_width) return FrontlightTap::Raise;
  return FrontlightTap::Slide;
}

int frontlight_slider_level(const FrontlightGeometry& g, int x2) {
  if (g.slider_width <= 0) return kLightRange.min;
  const int steps = kLightRange.max;
  // Rounds to the nearest step, so a tap at the filled part's end for a level gives that level.
  const int level = (steps * (x2 - g.slider_x) + g.slider_width / 2) / g.slider_width;
  return std::clamp(level, kLightRange.min, kLightRange.max);
}

int frontlight_fill_width(const FrontlightGeometry& g, int level) {
  return std::clamp(level, kLightRange.min, kLightRange.max) * std::max(g.slider_width, 0) /
         kLightRange.max;
}

void frontlight_panel(bool full_screen) {
  for (;;) {
    app.present.waveform = kWaveformFull;
    const FrontlightGeometry g = frontlight_geometry(full_screen, ql_fb().width);
    if (full_screen) ui_draw_header("Frontlight");
    ui_apply_appearance();  // the dark-mode line shows the flag this present will use
    draw_band(g);
    ui_present(false);
    TapEvent e;
    ui_wait_event(e);
    if (e.code != TAP_TOUCH) {
      if (!full_screen) return;
      continue;
    }
    switch (frontlight_hit(g, int(e.x), int(e.y))) {
      case FrontlightTap::Ignore: break;
      case FrontlightTap::Close: return;
      case FrontlightTap::ToggleDark: ui_toggle_dark_mode(); return;
      case FrontlightTap::Lower: set_level(settings.light - 1); break;
      case FrontlightTap::Raise: set_level(settings.light + 1); break;
      case FrontlightTap::Slide: set_level(frontlight_slider_level(g, int(e.x2))); break;
    }
  }
}
