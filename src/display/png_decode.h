// PNG pictures straight to grey rows (composited over white), inflated by libdeflate: the inflated
// rows are held as they come, and a row is unfiltered and made grey only when it is asked for, so
// no colour or grey copy of the whole picture is made. Every colour type and bit depth, with
// transparency from alpha or tRNS; interlaced pictures are assembled whole in grey first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// True when the data starts with the PNG signature.
bool is_png(const uint8_t* data, size_t size);
// The size from a well-formed header (IHDR first, with a known colour type and depth); false else.
bool png_size(const uint8_t* data, size_t size, int* w, int* h);

class PngRows {
 public:
  // Reads the chunks and inflates the image data; ok() is false when the picture is refused
  // (damaged, unsupported, over max_pixels) and then no row may be asked for.
  PngRows(const uint8_t* data, size_t size, uint64_t max_pixels);
  bool ok() const { return ok_; }
  int width() const { return w_; }
  int height() const { return h_; }
  // Row y in grey, width() bytes, valid until the next call. Rows are asked for in order (a row
  // may be asked for again).
  const uint8_t* grey_row(int y);

 private:
  bool read(const uint8_t* data, size_t size, uint64_t max_pixels);
  bool read_chunks(const uint8_t* data, size_t size, std::vector<uint8_t>& joined, std::span<const uint8_t>& stream);
  bool inflate(std::span<const uint8_t> packed);
  bool unfilter(uint8_t* rows, size_t row_bytes, int count);
  void to_grey(const uint8_t* in, int w, uint8_t* out) const;
  bool assemble_interlaced();

  bool ok_ = false;
  int w_ = 0, h_ = 0, depth_ = 0, colour_ = 0, channels_ = 0;
  bool interlaced_ = false;
  size_t row_bytes_ = 0;           // a row's samples, without its filter byte
  std::vector<uint8_t> raw_;       // inflated rows, each behind its filter byte
  std::vector<uint8_t> grey_;      // one grey row, or the whole picture when interlaced
  int grey_y_ = -1;                // the row grey_ holds
  uint8_t palette_grey_[256] = {};  // palette entries as grey over white
  int key_[3] = {-1, -1, -1};      // the transparent sample values (tRNS), -1: none
};
