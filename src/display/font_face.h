// The six font slots behind all text: 0 regular, 1 italic, 2 bold (reading faces, replaceable by a
// family from the user's storage), 3 UI and 4 UI bold (always the embedded faces), and 5 the
// fallback face, which draws the letters the others lack (IPA, rarer Latin).
#pragma once
#include <stb_truetype.h>

#include <cstdint>

#include "display/font_kerning.h"
#include "display/sfnt.h"

constexpr int kFontSlots = 6;
constexpr int kFallbackSlot = 5;

struct FontFace {
  stbtt_fontinfo info{};
  ByteReader hmtx;
  int num_hmetrics = 0;
  int num_glyphs = 0;
  int units_per_em = 0;
  int line_units = 0;  // ascender - descender: the pixel-height scale's divisor
  KernReader kerning;

  float scale_for(float size) const { return size / float(line_units); }
  // Advance width of a glyph in font units (the last long metric beyond numberOfHMetrics).
  int advance(uint32_t glyph) const {
    const uint32_t i = glyph < uint32_t(num_hmetrics) ? glyph : uint32_t(num_hmetrics) - 1;
    return hmtx.u16be_at(size_t(i) * 4);
  }
};

const FontFace& font_face(int slot);
// The whole file of the face built into the program for a slot.
ByteReader embedded_face_file(int slot);
// Returns every slot to its embedded face, each set up when first used.
void ql_fonts_init();
