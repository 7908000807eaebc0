// The active grey plane written as an 8-bit grey PNG (screenshots and the tool modes).
#include <cstdlib>

#include "base/paths.h"
#include "display/framebuffer.h"

// Debian's stb_image_write declares this only inside its implementation section.
extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes, int x, int y,
                                                 int n, int* out_len);

int ql_png(const char* path) {
  const Framebuffer& fb = ql_fb();
  if (!fb.pixels || !path) return 0;
  int len = 0;
  unsigned char* png = stbi_write_png_to_mem(fb.pixels, fb.width, fb.width, fb.height, 1, &len);
  if (!png) return 0;
  FilePtr f(fopen(path, "wb"));
  const bool ok = f && fwrite(png, 1, size_t(len), f.get()) == size_t(len) && fflush(f.get()) == 0;
  free(png);
  return ok ? 1 : 0;
}
