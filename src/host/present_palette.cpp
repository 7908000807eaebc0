#include "host/present_palette.h"

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
  return p;
}

void convert_frame(const PresentPalette& pal, const uint8_t* grey, const uint8_t* mask, size_t n,
                   uint8_t* rgba) {
  for (size_t i = 0; i < n; i++) {
    const uint8_t m = mask ? mask[i] : 0;
    const auto& c = pal.rgb[m == 1 || m == 2 ? m : 0][grey[i]];
    rgba[0] = c[0];
    rgba[1] = c[1];
    rgba[2] = c[2];
    rgba[3] = 255;
    rgba += 4;
  }
}
