// Pictures for test books, encoded in the test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A w x h PNG of one grey level.
std::string grey_png(int w, int h, uint8_t grey);

// A JPEG written by libjpeg from w x h pixels of `components` samples each: 1 grey, 3 RGB (stored
// as YCbCr) or 4 CMYK (stored inverted, with Adobe's marker, as CMYK pictures are); progressive
// when asked.
std::string encode_jpeg(const std::vector<uint8_t>& px, int w, int h, int components, bool progressive = false);
