// Walks the JPEG markers the way stb_image's decoder reaches them (segments by their lengths,
// entropy-coded data up to the next marker other than a restart), checking every Huffman table.
// Where the decoder would give up, the walk stops too: nothing after that point is ever parsed.
#include "display/jpeg_guard.h"

namespace {

constexpr int kNoMarker = -1;
constexpr size_t kMaxHuffmanSymbols = 256;

struct Cursor {
  const uint8_t* d;
  size_t n, pos;
  bool at_end() const { return pos >= n; }
  int get8() { return pos < n ? d[pos++] : 0; }  // the decoder reads zeros past the end
  int get16() {
    const int hi = get8();
    return hi << 8 | get8();
  }
  int marker() {
    int x = get8();
    if (x != 0xFF) return kNoMarker;
    while (x == 0xFF && !at_end()) x = get8();
    return x == 0xFF ? kNoMarker : x;
  }
  void skip(long len) { pos = len <= 0 ? pos : (size_t(len) > n - pos ? n : pos + size_t(len)); }
};

bool is_restart(int m) { return m >= 0xD0 && m <= 0xD7; }

// The marker that ends a scan's entropy-coded data (restarts are part of the data).
int end_of_scan(Cursor& c) {
  while (!c.at_end()) {
    if (c.get8() != 0xFF) continue;
    int x = c.get8();
    while (x == 0xFF && !c.at_end()) x = c.get8();
    if (x != 0 && x != 0xFF && !is_restart(x)) return x;
  }
  return kNoMarker;
}

// Reads a DHT segment as the decoder does: false when a table overflows; *ok false when the
// decoder would reject the segment.
bool huffman_segment_fits(Cursor& c, bool* ok) {
  long len = c.get16() - 2;
  while (len > 0) {
    const int q = c.get8();
    if ((q >> 4) > 1 || (q & 15) > 3) {
      *ok = false;
      return true;
    }
    size_t symbols = 0;
    for (int i = 0; i < 16; ++i) symbols += size_t(c.get8());
    if (symbols > kMaxHuffmanSymbols) return false;
    c.skip(long(symbols));
    len -= 17 + long(symbols);
  }
  *ok = len == 0;
  return true;
}

}  // namespace

bool jpeg_huffman_tables_fit(const uint8_t* data, size_t n) {
  if (!data || n < 2 || data[0] != 0xFF || data[1] != 0xD8) return true;
  Cursor c{data, n, 2};
  bool in_image = false;  // past the frame header
  int m = c.marker();
  while (!c.at_end() || m != kNoMarker) {
    if (m == kNoMarker) {
      if (in_image) return true;  // the decoder stops on stray bytes once the image has begun
      m = c.marker();
      continue;
    }
    if (m == 0xD9) return true;  // end of image
    bool ok = true;
    if (m == 0xC4) {
      if (!huffman_segment_fits(c, &ok)) return false;
    } else if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
      if (in_image) return true;
      in_image = true;
      c.skip(c.get16() - 2);
    } else if (m == 0xDA) {
      if (!in_image) return true;
      c.skip(c.get16() - 2);
      m = end_of_scan(c);
      continue;
    } else if (m == 0xDB || m == 0xDD || m == 0xDC || (m >= 0xE0 && m <= 0xEF) || m == 0xFE) {
      c.skip(c.get16() - 2);
    } else {
      return true;  // a marker the decoder refuses
    }
    if (!ok) return true;
    m = c.marker();
  }
  return true;
}
