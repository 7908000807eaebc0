// Grey frame plus mask plane to screen colours: the paper palette (tinted paper and ink, inverted in
// dark mode), neutral grey for pictures and the accent palette.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

struct PresentPalette {
  // [mask value 0..2][grey] -> red, green, blue.
  std::array<std::array<std::array<uint8_t, 3>, 256>, 3> rgb;
  // The same colours packed for the two forms the frame is shown in: red, green, blue, 255 as
  // bytes in memory (a little-endian word), and 0xffRRGGBB as a word (the window's image format).
  std::array<std::array<uint32_t, 256>, 3> rgba_word;
  std::array<std::array<uint32_t, 256>, 3> xrgb_word;
};

PresentPalette build_palette(bool dark);
// Converts n pixels to red, green, blue, 255. `mask` may be NULL (all paper); mask values other than
// 1 and 2 use the paper palette.
void convert_frame(const PresentPalette& pal, const uint8_t* grey, const uint8_t* mask, size_t n,
                   uint8_t* rgba);
// The same into 0xffRRGGBB words.
void convert_frame_xrgb(const PresentPalette& pal, const uint8_t* grey, const uint8_t* mask,
                        size_t n, uint32_t* xrgb);
