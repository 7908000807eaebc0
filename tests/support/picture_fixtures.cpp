#include "support/picture_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

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

std::string encode_jpeg(const std::vector<uint8_t>& px, int w, int h, int components, bool progressive) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);  // a test's own pictures never fail: libjpeg's default ends the run
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 92, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(px.data() + size_t(c.next_scanline) * size_t(w) * size_t(components));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string jpeg(reinterpret_cast<char*>(out), size);
  free(out);
  return jpeg;
}
