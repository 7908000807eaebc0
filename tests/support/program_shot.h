// The headless program's portrait frame as its PGM screenshots hold it, for end-to-end tests.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/ui/ui_frame.h"

constexpr int kW = 1072;
constexpr int kH = 1448;
constexpr char kPgmHead[] = "P5\n1072 1448\n255\n";

// The grey of a pixel of a PGM screenshot of that frame.
inline int grey_at(const std::string& pgm, int x, int y) {
  const size_t head = sizeof kPgmHead - 1;
  return static_cast<uint8_t>(pgm.at(head + static_cast<size_t>(y) * kW + static_cast<size_t>(x)));
}

// Two grey frames `w` wide are the same from the status bar's rule down (the clock above it may
// have moved on between them).
inline bool same_below_status_bar(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                  int w) {
  const size_t from = size_t(kStatusBarBottom + 1) * size_t(w);
  return a.size() == b.size() && a.size() > from &&
         std::equal(a.begin() + std::ptrdiff_t(from), a.end(), b.begin() + std::ptrdiff_t(from));
}
