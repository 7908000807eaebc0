// The frontlight panel: a 0 to 24 slider with "-" and "+", and the dark-mode line. Full screen
// from quick settings, or a band over whatever is on screen.
#pragma once

// Runs until the panel is closed. Every level change goes to settings.txt at once, a dark-mode
// change to ui.txt.
void frontlight_panel(bool full_screen);

// Where the band and its parts lie; drawing and tap handling both read it.
struct FrontlightGeometry {
  int width = 0;  // the screen's
  int top = 0;    // the band's top edge
  bool full_screen = false;
  int slider_x = 0;
  int slider_width = 0;
  int slider_top = 0;
  int dark_line_top = 0;  // taps from here to the band's bottom belong to the dark-mode line
  int done_left = 0;      // taps right of this on that line are "Done"
  int band_bottom = 0;    // the last row of the band
};
FrontlightGeometry frontlight_geometry(bool full_screen, int width);

enum class FrontlightTap { Ignore, Close, ToggleDark, Lower, Raise, Slide };
// What a touch that began at (x, y) does.
FrontlightTap frontlight_hit(const FrontlightGeometry& g, int x, int y);
// The level for a slide released at x2: the nearest step, within 0..24.
int frontlight_slider_level(const FrontlightGeometry& g, int x2);
// The filled part of the slider for a level.
int frontlight_fill_width(const FrontlightGeometry& g, int level);

