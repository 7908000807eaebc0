// A bounded view over TrueType (sfnt) data: reads outside the view give 0 instead of overrunning,
// and callers check `has` wherever a count or an offset from the file decides how far they go.
#pragma once
#include <cstddef>
#include <cstdint>

struct ByteView {
  const uint8_t* p = nullptr;
  size_t n = 0;

  bool empty() const { return n == 0; }
  bool has(size_t off, size_t len) const { return off <= n && len <= n - off; }
  uint8_t u8(size_t off) const { return has(off, 1) ? p[off] : 0; }
  uint16_t u16(size_t off) const { return has(off, 2) ? uint16_t(p[off] << 8 | p[off + 1]) : 0; }
  int16_t s16(size_t off) const { return int16_t(u16(off)); }
  uint32_t u32(size_t off) const {
    return has(off, 4) ? uint32_t(p[off]) << 24 | uint32_t(p[off + 1]) << 16 | uint32_t(p[off + 2]) << 8 | p[off + 3]
                       : 0;
  }
  // The bytes from `off` to the end (empty when `off` lies outside).
  ByteView from(size_t off) const { return off < n ? ByteView{p + off, n - off} : ByteView{}; }
  ByteView sub(size_t off, size_t len) const { return has(off, len) ? ByteView{p + off, len} : ByteView{}; }
};

constexpr uint32_t sfnt_tag(const char (&t)[5]) {
  return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
         uint8_t(t[3]);
}

// The offset of face 0 inside a font file or collection; false when the header does not fit.
bool sfnt_face_offset(ByteView file, uint32_t* offset);
// The first table with this tag in the face at `face` (as stb_truetype picks it); empty when it is
// missing or does not lie inside the file. `at` receives its offset in the file.
ByteView sfnt_table(ByteView file, uint32_t face, uint32_t tag, uint32_t* at = nullptr);
