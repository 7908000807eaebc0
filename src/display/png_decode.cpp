#include "display/png_decode.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "base/byte_reader.h"
#include "display/grey_pixel.h"

namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1A\n", 8);
constexpr size_t kHeaderEnd = 29;          // signature, IHDR's length and type, its 13 bytes
constexpr uint32_t kMaxSide = 1u << 24;    // wider or taller is no picture
constexpr size_t kChunkFrame = 12;         // length, type and CRC around a chunk's data
constexpr size_t kMaxPalette = 256;
constexpr uint8_t kFilterNone = 0, kFilterSub = 1, kFilterUp = 2, kFilterAverage = 3, kFilterPaeth = 4;

// Adam7: each pass's first column and row and its steps.
constexpr int kPasses = 7;
constexpr std::array<int, kPasses> kPassX = {0, 4, 0, 2, 0, 1, 0}, kPassY = {0, 0, 4, 0, 2, 0, 1},
                                   kStepX = {8, 8, 4, 4, 2, 2, 1}, kStepY = {8, 8, 8, 4, 4, 2, 2};

struct Header {
  uint32_t w, h;
  int depth, colour;
  bool interlaced;
};

int channels_of(int colour) {
  switch (colour) {
    case 0: return 1;  // grey
    case 2: return 3;  // RGB
    case 3: return 1;  // palette index
    case 4: return 2;  // grey, alpha
    case 6: return 4;  // RGBA
    default: return 0;
  }
}

bool depth_fits(int colour, int depth) {
  switch (colour) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    default: return channels_of(colour) > 0 && (depth == 8 || depth == 16);
  }
}

std::optional<Header> read_header(const uint8_t* data, size_t size) {
  const ByteReader png(data, size);
  if (size < kHeaderEnd || !png.matches_at(0, kSignature) || png.u32be_at(8) != 13 || !png.matches_at(12, "IHDR"))
    return std::nullopt;
  const Header h{png.u32be_at(16), png.u32be_at(20), png.u8_at(24), png.u8_at(25), png.u8_at(28) == 1};
  if (h.w == 0 || h.h == 0 || h.w > kMaxSide || h.h > kMaxSide || !depth_fits(h.colour, h.depth)) return std::nullopt;
  if (png.u8_at(26) != 0 || png.u8_at(27) != 0 || png.u8_at(28) > 1) return std::nullopt;  // deflate, filters
  return h;
}

size_t row_bytes_of(size_t w, int channels, int depth) { return (w * size_t(channels) * size_t(depth) + 7) / 8; }

int pass_size(int size, int first, int step) { return size > first ? (size - first + step - 1) / step : 0; }

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

bool is_png(const uint8_t* data, size_t size) { return ByteReader(data, size).matches_at(0, kSignature); }

bool png_size(const uint8_t* data, size_t size, int* w, int* h) {
  const std::optional<Header> header = read_header(data, size);
  if (!header) return false;
  *w = int(header->w);
  *h = int(header->h);
  return true;
}

PngRows::PngRows(const uint8_t* data, size_t size, uint64_t max_pixels) {
  // A picture within the pixel limit may still want more memory than there is: it is refused like
  // a damaged one.
  try {
    ok_ = read(data, size, max_pixels);
  } catch (const std::bad_alloc&) {
    ok_ = false;
  }
  if (!ok_) {
    std::vector<uint8_t>().swap(raw_);
    std::vector<uint8_t>().swap(grey_);
  }
}

bool PngRows::read(const uint8_t* data, size_t size, uint64_t max_pixels) {
  const std::optional<Header> header = read_header(data, size);
  if (!header || uint64_t(header->w) * header->h > max_pixels) return false;
  w_ = int(header->w);
  h_ = int(header->h);
  depth_ = header->depth;
  colour_ = header->colour;
  channels_ = channels_of(colour_);
  interlaced_ = header->interlaced;
  row_bytes_ = row_bytes_of(size_t(w_), channels_, depth_);
  std::vector<uint8_t> joined;
  std::span<const uint8_t> stream;
  if (!read_chunks(data, size, joined, stream) || !inflate(stream)) return false;
  if (interlaced_) return assemble_interlaced();
  grey_.resize(size_t(w_));
  return unfilter(raw_.data(), row_bytes_, h_);
}

