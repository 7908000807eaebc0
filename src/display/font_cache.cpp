// Fixed open-addressing tables: pagination measures every word of a book, so a measurement costs a
// hash probe or two and never allocates; drawing rasterises each (glyph, slot, scale) once.
#include "display/font_cache.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

struct MetricEntry {
  uint32_t cp;
  int32_t glyph;
  int32_t advance;
  uint8_t slot;
  uint8_t used;
};
struct KernEntry {
  uint32_t first;
  uint32_t second;
  int32_t advance;
  uint8_t slot;
  uint8_t used;
};
struct GlyphEntry {
  uint32_t glyph;
  float scale;
  uint8_t slot;
  uint8_t used;
  int32_t width, height, x_offset, y_offset;
  uint8_t* bitmap;
};

constexpr size_t kMetricSize = 4096;
constexpr int kMetricLimit = 3072;
constexpr size_t kKernSize = 16384;
constexpr int kKernLimit = 12288;
constexpr size_t kGlyphSize = 4096;
constexpr int kGlyphLimit = 3071;
constexpr size_t kGlyphBytesLimit = 12582912;

std::array<MetricEntry, kMetricSize> mcache;
int mc_count = 0;
std::array<KernEntry, kKernSize> kcache;
int kc_count = 0;
std::array<GlyphEntry, kGlyphSize> gcache;
int gc_count = 0;
size_t gc_bytes = 0;

// An empty table is left untouched: clearing it anyway at start-up would fault in half a megabyte
// of pages that a tool mode never uses.
void clear_metrics() {
  if (mc_count == 0) return;
  mcache.fill({});
  mc_count = 0;
}
void clear_kerns() {
  if (kc_count == 0) return;
  kcache.fill({});
  kc_count = 0;
}
void clear_glyphs() {
  if (gc_count == 0) return;
  for (GlyphEntry& e : gcache) free(e.bitmap);
  gcache.fill({});
  gc_count = 0;
  gc_bytes = 0;
}

}  // namespace

GlyphMetric met(int slot, uint32_t cp) {
  if (mc_count >= kMetricLimit) clear_metrics();
  uint32_t i = ((cp ^ uint32_t(slot) << 24) * 0x9e3779b1u) >> 20;
  while (mcache[i].used) {
    if (mcache[i].cp == cp && mcache[i].slot == slot) return {mcache[i].glyph, mcache[i].advance};
    i = (i + 1) & (kMetricSize - 1);
  }
  const FontFace& face = font_face(slot);
  int glyph = cp > 0x10ffff ? 0 : stbtt_FindGlyphIndex(&face.info, int(cp));
  if (glyph < 0 || glyph >= face.num_glyphs) glyph = 0;  // a map entry past the last glyph is missing
  mcache[i] = {cp, glyph, face.advance(uint32_t(glyph)), uint8_t(slot), 1};
  ++mc_count;
  return {mcache[i].glyph, mcache[i].advance};
}

int32_t kern(int slot, uint32_t first, uint32_t second) {
  const FontFace& face = font_face(slot);
  if (!face.kerning.has_tables()) return 0;
  if (kc_count >= kKernLimit) clear_kerns();
  uint32_t i = (first * 0x9e3779b1u ^ uint32_t(slot) * 0xc2b2ae3du ^ second * 0x85ebca77u) >> 18;
  while (kcache[i].used) {
    const KernEntry& e = kcache[i];
    if (e.first == first && e.second == second && e.slot == slot) return e.advance;
    i = (i + 1) & (kKernSize - 1);
  }
  kcache[i] = {first, second, face.kerning.advance(first, second), uint8_t(slot), 1};
  ++kc_count;
  return kcache[i].advance;
}

bool glyph_bitmap(int slot, uint32_t glyph, float scale, GlyphBitmap* out) {
  if (gc_count > kGlyphLimit || gc_bytes > kGlyphBytesLimit) clear_glyphs();
  const uint32_t bits = std::bit_cast<uint32_t>(scale);
  uint32_t i = (bits * 0x85ebca77u ^ uint32_t(slot) * 0xc2b2ae3du ^ glyph * 0x9e3779b1u) >> 20;
  while (gcache[i].used) {
    const GlyphEntry& e = gcache[i];
    if (e.glyph == glyph && e.slot == slot && std::bit_cast<uint32_t>(e.scale) == bits) {
      *out = {e.bitmap, e.width, e.height, e.x_offset, e.y_offset};
      return true;
    }
    i = (i + 1) & (kGlyphSize - 1);
  }
  GlyphEntry& e = gcache[i];
  e = {glyph, scale, uint8_t(slot), 1, 0, 0, 0, 0, nullptr};
  e.bitmap = stbtt_GetGlyphBitmapSubpixel(&font_face(slot).info, scale, scale, 0, 0, int(glyph), &e.width,
                                          &e.height, &e.x_offset, &e.y_offset);
  if (!e.bitmap && e.width >= 1 && e.height >= 1) {
    e = {};
    return false;
  }
  if (!e.bitmap) e.width = e.height = 0;
  ++gc_count;
  gc_bytes += size_t(e.width) * size_t(e.height);
  *out = {e.bitmap, e.width, e.height, e.x_offset, e.y_offset};
  return true;
}

void font_caches_clear() {
  clear_glyphs();
  clear_metrics();
  clear_kerns();
}

FontCacheCounts font_cache_counts() { return {mc_count, kc_count, gc_count, gc_bytes}; }
