#include "support/picture_fixtures.h"

#include <cstdlib>
#include <vector>

extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes, int x,
                                                 int y, int n, int* out_len);

std::string grey_png(int w, int h, uint8_t grey) {
  std::vector<uint8_t> px(size_t(w) * h, grey);
  int len = 0;
  unsigned char* p = stbi_write_png_to_mem(px.data(), w, w, h, 1, &len);
  std::string out(reinterpret_cast<char*>(p), size_t(len));
  free(p);
  return out;
}
