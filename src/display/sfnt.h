// Reading TrueType (sfnt) data through the bounded reader's positional peeks: every table is
// addressed by offsets from the file, so reads outside a table give 0 and callers check `has`.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/byte_reader.h"

// A signed 16-bit field (FWORD): metrics and kerning values.
inline int16_t sfnt_s16(const ByteReader& v, size_t off) { return int16_t(v.u16be_at(off)); }

constexpr uint32_t sfnt_tag(const char (&t)[5]) {
  return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
         uint8_t(t[3]);
}

// The offset of face 0 inside a font file or collection; false when the header does not fit.
bool sfnt_face_offset(ByteReader file, uint32_t* offset);
// The first table with this tag in the face at `face` (as stb_truetype picks it); empty when it is
// missing or does not lie inside the file. `at` receives its offset in the file.
ByteReader sfnt_table(ByteReader file, uint32_t face, uint32_t tag, uint32_t* at = nullptr);
