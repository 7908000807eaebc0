// EPUBs with a plain grey cover picture, for the cover and library screen tests.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/epub_builder.h"

extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes, int x,
                                                 int y, int n, int* out_len);

inline std::string flat_png(int w, int h, uint8_t grey) {
  std::vector<uint8_t> px(size_t(w) * size_t(h), grey);
  int len = 0;
  unsigned char* p = stbi_write_png_to_mem(px.data(), w, w, h, 1, &len);
  std::string out(reinterpret_cast<char*>(p), size_t(len));
  free(p);
  return out;
}

// A book whose cover (marked "cover-image") is one flat grey of the cover file's proportions.
inline std::string epub_with_cover(const std::string& title, uint8_t grey) {
  EpubPlan plan = simple_book({"<p>Words.</p>"});
  plan.title = title;
  plan.items.emplace_back("cov", "cover.png", "image/png", flat_png(300, 420, grey), "cover-image",
                          false);
  return build_epub(plan);
}
