// Structural validation of a TrueType face ahead of stb_truetype (see font_validate.h).
#include "display/font_validate.h"

#include <algorithm>
#include <vector>

namespace {

// Limits that keep a hostile face from asking for huge glyph bitmaps or endless composite walks.
constexpr int kMinUnitsPerEm = 16;
constexpr int kMaxUnitsPerEm = 16384;
constexpr int kMaxGlyphExtentEm = 6;  // glyph box at most 6 em on a side
constexpr int kMaxCompositeDepth = 8;
constexpr uint32_t kMaxGlyphPoints = 1u << 20;

struct Face {
  ByteReader file;
  uint32_t face = 0;
  ByteReader head, hhea, maxp, hmtx, loca, glyf, cmap;
  uint32_t cmap_at = 0;
  int upem = 0, line_units = 0, num_glyphs = 0, long_loca = 0;
};

bool glyph_range(const Face& f, uint32_t g, uint32_t* start, uint32_t* end) {
  if (f.long_loca) {
    *start = f.loca.u32be_at(size_t(g) * 4);
    *end = f.loca.u32be_at(size_t(g) * 4 + 4);
  } else {
    *start = f.loca.u16be_at(size_t(g) * 2) * 2u;
    *end = f.loca.u16be_at(size_t(g) * 2 + 2) * 2u;
  }
  return *start <= *end && *end <= f.glyf.size();
}

// A simple glyph: contour ends increasing, flags and coordinates inside the glyph's bytes.
bool simple_glyph_ok(ByteReader gl, int contours, uint32_t* points) {
  if (contours == 0) {
    *points = 0;
    return true;
  }
  if (!gl.has(10, size_t(contours) * 2 + 2)) return false;
  int last = -1;
  for (int c = 0; c < contours; ++c) {
    const int end = gl.u16be_at(10 + size_t(c) * 2);
    if (end <= last) return false;
    last = end;
  }
  const uint32_t n = uint32_t(last) + 1;
  size_t pos = 12 + size_t(contours) * 2 + gl.u16be_at(10 + size_t(contours) * 2);
  size_t x_bytes = 0, y_bytes = 0;
  for (uint32_t i = 0; i < n;) {
    if (!gl.has(pos, 1)) return false;
    const uint8_t flag = gl.u8_at(pos++);
    uint32_t repeat = 1;
    if (flag & 8) {
      if (!gl.has(pos, 1)) return false;
      repeat += gl.u8_at(pos++);
    }
    repeat = std::min(repeat, n - i);
    x_bytes += repeat * ((flag & 2) ? 1 : (flag & 16) ? 0 : 2);
    y_bytes += repeat * ((flag & 4) ? 1 : (flag & 32) ? 0 : 2);
    i += repeat;
  }
  *points = n + 2 * uint32_t(contours);
  return gl.has(pos, x_bytes + y_bytes);
}

// Walks glyph g and its components; `state` marks glyphs in progress (1) or done (2) so that a
// component cycle, which would recurse forever inside stb_truetype, is refused.
bool glyph_ok(const Face& f, uint32_t g, int depth, std::vector<uint8_t>& state, std::vector<uint32_t>& points) {
  if (state[g] == 2) return true;
  if (state[g] == 1 || depth > kMaxCompositeDepth) return false;
  state[g] = 1;
  uint32_t start = 0, end = 0;
  if (!glyph_range(f, g, &start, &end)) return false;
  const ByteReader gl = f.glyf.sub(start, end - start);
  uint32_t total = 0;
  if (end > start) {
    if (gl.size() < 10) return false;
    const int xmin = sfnt_s16(gl, 2), ymin = sfnt_s16(gl, 4), xmax = sfnt_s16(gl, 6), ymax = sfnt_s16(gl, 8);
    const int limit = kMaxGlyphExtentEm * f.upem;
    if (xmin > xmax || ymin > ymax || xmax - xmin > limit || ymax - ymin > limit) return false;
    const int contours = sfnt_s16(gl, 0);
    if (contours >= 0) {
      if (!simple_glyph_ok(gl, contours, &total)) return false;
    } else {
      size_t pos = 10;
      for (bool more = true; more;) {
        if (!gl.has(pos, 4)) return false;
        const uint16_t flags = gl.u16be_at(pos);
        const uint16_t part = gl.u16be_at(pos + 2);
        // Point-matched placement is read differently by stb_truetype; only offsets are accepted.
        if (!(flags & 2)) return false;
        pos += 4 + ((flags & 1) ? 4 : 2) + ((flags & 8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0);
        if (!gl.has(0, pos) || part >= f.num_glyphs) return false;
        if (!glyph_ok(f, part, depth + 1, state, points)) return false;
        total += points[part];
        if (total > kMaxGlyphPoints) return false;
        more = flags & 0x20;
      }
    }
  }
  points[g] = total;
  state[g] = 2;
  return true;
}

constexpr uint32_t kLastCodepoint = 0x10FFFF;
constexpr uint32_t kLastGlyphId = 0xFFFF;

// Format 12/13 groups as stb_truetype's binary search reads them: ordered code point ranges inside
// Unicode and 16-bit glyph ids. Its byte reader shifts into the sign bit of an int for anything
// larger, and no real face holds such values.
bool groups_ok(ByteReader map) {
  const uint32_t groups = map.u32be_at(12);
  if (!map.has(16, uint64_t(groups) * 12)) return false;
  for (uint32_t i = 0; i < groups; ++i) {
    const size_t at = 16 + size_t(i) * 12;
    const uint32_t first = map.u32be_at(at), last = map.u32be_at(at + 4), glyph = map.u32be_at(at + 8);
    if (first > last || last > kLastCodepoint || glyph > kLastGlyphId) return false;
  }
  return true;
}

// Whether the table is missing or starts inside the file: stb_truetype reads the offset of every
// table it looks up, also those it never uses here.
bool table_starts_inside(ByteReader file, uint32_t face, uint32_t tag) {
  uint32_t at = 0;
  sfnt_table(file, face, tag, &at);
  return at <= file.size();
}

// The character map stb_truetype will choose (the last Microsoft Unicode or Unicode-platform
// encoding record), and the subtable's structure for the lookups it performs.
bool cmap_ok(const Face& f) {
  const uint16_t records = f.cmap.u16be_at(2);
  if (!f.cmap.has(4, size_t(records) * 8)) return false;
  uint32_t chosen = 0;
  bool found = false;
  for (uint16_t i = 0; i < records; ++i) {
    const size_t rec = 4 + size_t(i) * 8;
    const uint16_t platform = f.cmap.u16be_at(rec), encoding = f.cmap.u16be_at(rec + 2);
    if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))) {
      chosen = f.cmap.u32be_at(rec + 4);
      found = true;
      // stb_truetype reads every such record's offset, also those a later record overrides.
      if (chosen >= f.cmap.size()) return false;
    }
  }
  if (!found) return false;
  const ByteReader map = f.cmap.from(chosen);
  switch (map.u16be_at(0)) {
    case 0:
      return map.u16be_at(2) >= 6 && map.has(6, map.u16be_at(2) - 6u);
    case 6:
      return map.has(10, size_t(map.u16be_at(8)) * 2);
    case 12:
    case 13:
      return groups_ok(map);
    case 4:
      break;
    default:  // formats stb_truetype cannot read
      return false;
  }
  // Format 4: stb_truetype's binary search trusts the search fields, so they must be the exact
  // values the segment count implies; every glyph-array reach must stay inside the map.
  const uint32_t segs = map.u16be_at(6) / 2u;
  if (segs < 1 || !map.has(14, size_t(segs) * 8 + 2)) return false;
  uint32_t pow2 = 1, log2 = 0;
  while (pow2 * 2 <= segs) {
    pow2 *= 2;
    ++log2;
  }
  if (map.u16be_at(8) != pow2 * 2 || map.u16be_at(10) != log2 || map.u16be_at(12) != 2 * segs - pow2 * 2)
    return false;
  for (uint32_t i = 0; i < segs; ++i) {
    const uint32_t end = map.u16be_at(14 + size_t(i) * 2);
    const uint32_t start = map.u16be_at(16 + size_t(segs) * 2 + size_t(i) * 2);
    const size_t range_at = 16 + size_t(segs) * 6 + size_t(i) * 2;
    const uint32_t range = map.u16be_at(range_at);
    if (range == 0 || start > end) continue;
    if (!map.has(range_at + range, (size_t(end - start) + 1) * 2)) return false;
  }
  return true;
}

}  // namespace

