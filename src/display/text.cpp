// Measuring and drawing text: one walk over the characters that both share, so a drawn string is
// exactly as wide as its measurement.
#include <algorithm>
#include <cmath>

#include "base/utf8.h"
#include "display/font_cache.h"
#include "display/fonts.h"
#include "display/framebuffer.h"

namespace {

constexpr uint32_t kNoGlyph = UINT32_MAX;
constexpr float kHeadingScale = 1.35f;

struct SlotSize {
  int slot;
  float size;
};
SlotSize resolve(TextStyle style, float size) {
  switch (style) {
    case TS_ITALIC: return {1, size};
    case TS_BOLD: return {2, size};
    case TS_HEADING: return {2, size * kHeadingScale};
    case TS_UI: return {3, size};
    case TS_UI_BOLD: return {4, size};
    default: return {0, size};
  }
}

struct Borrowed {
  int slot;
  GlyphMetric metric;  // glyph 0 when no face has the character
};
// Where a character a slot lacks comes from: the interface faces lack most scripts and accents and
// take them from the reading face; every face takes IPA and rarer Latin letters from the fallback.
Borrowed borrow(int slot, uint32_t cp) {
  if (slot == 3 || slot == 4) {
    const int reading = slot == 3 ? 0 : 2;
    const GlyphMetric m = met(reading, cp);
    if (m.glyph != 0) return {reading, m};
  }
  // A private-use character means what the face the text was made for says: another face's glyph
  // for it would be a wrong letter.
  if ((cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000) return {kFallbackSlot, {0, 0}};
  return {kFallbackSlot, met(kFallbackSlot, cp)};
}

// Walks the string, calling visit(slot, glyph, scale, pen_x) for every glyph that is drawn, and
// returns the pen's final position.
template <class Visit>
float walk_text(const char* text, TextStyle style, float size, float pen, Visit&& visit) {
  if (!text) return pen;
  const SlotSize ss = resolve(style, size);
  const FontFace& face = font_face(ss.slot);
  const float k = face.scale_for(ss.size);
  uint32_t prev = kNoGlyph;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  while (*s) {
    const uint32_t cp = utf8_next(s);
    const GlyphMetric m = met(ss.slot, cp);
    if (cp >= 128 && m.glyph == 0) {
      // A borrowed glyph is drawn at the same em size, with no kerning across the change of face.
      const Borrowed b = borrow(ss.slot, cp);
      if (b.metric.glyph != 0) {
        const float fk = k * float(face.units_per_em) / float(font_face(b.slot).units_per_em);
        visit(b.slot, uint32_t(b.metric.glyph), fk, pen);
        pen = fmaf(float(b.metric.advance), fk, pen);
        prev = kNoGlyph;
        continue;
      }
    }
    if (cp < 0x2000 || m.glyph != 0) {
      if (prev != kNoGlyph) pen = fmaf(float(kern(ss.slot, prev, uint32_t(m.glyph))), k, pen);
      visit(ss.slot, uint32_t(m.glyph), k, pen);
      pen = fmaf(float(m.advance), k, pen);
      prev = uint32_t(m.glyph);
    } else {
      if (prev != kNoGlyph) pen = fmaf(float(kern(ss.slot, prev, 0)), k, pen);
      prev = kNoGlyph;
    }
  }
  return pen;
}

int to_pixel(float v) { return int(std::clamp(v, -1e9f, 1e9f)); }

void draw_glyph(const GlyphBitmap& bm, int left, int top) {
  Framebuffer& fb = ql_fb();
  if (!bm.pixels || !fb.pixels) return;
  const int r0 = std::max(0, -top), r1 = std::min(bm.height, fb.height - top);
  const int c0 = std::max(0, -left), c1 = std::min(bm.width, fb.width - left);
  for (int r = r0; r < r1; ++r) {
    const uint8_t* src = bm.pixels + size_t(r) * bm.width;
    uint8_t* dst = fb.pixels + size_t(top + r) * fb.width + left;
    // dst * (255 - coverage) / 255, truncated, in 16-bit steps without a branch, so the loop
    // runs many pixels at a time; no coverage leaves the pixel as it was.
    for (int c = c0; c < c1; ++c) {
      const auto x = uint16_t(dst[c] * (255 - src[c]));
      dst[c] = uint8_t(uint16_t(x + 1 + (x >> 8)) >> 8);
    }
  }
}

}  // namespace

float ql_measure(const char* text, TextStyle style, float size) {
  return walk_text(text, style, size, 0.0f, [](int, uint32_t, float, float) {});
}

void ql_text(const char* text, TextStyle style, float size, float x, float y) {
  if (!ql_fb().pixels) return;
  ql_will_draw();
  const int baseline = to_pixel(y);
  walk_text(text, style, size, x, [&](int slot, uint32_t glyph, float scale, float pen) {
    GlyphBitmap bm;
    if (glyph_bitmap(slot, glyph, scale, &bm)) draw_glyph(bm, to_pixel(pen) + bm.x_offset, baseline + bm.y_offset);
  });
}
