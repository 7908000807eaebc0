// Encoding grey pictures as PNG files: the screenshots and the pages the tool modes write.
#pragma once
#include <cstdint>
#include <string>

// An 8-bit grey PNG of `width` x `height` pixels, rows `stride` bytes apart; empty when the size is
// not positive or memory runs out.
std::string png_encode_grey(const uint8_t* pixels, int width, int height, int stride);
