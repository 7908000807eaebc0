// The grey picture pipeline: decode with stb_image, composite over white, fit with a box filter.
#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "base/paths.h"
#include "display/images.h"
#include "display/jpeg_guard.h"

namespace {

constexpr size_t kMaxPictureData = 2147483646;
constexpr uint64_t kMaxPicturePixels = 60000000;
constexpr long kMaxPictureFile = 16777216;

bool is_jpeg_frame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

}  // namespace

uint8_t* ql_img_gray(const uint8_t* data, size_t size, int* w, int* h) {
  if (!data || size < 1 || size > kMaxPictureData || !jpeg_huffman_tables_fit(data, size)) return nullptr;
  int iw = 0, ih = 0, comp = 0;
  if (!stbi_info_from_memory(data, int(size), &iw, &ih, &comp)) return nullptr;
  if (iw < 1 || ih < 1 || uint64_t(iw) * uint64_t(ih) > kMaxPicturePixels) return nullptr;
  uint8_t* px = stbi_load_from_memory(data, int(size), &iw, &ih, &comp, 2);
  if (!px) return nullptr;
  // The decoder's own size rules; a frame that disagrees with its header is refused too.
  if (iw < 1 || ih < 1 || uint64_t(iw) * uint64_t(ih) > kMaxPicturePixels) {
    stbi_image_free(px);
    return nullptr;
  }
  const size_t n = size_t(iw) * size_t(ih);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t g = px[2 * i], a = px[2 * i + 1];
    px[i] = uint8_t((a * g + (255 - a) * 255) / 255);
  }
  *w = iw;
  *h = ih;
  return px;
}

int qlpdf_image_size(const uint8_t* data, size_t size, int* w, int* h) {
  if (!data || size < 1 || size > kMaxPictureData || !jpeg_huffman_tables_fit(data, size)) return 0;
  int iw = 0, ih = 0, comp = 0;
  if (!stbi_info_from_memory(data, int(size), &iw, &ih, &comp) || iw < 1 || ih < 1) return 0;
  *w = iw;
  *h = ih;
  return 1;
}

void ql_scale_gray(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh) {
  if (!src || !dst || sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  std::fill(dst, dst + size_t(dw) * size_t(dh), uint8_t(255));
  const float s = std::min(float(dw) / float(sw), float(dh) / float(sh));
  const int ow = int(std::clamp(s * float(sw), 1.0f, float(dw)));
  const int oh = int(std::clamp(s * float(sh), 1.0f, float(dh)));
  const int left = (dw - ow) / 2, top = (dh - oh) / 2;
  // Source block edges per output column, end exclusive, at least one pixel wide.
  std::vector<int> xs(static_cast<size_t>(ow)), xe(static_cast<size_t>(ow));
  for (int c = 0; c < ow; ++c) {
    const int64_t x0 = int64_t(c) * sw / ow;
    xs[size_t(c)] = int(x0);
    xe[size_t(c)] = int(std::min<int64_t>(std::max<int64_t>(x0 + 1, int64_t(c + 1) * sw / ow), sw));
  }
  for (int r = 0; r < oh; ++r) {
    const int64_t y0 = int64_t(r) * sh / oh;
    const int64_t y1 = std::min<int64_t>(std::max<int64_t>(y0 + 1, int64_t(r + 1) * sh / oh), sh);
    uint8_t* out = dst + size_t(top + r) * dw + left;
    for (int c = 0; c < ow; ++c) {
      uint64_t sum = 0;
      for (int64_t y = y0; y < y1; ++y) {
        const uint8_t* row = src + size_t(y) * sw;
        for (int x = xs[size_t(c)]; x < xe[size_t(c)]; ++x) sum += row[x];
      }
      out[c] = uint8_t(sum / (uint64_t(y1 - y0) * uint64_t(xe[size_t(c)] - xs[size_t(c)])));
    }
  }
}

int qlpdf_image_mem(const uint8_t* data, size_t size, uint8_t* dst, int w, int h) {
  if (!dst || w < 1 || h < 1) return 0;
  int iw = 0, ih = 0;
  uint8_t* grey = ql_img_gray(data, size, &iw, &ih);
  if (!grey) return 0;
  ql_scale_gray(grey, iw, ih, dst, w, h);
  free(grey);
  return 1;
}

int ql_image_file(const char* path, uint8_t* dst, int w, int h) {
  if (!path) return 0;
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f || fseek(f.get(), 0, SEEK_END) != 0) return 0;
  const long size = ftell(f.get());
  if (size < 1 || size > kMaxPictureFile || fseek(f.get(), 0, SEEK_SET) != 0) return 0;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (fread(data.data(), 1, data.size(), f.get()) != data.size()) return 0;
  return qlpdf_image_mem(data.data(), data.size(), dst, w, h);
}

int img_head_dims(const uint8_t* buf, size_t n, int* w, int* h) {
  static constexpr std::string_view kPng("\x89PNG\r\n\x1A\n", 8);
  if (!buf) return 0;
  const ByteReader head(buf, n);
  if (n >= 24 && head.matches_at(0, kPng)) {
    const uint32_t pw = head.u32be_at(16), ph = head.u32be_at(20);  // the IHDR chunk
    if (pw == 0 || ph == 0 || pw > INT_MAX || ph > INT_MAX) return 0;
    *w = int(pw);
    *h = int(ph);
    return 1;
  }
  if (n >= 10 && (head.matches_at(0, "GIF87a") || head.matches_at(0, "GIF89a"))) {
    const int gw = head.u16le_at(6), gh = head.u16le_at(8);
    if (gw == 0 || gh == 0) return 0;
    *w = gw;
    *h = gh;
    return 1;
  }
  if (n < 12 || head.u16be_at(0) != 0xFFD8) return 0;
  for (size_t pos = 2; pos < n && n - pos > 9;) {
    if (head.u8_at(pos) != 0xFF) return 0;
    const uint8_t m = head.u8_at(pos + 1);
    if (m == 0xFF) {
      pos += 1;
    } else if (m == 0x01 || m == 0xD8 || (m >= 0xD0 && m <= 0xD7)) {
      pos += 2;
    } else {
      const uint16_t len = head.u16be_at(pos + 2);
      if (len < 2) return 0;
      if (is_jpeg_frame(m)) {
        const int jh = head.u16be_at(pos + 5), jw = head.u16be_at(pos + 7);
        if (jw == 0 || jh <= 0) return 0;
        *w = jw;
        *h = jh;
        return 1;
      }
      pos += size_t(len) + 2;
    }
  }
  return 0;
}
