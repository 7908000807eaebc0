// Walks the JPEG markers the way stb_image's decoder reaches them (segments by their lengths,
// entropy-coded data up to the next marker other than a restart), checking every Huffman table.
// Where the decoder would give up, the walk stops too: nothing after that point is ever parsed.
#include "display/jpeg_guard.h"

#include "base/byte_reader.h"

namespace {

constexpr int kNoMarker = -1;
constexpr size_t kMaxHuffmanSymbols = 256;

// The decoder reads zeros past the end, as the reader's failed reads give; a 16-bit read with one
// byte left still gets that byte.
int get16(ByteReader& c) {
  const int hi = c.u8();
  return hi << 8 | c.u8();
}

bool at_end(const ByteReader& c) { return c.remaining() == 0; }

int next_marker(ByteReader& c) {
  int x = c.u8();
  if (x != 0xFF) return kNoMarker;
  while (x == 0xFF && !at_end(c)) x = c.u8();
  return x == 0xFF ? kNoMarker : x;
}

// A segment's stated length may run past the end: the decoder then stops there.
void skip_segment(ByteReader& c, long len) {
  if (len > 0) c.skip(size_t(len));
}

bool is_restart(int m) { return m >= 0xD0 && m <= 0xD7; }

// The marker that ends a scan's entropy-coded data (restarts are part of the data).
int end_of_scan(ByteReader& c) {
  while (!at_end(c)) {
    if (c.u8() != 0xFF) continue;
    int x = c.u8();
    while (x == 0xFF && !at_end(c)) x = c.u8();
    if (x != 0 && x != 0xFF && !is_restart(x)) return x;
  }
  return kNoMarker;
}

// Reads a DHT segment as the decoder does: false when a table overflows; *ok false when the
// decoder would reject the segment.
bool huffman_segment_fits(ByteReader& c, bool* ok) {
  long len = get16(c) - 2;
  while (len > 0) {
    const int q = c.u8();
    if ((q >> 4) > 1 || (q & 15) > 3) {
      *ok = false;
      return true;
    }
    size_t symbols = 0;
    for (int i = 0; i < 16; ++i) symbols += size_t(c.u8());
    if (symbols > kMaxHuffmanSymbols) return false;
    skip_segment(c, long(symbols));
    len -= 17 + long(symbols);
  }
  *ok = len == 0;
  return true;
}

}  // namespace

bool jpeg_huffman_tables_fit(const uint8_t* data, size_t n) {
  if (!data || n < 2 || data[0] != 0xFF || data[1] != 0xD8) return true;
  ByteReader c(data, n);
  c.skip(2);  // the start-of-image marker
  bool in_image = false;  // past the frame header
  int m = next_marker(c);
  while (!at_end(c) || m != kNoMarker) {
    if (m == kNoMarker) {
      if (in_image) return true;  // the decoder stops on stray bytes once the image has begun
      m = next_marker(c);
      continue;
    }
    if (m == 0xD9) return true;  // end of image
    bool ok = true;
    if (m == 0xC4) {
      if (!huffman_segment_fits(c, &ok)) return false;
    } else if (m == 0xC0 || m == 0xC1 || m == 0xC2) {
      if (in_image) return true;
      in_image = true;
      skip_segment(c, get16(c) - 2);
    } else if (m == 0xDA) {
      if (!in_image) return true;
      skip_segment(c, get16(c) - 2);
      m = end_of_scan(c);
      continue;
    } else if (m == 0xDB || m == 0xDD || m == 0xDC || (m >= 0xE0 && m <= 0xEF) || m == 0xFE) {
      skip_segment(c, get16(c) - 2);
    } else {
      return true;  // a marker the decoder refuses
    }
    if (!ok) return true;
    m = next_marker(c);
  }
  return true;
}
