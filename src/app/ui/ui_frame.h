// The frame every full-screen page shares: the status bar (logo, Wi-Fi, battery, clock), the back
// arrow, the fitted title and the rules below them.
#pragma once
#include <cstdint>
#include <string>

// The header band: taps above this y belong to the header (the status bar ends at 88).
constexpr int kHeaderBottom = 225;
constexpr int kStatusBarBottom = 88;
// The back arrow's tip; a device back key becomes a tap here.
constexpr int kBackTapX = 62;
constexpr int kBackTapY = 168;

// Clears the screen and draws the status bar, the back arrow, the title and the rule.
void ui_draw_header(const char* title);
// Draws the title in the reading face at the largest of 92, 90 ... 50 that fits, else at 48 cut
// to the width as ui_cut_to_width cuts (a long word looked up, a long collection name).
void ui_draw_title_fit(const char* title, int x, int y, int width);
// The size ui_draw_title_fit chooses.
int ui_title_size(const char* title, int width);
// The logo, the status text ("Wi-Fi   ", battery percent, "+" while charging, the clock; the
// clock alone without a battery reading) and the rule, over the top 89 rows. Does not clear.
void ui_draw_status_bar();
// The status text as ui_draw_status_bar shows it; empty when it does not fit its buffer.
std::string ui_status_text();

// The local time of day, "H:MM" on a 24-hour clock, for the offset of QL_TZ_MIN.
std::string clock_text();
std::string clock_text_at(int64_t utc_seconds, int32_t offset_min);
// Minutes east of UTC from QL_TZ_MIN, read once per process.
int32_t tz_offset_minutes();
// A signed decimal offset ("_" allowed between digits); 0 when absent, malformed or too large.
int32_t parse_tz_minutes(const char* text);
