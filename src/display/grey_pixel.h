// How a pixel becomes grey: the luma of its colour (the weights stb_image and the JPEG decoder's
// grey use), composited over white by its alpha.
#pragma once
#include <cstdint>

inline uint32_t luma(uint32_t r, uint32_t g, uint32_t b) { return (r * 77 + g * 150 + b * 29) >> 8; }
// (a*g + (255 - a)*255) / 255, integer division.
inline uint8_t over_white(uint32_t g, uint32_t a) { return uint8_t((a * g + (255 - a) * 255) / 255); }
