#include "support/text_encoding.h"

#include <stdexcept>

std::optional<std::vector<uint32_t>> strict_code_points(std::string_view s) {
  std::vector<uint32_t> out;
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    size_t n = b < 0x80 ? 0 : b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 9;
    if (n == 9 || n > s.size() - i - 1) return std::nullopt;
    uint32_t cp = n == 0 ? b : b & (0x3F >> n);
    for (size_t k = 1; k <= n; k++) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = cp << 6 | (c & 0x3F);
    }
    static constexpr uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    out.push_back(cp);
    i += n + 1;
  }
  return out;
}

std::string utf16_of(std::string_view utf8, bool big_endian, bool with_mark) {
  auto cps = strict_code_points(utf8);
  if (!cps) throw std::invalid_argument("fixture text is not valid UTF-8");
  std::string out;
  auto put = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  };
  if (with_mark) put(0xFEFF);
  for (uint32_t cp : *cps) {
    if (cp < 0x10000) {
      put(cp);
    } else {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}
