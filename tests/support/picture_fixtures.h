// Pictures for test books, encoded in the test.
#pragma once
#include <cstdint>
#include <string>

// A w x h PNG of one grey level.
std::string grey_png(int w, int h, uint8_t grey);
