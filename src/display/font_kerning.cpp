// GPOS and `kern` pair lookups over bounded views (see sfnt.h).
#include "display/font_kerning.h"

#include <algorithm>
#include <bit>

namespace {

constexpr uint16_t kLookupPair = 2;
constexpr uint16_t kLookupExtension = 9;
constexpr uint16_t kValueXAdvance = 0x0004;

// Index of `glyph` in a coverage table, or -1.
int coverage_index(ByteReader cov, uint32_t glyph) {
  const uint16_t format = cov.u16be_at(0), count = cov.u16be_at(2);
  int lo = 0, hi = int(count) - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    if (format == 1) {
      const uint16_t g = cov.u16be_at(4 + size_t(mid) * 2);
      if (g == glyph) return mid;
      if (g < glyph) lo = mid + 1; else hi = mid - 1;
    } else if (format == 2) {
      const size_t rec = 4 + size_t(mid) * 6;
      const uint16_t start = cov.u16be_at(rec), end = cov.u16be_at(rec + 2);
      if (glyph < start) hi = mid - 1;
      else if (glyph > end) lo = mid + 1;
      else return int(cov.u16be_at(rec + 4) + (glyph - start));
    } else {
      return -1;
    }
  }
  return -1;
}

uint32_t class_of(ByteReader def, uint32_t glyph) {
  const uint16_t format = def.u16be_at(0);
  if (format == 1) {
    const uint32_t start = def.u16be_at(2), count = def.u16be_at(4);
    return glyph >= start && glyph - start < count ? def.u16be_at(6 + size_t(glyph - start) * 2) : 0;
  }
  if (format != 2) return 0;
  int lo = 0, hi = int(def.u16be_at(2)) - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const size_t rec = 4 + size_t(mid) * 6;
    if (glyph < def.u16be_at(rec)) hi = mid - 1;
    else if (glyph > def.u16be_at(rec + 2)) lo = mid + 1;
    else return def.u16be_at(rec + 4);
  }
  return 0;
}

size_t value_size(uint16_t format) { return 2 * size_t(std::popcount(unsigned(format & 0xff))); }
// The X advance inside a value record, 0 when the record has none.
int x_advance(ByteReader record, uint16_t format) {
  if (!(format & kValueXAdvance)) return 0;
  return sfnt_s16(record, 2 * size_t(std::popcount(unsigned(format & 0x3))));
}

// Applies one pair-adjustment subtable: true when it covers the pair (then *adv is set).
bool pair_adjust(ByteReader st, uint32_t first, uint32_t second, int* adv) {
  const int ci = coverage_index(st.from(st.u16be_at(2)), first);
  if (ci < 0) return false;
  const uint16_t vf1 = st.u16be_at(4), vf2 = st.u16be_at(6);
  const size_t v1 = value_size(vf1), v2 = value_size(vf2);
  if (st.u16be_at(0) == 1) {
    if (ci >= st.u16be_at(8)) return false;
    const ByteReader set = st.from(st.u16be_at(10 + size_t(ci) * 2));
    const size_t rec_size = 2 + v1 + v2;
    int lo = 0, hi = int(set.u16be_at(0)) - 1;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      const size_t rec = 2 + size_t(mid) * rec_size;
      const uint16_t g = set.u16be_at(rec);
      if (g == second) {
        *adv = x_advance(set.from(rec + 2), vf1);
        return true;
      }
      if (g < second) lo = mid + 1; else hi = mid - 1;
    }
    return false;
  }
  if (st.u16be_at(0) != 2) return false;
  const uint32_t c1 = class_of(st.from(st.u16be_at(8)), first);
  const uint32_t c2 = class_of(st.from(st.u16be_at(10)), second);
  const uint32_t n1 = st.u16be_at(12), n2 = st.u16be_at(14);
  if (c1 >= n1 || c2 >= n2) return false;
  *adv = x_advance(st.from(16 + (size_t(c1) * n2 + c2) * (v1 + v2)), vf1);
  return true;
}

// Lookup indices named by every `kern` feature, in lookup order, without repeats.
std::vector<uint16_t> kern_lookup_indices(ByteReader gpos) {
  std::vector<uint16_t> out;
  const ByteReader features = gpos.from(gpos.u16be_at(6));
  const uint16_t count = features.u16be_at(0);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t rec = 2 + size_t(i) * 6;
    if (!features.has(rec, 6) || features.u32be_at(rec) != sfnt_tag("kern")) continue;
    const ByteReader feature = features.from(features.u16be_at(rec + 4));
    const uint16_t n = feature.u16be_at(2);
    for (uint16_t k = 0; k < n && feature.has(4 + size_t(k) * 2, 2); ++k)
      out.push_back(feature.u16be_at(4 + size_t(k) * 2));
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace

void KernReader::init(ByteReader file, uint32_t face) {
  lookups_.clear();
  kern_pairs_ = {};
  const ByteReader gpos = sfnt_table(file, face, sfnt_tag("GPOS"));
  const ByteReader kern = sfnt_table(file, face, sfnt_tag("kern"));
  has_tables_ = !gpos.empty() || !kern.empty();

  const ByteReader list = gpos.from(gpos.u16be_at(8));
  for (uint16_t index : kern_lookup_indices(gpos)) {
    if (index >= list.u16be_at(0)) continue;
    const ByteReader lookup = list.from(list.u16be_at(2 + size_t(index) * 2));
    const uint16_t type = lookup.u16be_at(0), subtables = lookup.u16be_at(4);
    Lookup found;
    for (uint16_t s = 0; s < subtables && lookup.has(6 + size_t(s) * 2, 2); ++s) {
      ByteReader st = lookup.from(lookup.u16be_at(6 + size_t(s) * 2));
      uint16_t st_type = type;
      if (type == kLookupExtension) {
        if (st.u16be_at(0) != 1) continue;
        st_type = st.u16be_at(2);
        st = st.from(st.u32be_at(4));
      }
      if (st_type == kLookupPair && !st.empty()) found.pair_subtables.push_back(st);
    }
    if (!found.pair_subtables.empty()) lookups_.push_back(std::move(found));
  }
  if (!lookups_.empty()) return;

  // Legacy table: the first horizontal format-0 subtable. Its pairs are bounded by the table, not
  // by the subtable's 16-bit length, which large tables overflow.
  if (kern.u16be_at(0) != 0 || kern.u16be_at(2) < 1) return;
  const uint16_t coverage = kern.u16be_at(8);
  if ((coverage >> 8) != 0 || !(coverage & 1) || (coverage & 0x6)) return;
  const size_t pairs = kern.u16be_at(10);
  kern_pairs_ = kern.sub(18, std::min(pairs * 6, kern.size() > 18 ? (kern.size() - 18) / 6 * 6 : 0));
}

int KernReader::advance(uint32_t first, uint32_t second) const {
  if (first > 0xffff || second > 0xffff) return 0;
  int total = 0;
  for (const Lookup& lookup : lookups_) {
    for (const ByteReader& st : lookup.pair_subtables) {
      int adv = 0;
      if (pair_adjust(st, first, second, &adv)) {
        total += adv;
        break;
      }
    }
  }
  if (!lookups_.empty()) return total;

  const uint32_t key = first << 16 | second;
  int lo = 0, hi = int(kern_pairs_.size() / 6) - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const uint32_t k = kern_pairs_.u32be_at(size_t(mid) * 6);
    if (k == key) return sfnt_s16(kern_pairs_, size_t(mid) * 6 + 4);
    if (k < key) lo = mid + 1; else hi = mid - 1;
  }
  return 0;
}
