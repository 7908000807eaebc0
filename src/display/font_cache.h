// The metric, kerning and glyph caches shared by measuring and drawing text.
#pragma once
#include <cstddef>
#include <cstdint>

#include "display/font_face.h"

struct GlyphMetric {
  int32_t glyph;    // 0 when the face lacks the character
  int32_t advance;  // font units
};
GlyphMetric met(int slot, uint32_t cp);
// Kerning between two glyphs of a slot, in font units.
int32_t kern(int slot, uint32_t first, uint32_t second);

struct GlyphBitmap {
  const uint8_t* pixels;  // NULL for an empty glyph such as the space
  int width, height, x_offset, y_offset;
};
// The cached rendering of (glyph, slot, scale); false when stb_truetype gave no bitmap.
bool glyph_bitmap(int slot, uint32_t glyph, float scale, GlyphBitmap* out);

void font_caches_clear();

struct FontCacheCounts {
  int metrics, kerns, glyphs;
  size_t glyph_bytes;
};
FontCacheCounts font_cache_counts();
