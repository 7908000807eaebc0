// The grey picture pipeline: decode, composite over white, fit with a box filter. JPEG goes through
// libjpeg (grey, at the smallest DCT scale that still covers the box), PNG through its own reader
// (inflated by libdeflate), GIF and BMP through stb_image; PNG, GIF and BMP rows are made grey as
// the fit reads them, so no full-size grey copy is made.
#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "base/byte_reader.h"
#include "base/paths.h"
#include "display/grey_pixel.h"
#include "display/images.h"
#include "display/jpeg_decode.h"
#include "display/png_decode.h"

namespace {

constexpr size_t kMaxPictureData = 2147483646;
constexpr long kMaxPictureFile = 16777216;

bool is_jpeg_frame(uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

bool within_pixel_limit(int w, int h) { return w >= 1 && h >= 1 && uint64_t(w) * uint64_t(h) <= kMaxPicturePixels; }

// Grey from one row of `channels` samples a pixel (grey, grey + alpha, RGB, RGBA).
void grey_row(const uint8_t* in, int channels, int w, uint8_t* out) {
  for (int x = 0; x < w; ++x, in += channels) {
    switch (channels) {
      case 1: out[x] = in[0]; break;
      case 2: out[x] = over_white(in[0], in[1]); break;
      case 3: out[x] = uint8_t(luma(in[0], in[1], in[2])); break;
      default: out[x] = over_white(luma(in[0], in[1], in[2]), in[3]); break;
    }
  }
}

// A GIF or BMP decoded by stb_image with the channels it decodes to anyway (asking for those, it
// converts nothing); empty when refused.
struct StbPicture {
  uint8_t* px = nullptr;
  int w = 0, h = 0, channels = 0;
  StbPicture(const uint8_t* data, size_t size) {
    int comp = 0;
    if (!stbi_info_from_memory(data, int(size), &w, &h, &comp) || !within_pixel_limit(w, h)) return;
    channels = std::clamp(comp, 1, 4);
    px = stbi_load_from_memory(data, int(size), &w, &h, &comp, channels);
    // The decoder's own size rules; a frame that disagrees with its header is refused too.
    if (px && !within_pixel_limit(w, h)) {
      stbi_image_free(px);
      px = nullptr;
    }
  }
  ~StbPicture() { stbi_image_free(px); }
  StbPicture(const StbPicture&) = delete;
  StbPicture& operator=(const StbPicture&) = delete;
};

bool acceptable(const uint8_t* data, size_t size) { return data && size >= 1 && size <= kMaxPictureData; }

// The box filter: fits a sw x sh source, read row by row through row_of(y) (sw grey bytes), as an
// ow x oh picture centred in dst (dw x dh), white around it. Output pixel (c, r) is the truncated
// average of the source block x0 = c*sw/ow .. max(x0 + 1, (c + 1)*sw/ow), likewise for rows, so
// every output pixel reads at least one source pixel whether shrinking or enlarging.
template <class RowOf>
void fit_rows(int sw, int sh, uint8_t* dst, int dw, int dh, int ow, int oh, RowOf&& row_of) {
  std::fill(dst, dst + size_t(dw) * size_t(dh), uint8_t(255));
  const int left = (dw - ow) / 2, top = (dh - oh) / 2;
  // Source block edges per output column, end exclusive, at least one pixel wide. Averages divide
  // by a product of reciprocals: (sum + 1/2) * (1/rows) * (1/columns) lies within a few units of
  // the last place of the exact quotient, and so always on the same side of the next whole number
  // for any sum below 2^50.
  std::vector<int> xs(static_cast<size_t>(ow)), xe(static_cast<size_t>(ow));
  std::vector<double> per_column(static_cast<size_t>(ow));
  bool single_columns = true;
  for (int c = 0; c < ow; ++c) {
    const int64_t x0 = int64_t(c) * sw / ow;
    const int64_t x1 = std::min<int64_t>(std::max<int64_t>(x0 + 1, int64_t(c + 1) * sw / ow), sw);
    xs[size_t(c)] = int(x0);
    xe[size_t(c)] = int(x1);
    per_column[size_t(c)] = 1.0 / double(x1 - x0);
    single_columns = single_columns && x1 - x0 == 1;
  }
  std::vector<uint64_t> sums;
  auto average_row = [&](const auto* column_sums, double per_row, uint8_t* out) {
    for (int c = 0; c < ow; ++c) {
      uint64_t sum = 0;
      for (int x = xs[size_t(c)]; x < xe[size_t(c)]; ++x) sum += column_sums[x];
      out[c] = uint8_t((double(sum) + 0.5) * per_row * per_column[size_t(c)]);
    }
  };
  for (int r = 0; r < oh; ++r) {
    const int64_t y0 = int64_t(r) * sh / oh;
    const int64_t y1 = std::min<int64_t>(std::max<int64_t>(y0 + 1, int64_t(r + 1) * sh / oh), sh);
    uint8_t* out = dst + size_t(top + r) * size_t(dw) + size_t(left);
    if (y1 - y0 == 1) {
      const uint8_t* row = row_of(int(y0));
      if (single_columns) {
        for (int c = 0; c < ow; ++c) out[c] = row[xs[size_t(c)]];
      } else {
        average_row(row, 1.0, out);
      }
      continue;
    }
    sums.assign(size_t(sw), 0);
    for (int64_t y = y0; y < y1; ++y) {
      const uint8_t* row = row_of(int(y));
      for (int x = 0; x < sw; ++x) sums[size_t(x)] += row[x];
    }
    average_row(sums.data(), 1.0 / double(y1 - y0), out);
  }
}

// The size a sw x sh picture takes fitted into dw x dh: scaled by min(dw/sw, dh/sh), truncated,
// at least one pixel and at most the box.
void fitted_size(int sw, int sh, int dw, int dh, int* ow, int* oh) {
  const float s = std::min(float(dw) / float(sw), float(dh) / float(sh));
  *ow = int(std::clamp(s * float(sw), 1.0f, float(dw)));
  *oh = int(std::clamp(s * float(sh), 1.0f, float(dh)));
}

}  // namespace

uint8_t* ql_img_gray(const uint8_t* data, size_t size, int* w, int* h) {
  if (!acceptable(data, size)) return nullptr;
  if (is_jpeg(data, size)) return jpeg_decode_grey(data, size, INT_MAX, INT_MAX, kMaxPicturePixels, w, h);
  if (is_png(data, size)) {
    PngRows png(data, size, kMaxPicturePixels);
    if (!png.ok()) return nullptr;
    const size_t row = size_t(png.width());
    auto* grey = static_cast<uint8_t*>(malloc(row * size_t(png.height())));
    if (!grey) return nullptr;
    for (int y = 0; y < png.height(); ++y) memcpy(grey + size_t(y) * row, png.grey_row(y), row);
    *w = png.width();
    *h = png.height();
    return grey;
  }
  StbPicture pic(data, size);
  if (!pic.px) return nullptr;
  // Row by row in place: a grey row never reaches past the samples it is made from.
  const size_t in_row = size_t(pic.w) * size_t(pic.channels);
  for (int y = 0; y < pic.h; ++y)
    grey_row(pic.px + size_t(y) * in_row, pic.channels, pic.w, pic.px + size_t(y) * size_t(pic.w));
  *w = pic.w;
  *h = pic.h;
  return std::exchange(pic.px, nullptr);
}

int qlpdf_image_size(const uint8_t* data, size_t size, int* w, int* h) {
  if (!acceptable(data, size)) return 0;
  int iw = 0, ih = 0, comp = 0;
  const bool read = is_jpeg(data, size)  ? jpeg_size(data, size, &iw, &ih)
                    : is_png(data, size) ? png_size(data, size, &iw, &ih)
                                         : stbi_info_from_memory(data, int(size), &iw, &ih, &comp) != 0;
  if (!read || iw < 1 || ih < 1) return 0;
  *w = iw;
  *h = ih;
  return 1;
}

void ql_scale_gray(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh) {
  if (!src || !dst || sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  int ow = 0, oh = 0;
  fitted_size(sw, sh, dw, dh, &ow, &oh);
  fit_rows(sw, sh, dst, dw, dh, ow, oh, [&](int y) { return src + size_t(y) * size_t(sw); });
}

int qlpdf_image_mem(const uint8_t* data, size_t size, uint8_t* dst, int w, int h) {
  if (!dst || w < 1 || h < 1 || !acceptable(data, size)) return 0;
  if (is_jpeg(data, size)) {
    // The box is filled as the full-size picture would fill it; the decoder's smaller picture only
    // stands in for it as the source of the averages.
    int fw = 0, fh = 0, ow = 0, oh = 0, gw = 0, gh = 0;
    if (!jpeg_size(data, size, &fw, &fh)) return 0;
    fitted_size(fw, fh, w, h, &ow, &oh);
    uint8_t* grey = jpeg_decode_grey(data, size, ow, oh, kMaxPicturePixels, &gw, &gh);
    if (!grey) return 0;
    fit_rows(gw, gh, dst, w, h, ow, oh, [&](int y) { return grey + size_t(y) * size_t(gw); });
    free(grey);
    return 1;
  }
  if (is_png(data, size)) {
    PngRows png(data, size, kMaxPicturePixels);
    if (!png.ok()) return 0;
    int ow = 0, oh = 0;
    fitted_size(png.width(), png.height(), w, h, &ow, &oh);
    fit_rows(png.width(), png.height(), dst, w, h, ow, oh, [&](int y) { return png.grey_row(y); });
    return 1;
  }
  StbPicture pic(data, size);
  if (!pic.px) return 0;
  int ow = 0, oh = 0;
  fitted_size(pic.w, pic.h, w, h, &ow, &oh);
  // Each source row is made grey once, when the fit first reads it (enlarging reads it again).
  std::vector<uint8_t> row(static_cast<size_t>(pic.w));
  int row_y = -1;
  const size_t in_row = size_t(pic.w) * size_t(pic.channels);
  fit_rows(pic.w, pic.h, dst, w, h, ow, oh, [&](int y) -> const uint8_t* {
    if (pic.channels == 1) return pic.px + size_t(y) * in_row;
    if (y != row_y) grey_row(pic.px + size_t(y) * in_row, pic.channels, pic.w, row.data());
    row_y = y;
    return row.data();
  });
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
  if (!buf) return 0;
  const ByteReader head(buf, n);
  if (n >= 24 && is_png(buf, n)) {
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