// Reads the chunks after the header up to IEND (or the end of the data): the palette, the
// transparency, and the image data, which `joined` holds when it comes in more than one chunk.
bool PngRows::read_chunks(const uint8_t* data, size_t size, std::vector<uint8_t>& joined,
                          std::span<const uint8_t>& stream) {
  const ByteReader png(data, size);
  std::array<uint8_t, kMaxPalette * 3> palette{};
  std::array<uint8_t, kMaxPalette> alpha;
  alpha.fill(255);
  size_t palette_size = 0, image_chunks = 0;
  for (size_t pos = kHeaderEnd + 4; pos <= size && size - pos >= kChunkFrame;) {
    const uint32_t len = png.u32be_at(pos);
    if (len > size - pos - kChunkFrame) return false;  // runs past the end
    const uint8_t* body = data + pos + 8;
    const std::string_view type(reinterpret_cast<const char*>(data + pos + 4), 4);
    pos += kChunkFrame + len;
    if (type == "IEND") break;
    if (type == "IDAT") {
      if (colour_ == 3 && palette_size == 0) return false;
      if (++image_chunks == 2) joined.assign(stream.begin(), stream.end());
      if (image_chunks >= 2) joined.insert(joined.end(), body, body + len);
      stream = {body, len};
    } else if (type == "PLTE") {
      if (len == 0 || len % 3 != 0 || len > palette.size() || image_chunks) return false;
      std::copy(body, body + len, palette.begin());
      palette_size = len / 3;
    } else if (type == "tRNS") {
      const ByteReader t(body, len);
      if (image_chunks) return false;
      if (colour_ == 3) {
        if (len > palette_size) return false;
        std::copy(body, body + len, alpha.begin());
      } else if (colour_ == 0 || colour_ == 2) {
        if (len != size_t(2 * channels_)) return false;
        for (int k = 0; k < channels_; ++k) key_[k] = t.u16be_at(size_t(2 * k));
      } else {
        return false;  // alpha already
      }
    } else if (type == "IHDR" || !(type[0] & 0x20)) {
      return false;  // a second header, or another chunk the picture cannot be read without
    }
  }
  if (image_chunks == 0) return false;
  if (image_chunks > 1) stream = joined;
  for (size_t i = 0; i < palette_size; ++i)
    palette_grey_[i] = over_white(luma(palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]), alpha[i]);
  return true;
}

// The zlib stream into exactly the rows the header calls for (the checksum is not checked, as
// most decoders do not).
bool PngRows::inflate(std::span<const uint8_t> packed) {
  size_t expected = 0;
  if (interlaced_) {
    for (int p = 0; p < kPasses; ++p) {
      const int pw = pass_size(w_, kPassX[size_t(p)], kStepX[size_t(p)]);
      const int ph = pass_size(h_, kPassY[size_t(p)], kStepY[size_t(p)]);
      if (pw && ph) expected += size_t(ph) * (1 + row_bytes_of(size_t(pw), channels_, depth_));
    }
  } else {
    expected = size_t(h_) * (1 + row_bytes_);
  }
  if (packed.size() < 2) return false;
  const unsigned cmf = packed[0], flg = packed[1];
  if ((cmf & 15) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0 || (flg & 32)) return false;
  const std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
  if (!d) return false;
  raw_.resize(expected);
  size_t got = 0;
  return libdeflate_deflate_decompress(d.get(), packed.data() + 2, packed.size() - 2, raw_.data(), raw_.size(),
                                       &got) == LIBDEFLATE_SUCCESS &&
         got == expected;
}

// Undoes the row filters in place: `count` rows of row_bytes, each behind its filter byte.
bool PngRows::unfilter(uint8_t* rows, size_t row_bytes, int count) {
  const size_t bpp = std::max<size_t>(1, size_t(channels_ * depth_ / 8));
  const std::vector<uint8_t> none(row_bytes, 0);
  const uint8_t* prev = none.data();
  for (int r = 0; r < count; ++r, rows += row_bytes + 1) {
    uint8_t* cur = rows + 1;
    switch (rows[0]) {
      case kFilterNone: break;
      case kFilterSub:
        for (size_t i = bpp; i < row_bytes; ++i) cur[i] = uint8_t(cur[i] + cur[i - bpp]);
        break;
      case kFilterUp:
        for (size_t i = 0; i < row_bytes; ++i) cur[i] = uint8_t(cur[i] + prev[i]);
        break;
      case kFilterAverage:
        for (size_t i = 0; i < row_bytes; ++i)
          cur[i] = uint8_t(cur[i] + ((i >= bpp ? cur[i - bpp] : 0) + prev[i]) / 2);
        break;
      case kFilterPaeth:
        for (size_t i = 0; i < row_bytes; ++i)
          cur[i] = uint8_t(cur[i] + (i >= bpp ? paeth(cur[i - bpp], prev[i], prev[i - bpp]) : prev[i]));
        break;
      default: return false;
    }
    prev = cur;
  }
  return true;
}

