// Locating a face and its tables inside a font file without trusting any offset in it.
#include "display/sfnt.h"

bool sfnt_face_offset(ByteReader file, uint32_t* offset) {
  if (file.u32be_at(0) != sfnt_tag("ttcf")) {
    *offset = 0;
    return file.has(0, 12);
  }
  if (!file.has(0, 16) || file.u32be_at(8) < 1) return false;
  *offset = file.u32be_at(12);
  return file.has(*offset, 12);
}

ByteReader sfnt_table(ByteReader file, uint32_t face, uint32_t tag, uint32_t* at) {
  const uint32_t count = file.u16be_at(size_t(face) + 4);
  if (!file.has(size_t(face) + 12, size_t(count) * 16)) return {};
  for (uint32_t i = 0; i < count; ++i) {
    const size_t rec = size_t(face) + 12 + size_t(i) * 16;
    if (file.u32be_at(rec) != tag) continue;
    const uint32_t off = file.u32be_at(rec + 8), len = file.u32be_at(rec + 12);
    if (at) *at = off;
    return file.sub(off, len);
  }
  return {};
}
