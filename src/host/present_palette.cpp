#include "host/present_palette.h"

#include <cstring>

namespace {
// One table lookup a pixel; the palette chosen by the mask value.
void convert_words(const std::array<std::array<uint32_t, 256>, 3>& words, const uint8_t* grey,
                   const uint8_t* mask, size_t n, uint32_t* out) {
  if (!mask) {
    for (size_t i = 0; i < n; i++) out[i] = words[0][grey[i]];
    return;
  }
  for (size_t i = 0; i < n; i++) {
    const uint8_t m = mask[i];
    out[i] = words[m == 1 || m == 2 ? m : 0][grey[i]];
  }
}
}  // namespace

PresentPalette build_palette(bool dark) {
  PresentPalette p;
  for (int v = 0; v < 256; v++) {
    const int u = dark ? 255 - v : v;
    const int ink = 255 - v;
    p.rgb[0][v] = {uint8_t(29 + u * 207 / 255), uint8_t(41 + u * 197 / 255),
                   uint8_t(37 + u * 201 / 255)};
    p.rgb[1][v] = {uint8_t(v), uint8_t(v), uint8_t(v)};
    if (dark) {
      p.rgb[2][v] = {uint8_t(29 + ink * 140 / 255), uint8_t(41 + ink * 57 / 255),
                     uint8_t(37 + ink * 29 / 255)};
    } else {
      p.rgb[2][v] = {uint8_t(236 - ink * 67 / 255), uint8_t(238 - ink * 140 / 255),
                     uint8_t(238 - ink * 172 / 255)};
    }
  }
  for (size_t m = 0; m < p.rgb.size(); m++) {
    for (size_t v = 0; v < 256; v++) {
      const auto& c = p.rgb[m][v];
      const uint8_t bytes[4] = {c[0], c[1], c[2], 255};
      memcpy(&p.rgba_word[m][v], bytes, sizeof bytes);
      p.xrgb_word[m][v] = 0xff000000u | uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
    }
  }
  return p;
}

void convert_frame(const PresentPalette& pal, const uint8_t* grey, const uint8_t* mask, size_t n,
                   uint8_t* rgba) {
  // The words hold the bytes in memory order, so they are stored as they are, through memcpy where
  // the buffer may not be aligned for words.
  constexpr size_t kChunk = 1024;
  uint32_t words[kChunk];
  for (size_t at = 0; at < n; at += kChunk) {
    const size_t count = n - at < kChunk ? n - at : kChunk;
    convert_words(pal.rgba_word, grey + at, mask ? mask + at : nullptr, count, words);
    memcpy(rgba + at * 4, words, count * 4);
  }
}

void convert_frame_xrgb(const PresentPalette& pal, const uint8_t* grey, const uint8_t* mask,
                        size_t n, uint32_t* xrgb) {
  convert_words(pal.xrgb_word, grey, mask, n, xrgb);
}