// One row of w pixels, unfiltered samples in, grey over white out.
void PngRows::to_grey(const uint8_t* in, int w, uint8_t* out) const {
  const size_t n = size_t(w);
  if (depth_ == 8) {  // nearly every picture: one byte a sample
    switch (colour_) {
      case 0:
        for (size_t x = 0; x < n; ++x) out[x] = in[x] == key_[0] ? 255 : in[x];
        break;
      case 2:
        for (size_t x = 0; x < n; ++x, in += 3) {
          const bool clear = in[0] == key_[0] && in[1] == key_[1] && in[2] == key_[2];
          out[x] = clear ? 255 : uint8_t(luma(in[0], in[1], in[2]));
        }
        break;
      case 3:
        for (size_t x = 0; x < n; ++x) out[x] = palette_grey_[in[x]];
        break;
      case 4:
        for (size_t x = 0; x < n; ++x, in += 2) out[x] = over_white(in[0], in[1]);
        break;
      default:
        for (size_t x = 0; x < n; ++x, in += 4) out[x] = over_white(luma(in[0], in[1], in[2]), in[3]);
        break;
    }
    return;
  }
  // Sample i at 16 bits, or below 8 packed from the high bit down.
  auto sample = [&](size_t i) -> uint32_t {
    if (depth_ == 16) return uint32_t(in[2 * i]) << 8 | in[2 * i + 1];
    const size_t bit = i * size_t(depth_);
    return uint32_t(in[bit / 8] >> (8 - depth_ - int(bit % 8))) & ((1u << depth_) - 1);
  };
  // To 8 bits: the high byte of 16, sub-byte levels spread over 0..255.
  auto eight = [&](uint32_t v) { return depth_ == 16 ? v >> 8 : v * 255 / ((1u << depth_) - 1); };
  const size_t c = size_t(channels_);
  for (size_t x = 0; x < n; ++x) {
    switch (colour_) {
      case 0: {
        const uint32_t g = sample(x);
        out[x] = int(g) == key_[0] ? 255 : uint8_t(eight(g));
        break;
      }
      case 2: {
        const uint32_t r = sample(3 * x), g = sample(3 * x + 1), b = sample(3 * x + 2);
        const bool clear = int(r) == key_[0] && int(g) == key_[1] && int(b) == key_[2];
        out[x] = clear ? 255 : uint8_t(luma(eight(r), eight(g), eight(b)));
        break;
      }
      case 3: out[x] = palette_grey_[sample(x)]; break;
      case 4: out[x] = over_white(eight(sample(2 * x)), eight(sample(2 * x + 1))); break;
      default:
        out[x] = over_white(luma(eight(sample(c * x)), eight(sample(c * x + 1)), eight(sample(c * x + 2))),
                            eight(sample(c * x + 3)));
        break;
    }
  }
}

// Unfilters each pass and places its pixels: the whole picture in grey.
bool PngRows::assemble_interlaced() {
  grey_.assign(size_t(w_) * size_t(h_), 255);
  std::vector<uint8_t> line(static_cast<size_t>(w_));
  uint8_t* rows = raw_.data();
  for (int p = 0; p < kPasses; ++p) {
    const int pw = pass_size(w_, kPassX[size_t(p)], kStepX[size_t(p)]);
    const int ph = pass_size(h_, kPassY[size_t(p)], kStepY[size_t(p)]);
    if (!pw || !ph) continue;
    const size_t row_bytes = row_bytes_of(size_t(pw), channels_, depth_);
    if (!unfilter(rows, row_bytes, ph)) return false;
    for (int j = 0; j < ph; ++j, rows += row_bytes + 1) {
      to_grey(rows + 1, pw, line.data());
      uint8_t* out = grey_.data() + size_t(kPassY[size_t(p)] + j * kStepY[size_t(p)]) * size_t(w_);
      for (int i = 0; i < pw; ++i) out[kPassX[size_t(p)] + i * kStepX[size_t(p)]] = line[size_t(i)];
    }
  }
  std::vector<uint8_t>().swap(raw_);
  return true;
}

const uint8_t* PngRows::grey_row(int y) {
  if (interlaced_) return grey_.data() + size_t(y) * size_t(w_);
  if (y != grey_y_) to_grey(raw_.data() + size_t(y) * (1 + row_bytes_) + 1, w_, grey_.data());
  grey_y_ = y;
  return grey_.data();
}