bool font_file_usable(ByteReader file, uint32_t* face_at) {
  Face f;
  f.file = file;
  if (!sfnt_face_offset(file, &f.face)) return false;
  const uint32_t version = file.u32be_at(f.face);
  if (version != 0x00010000 && version != sfnt_tag("true")) return false;  // TrueType outlines only
  f.head = sfnt_table(file, f.face, sfnt_tag("head"));
  f.hhea = sfnt_table(file, f.face, sfnt_tag("hhea"));
  f.maxp = sfnt_table(file, f.face, sfnt_tag("maxp"));
  f.hmtx = sfnt_table(file, f.face, sfnt_tag("hmtx"));
  f.loca = sfnt_table(file, f.face, sfnt_tag("loca"));
  f.glyf = sfnt_table(file, f.face, sfnt_tag("glyf"));
  f.cmap = sfnt_table(file, f.face, sfnt_tag("cmap"));
  if (f.head.size() < 54 || f.hhea.size() < 36 || f.maxp.size() < 6 || f.hmtx.empty() || f.loca.empty() ||
      f.glyf.empty() || f.cmap.size() < 4)
    return false;

  f.upem = f.head.u16be_at(18);
  f.long_loca = sfnt_s16(f.head, 50);
  f.num_glyphs = f.maxp.u16be_at(4);
  f.line_units = sfnt_s16(f.hhea, 4) - sfnt_s16(f.hhea, 6);
  const int hmetrics = f.hhea.u16be_at(34);
  if (f.upem < kMinUnitsPerEm || f.upem > kMaxUnitsPerEm || (f.long_loca != 0 && f.long_loca != 1)) return false;
  if (f.num_glyphs < 1 || hmetrics < 1 || hmetrics > f.num_glyphs) return false;
  // The pixel scale divides by the line height; a tiny one would blow glyph bitmaps up.
  if (f.line_units * 2 < f.upem || f.line_units > 4 * f.upem) return false;
  if (!f.hmtx.has(0, size_t(hmetrics) * 4 + size_t(f.num_glyphs - hmetrics) * 2)) return false;
  if (!f.loca.has(0, size_t(f.num_glyphs + 1) * (f.long_loca ? 4 : 2))) return false;
  if (!cmap_ok(f)) return false;
  if (!table_starts_inside(file, f.face, sfnt_tag("kern")) || !table_starts_inside(file, f.face, sfnt_tag("GPOS")))
    return false;

  std::vector<uint8_t> state(size_t(f.num_glyphs), 0);
  std::vector<uint32_t> points(size_t(f.num_glyphs), 0);
  for (int g = 0; g < f.num_glyphs; ++g)
    if (!glyph_ok(f, uint32_t(g), 0, state, points)) return false;
  *face_at = f.face;
  return true;
}
