// The headless program's portrait frame as its PGM screenshots hold it, for end-to-end tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kW = 1072;
constexpr int kH = 1448;
constexpr char kPgmHead[] = "P5\n1072 1448\n255\n";

// The grey of a pixel of a PGM screenshot of that frame.
inline int grey_at(const std::string& pgm, int x, int y) {
  const size_t head = sizeof kPgmHead - 1;
  return static_cast<uint8_t>(pgm.at(head + static_cast<size_t>(y) * kW + static_cast<size_t>(x)));
}
