// Any word, in either language, gives ascending break points inside the word.
#include <cstddef>
#include <cstdint>
#include <string>

#include "display/hyphenation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  ql_hy_lang(data[0] & 1 ? "en" : "fi");
  const std::string word(reinterpret_cast<const char*>(data + 1), size - 1);
  uint32_t points[24];
  const int n = ql_hyphens(word.c_str(), points, 24);
  for (int i = 0; i < n; i++) {
    if (points[i] >= word.size() || (i > 0 && points[i] <= points[i - 1])) __builtin_trap();
  }
  return 0;
}
