// Pictures from books, comics and covers: the header sniffer, the size probe, the decoders (libjpeg
// at full and reduced scale, stb_image for the rest), the box-filter fit and the blit onto the frame.
//
// Input: byte 0 picks the box (bits 0-2 width, bits 3-5 height) and bit 6 reads the picture through
// a file; the rest is the picture.
#include <stb_image_write.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/framebuffer.h"
#include "display/images.h"
#include "fuzz_support.h"

namespace {

constexpr int kBoxSides[8] = {1, 2, 7, 16, 33, 100, 257, 600};
constexpr char kPictureFile[] = "/mnt/us/picture";

void append_bytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// A small picture with a gradient and an alpha ramp, so every channel has something to carry.
std::vector<uint8_t> sample_pixels(int w, int h, int comp) {
  std::vector<uint8_t> px(size_t(w) * size_t(h) * size_t(comp));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < comp; ++c) px[(size_t(y) * w + x) * comp + c] = uint8_t(x * 37 + y * 11 + c * 80);
  return px;
}

void write_seeds() {
  const struct {
    int w, h, comp;
  } shapes[] = {{1, 1, 1}, {5, 3, 2}, {8, 8, 3}, {17, 9, 4}};
  for (const auto& s : shapes) {
    const std::vector<uint8_t> px = sample_pixels(s.w, s.h, s.comp);
    const std::string tag = std::to_string(s.w) + "x" + std::to_string(s.h) + "c" + std::to_string(s.comp);
    // JPEG seeds come from outside: the writer's JPEG path is not part of the program.
    std::string png, bmp;
    stbi_write_png_to_func(append_bytes, &png, s.w, s.h, s.comp, px.data(), 0);
    stbi_write_bmp_to_func(append_bytes, &bmp, s.w, s.h, s.comp, px.data());
    fuzz::write_seed(tag + ".png", "\x1b" + png);
    fuzz::write_seed(tag + ".bmp", "\x2c" + bmp);
  }
  // A 2 x 1 GIF89a: global palette of two colours, one image, LZW minimum code size 2.
  static const uint8_t kGif[] = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,
                                 0, 0, 0, 255, 255, 255,                    // palette
                                 0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0,           // image descriptor
                                 2, 3, 0x44, 0x0A, 0x00, 0,                 // LZW data
                                 0x3B};
  fuzz::write_seed("2x1.gif", std::string("\x13") + std::string(reinterpret_cast<const char*>(kGif), sizeof kGif));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  if (!ql_init(1)) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const uint8_t* pic = data + 1;
  const size_t n = size - 1;

  int hw = 0, hh = 0;
  if (img_head_dims(pic, n, &hw, &hh) && (hw < 1 || hh < 1)) __builtin_trap();

  int sw = 0, sh = 0;
  const bool sized = qlpdf_image_size(pic, n, &sw, &sh);
  if (sized && (sw < 1 || sh < 1)) __builtin_trap();

  int gw = 0, gh = 0;
  uint8_t* grey = ql_img_gray(pic, n, &gw, &gh);
  if (grey) {
    // A decoded picture has the size its header gave.
    if (!sized || gw != sw || gh != sh) __builtin_trap();
  }

  const int bw = kBoxSides[flags & 7], bh = kBoxSides[(flags >> 3) & 7];
  std::vector<uint8_t> box(size_t(bw) * size_t(bh), 7);
  if (grey) {
    ql_scale_gray(grey, gw, gh, box.data(), bw, bh);
    free(grey);
  }
  int fitted;
  if (flags & 64) {
    fuzz::write_device_file(kPictureFile, pic, n);
    fitted = ql_image_file(kPictureFile, box.data(), bw, bh);
  } else {
    fitted = qlpdf_image_mem(pic, n, box.data(), bw, bh);
  }
  if (fitted != (grey != nullptr)) __builtin_trap();

  const Framebuffer& fb = ql_fb();
  ql_blit(box.data(), bw, bh, 10, 10);
  ql_blit(box.data(), bw, bh, -bw / 2, fb.height - bh / 2);  // clipped at two edges
  return 0;
}
