// The wordmark is set in the embedded semibold interface face rather than kept as a picture file,
// so it needs none beside the fonts.
#include "display/logo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "display/font_cache.h"
#include "display/images.h"

namespace {

constexpr const char kWordmark[] = "QUILLO";
constexpr int kUiBoldSlot = 4;
constexpr float kSpan = 0.7f;  // the letters are spaced out to fill this share of the strip

// Lays the word out at a scale and returns its ink box; draws it when `draw` is set.
struct Box {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
};
Box set_word(uint8_t* logo, float scale, float tracking, float pen_x, float base_y, bool draw) {
  const FontFace& face = font_face(kUiBoldSlot);
  Box box;
  float pen = pen_x;
  for (const char* c = kWordmark; *c; ++c) {
    const int glyph = met(kUiBoldSlot, uint8_t(*c)).glyph;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(&face.info, glyph, scale, scale, &x0, &y0, &x1, &y1);
    const int left = int(pen), top = int(base_y);
    box.x0 = std::min(box.x0, float(left + x0));
    box.x1 = std::max(box.x1, float(left + x1));
    box.y0 = std::min(box.y0, float(top + y0));
    box.y1 = std::max(box.y1, float(top + y1));
    if (draw) {
      int w = 0, h = 0, xo = 0, yo = 0;
      uint8_t* bm = stbtt_GetGlyphBitmap(&face.info, scale, scale, glyph, &w, &h, &xo, &yo);
      for (int r = 0; r < h; ++r)
        for (int col = 0; col < w; ++col) {
          const int x = left + xo + col, y = top + yo + r;
          if (x < 0 || y < 0 || x >= kLogoWidth || y >= kLogoHeight) continue;
          uint8_t& dst = logo[size_t(y) * kLogoWidth + x];
          dst = std::min<uint8_t>(dst, uint8_t(255 - bm[size_t(r) * w + col]));
        }
      free(bm);
    }
    if (c[1]) {
      const uint32_t next = uint32_t(met(kUiBoldSlot, uint8_t(c[1])).glyph);
      pen += float(face.advance(uint32_t(glyph)) + kern(kUiBoldSlot, uint32_t(glyph), next)) * scale;
    }
    pen += tracking;
  }
  return box;
}

}  // namespace

void logo_draw(uint8_t* logo, uint8_t* small) {
  std::fill(logo, logo + size_t(kLogoWidth) * kLogoHeight, uint8_t{255});
  // Measure at unit scale, then fit the ink into the strip with a small margin above and below.
  const Box unit = set_word(logo, 1.0f, 0, 0, 0, false);
  const float ink_h = unit.y1 - unit.y0, ink_w = unit.x1 - unit.x0;
  const float scale = std::min((kLogoHeight - 6) / ink_h, (kLogoWidth - 8) / ink_w);
  const Box tight = set_word(logo, scale, 0, 0, 0, false);
  const float gaps = float(sizeof kWordmark - 2);
  const float tracking = std::max(0.0f, floorf((kSpan * kLogoWidth - (tight.x1 - tight.x0)) / gaps));
  const Box at = set_word(logo, scale, tracking, 0, 0, false);
  const float pen_x = floorf((kLogoWidth - (at.x1 - at.x0)) / 2 - at.x0);
  const float base_y = floorf((kLogoHeight - (at.y1 - at.y0)) / 2 - at.y0);
  set_word(logo, scale, tracking, pen_x, base_y, true);
  ql_scale_gray(logo, kLogoWidth, kLogoHeight, small, kSmallLogoWidth, kSmallLogoHeight);
}
