// Measuring and drawing UTF-8 text in the embedded reading and interface faces.
#pragma once
#include <cstdint>

// 0 regular, 1 italic, 2 bold, 3 heading (bold at 1.35 times the size), 10 UI, 11 UI bold; any other
// value draws as 0.
using TextStyle = int32_t;
enum : TextStyle {
  TS_REGULAR = 0,
  TS_ITALIC = 1,
  TS_BOLD = 2,
  TS_HEADING = 3,
  TS_UI = 10,
  TS_UI_BOLD = 11,
};

// Advance width in pixels of a NUL-terminated UTF-8 string at a pixel size (0 for "").
float ql_measure(const char* text, TextStyle style, float size);
// Draws the string with its pen starting at x on the baseline y; pixels are only darkened and the
// mask plane is left alone.
void ql_text(const char* text, TextStyle style, float size, float x, float y);

// Replaces the reading faces by the family at the path stem `prefix` ("-Regular.ttf"/"-Roman.ttf",
// "-Italic.ttf"/"-It.ttf", "-Bold.ttf"/"-Semibold.ttf"); NULL or "" restores the embedded faces.
// Always empties the caches. 1 when the regular face came from the family, 0 when it is embedded.
int ql_font_load(const char* prefix);
