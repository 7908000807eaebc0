// KF8 books: the INDX indexes of skeletons and fragments, and the parts rebuilt from them.
#include <algorithm>
#include <bit>
#include <optional>

#include "book/convert/convert_mobi.h"

namespace {
constexpr size_t kIndxMin = 56;
constexpr uint32_t kControlBytesMax = 8;
constexpr size_t kTagsMax = 64;
constexpr size_t kValuesPerTagMax = 8;

struct TagDef {
  uint8_t tag, per_entry, mask, end_flag;
};

// A forward variable-width number: 7 bits a byte, the high bit on the last byte.
std::optional<uint32_t> read_varint(ByteReader v, size_t& off, size_t end) {
  uint32_t value = 0;
  for (int k = 0; k < 5 && off < end; k++) {
    const uint8_t b = v.u8_at(off++);
    value = value << 7 | (b & 0x7Fu);
    if (b & 0x80) return value;
  }
  return std::nullopt;
}

bool read_entries(ByteReader r, const std::vector<TagDef>& tags, uint32_t control_bytes, std::vector<IndexEntry>& out) {
  const uint32_t idxt = r.u32be_at(20), count = r.u32be_at(24);
  if (!r.matches_at(idxt, "IDXT")) return false;
  for (uint32_t e = 0; e < count; e++) {
    if (!r.has(idxt + 4 + size_t{e} * 2, 2)) return false;
    const size_t start = r.u16be_at(idxt + 4 + size_t{e} * 2);
    const size_t end =
        e + 1 < count && r.has(idxt + 4 + size_t{e + 1} * 2, 2) ? r.u16be_at(idxt + 4 + size_t{e + 1} * 2) : idxt;
    if (end < start || end > r.size() || start >= r.size()) return false;
    const size_t label_len = r.u8_at(start);
    if (!r.has(start + 1, label_len) || start + 1 + label_len + control_bytes > end) return false;
    IndexEntry entry;
    for (size_t k = 0; k < label_len; k++) {
      const uint8_t c = r.u8_at(start + 1 + k);
      if (c < '0' || c > '9') break;
      entry.label = entry.label * 10 + (c - '0');
    }
    size_t off = start + 1 + label_len;
    const size_t control = off;
    off += control_bytes;
    // Which tags are present, and with how many values, is told by the control bytes.
    struct Present {
      uint8_t tag, per_entry;
      uint32_t count;   // groups of per_entry values, or 0 when `bytes` says how far they go
      uint32_t bytes;
    };
    std::vector<Present> present;
    size_t ci = 0;
    for (const TagDef& t : tags) {
      if (t.end_flag) {
        ci++;
        continue;
      }
      if (ci >= control_bytes) break;
      uint32_t value = r.u8_at(control + ci) & t.mask;
      if (value == 0) continue;
      if (value == t.mask && std::popcount(t.mask) > 1) {
        std::optional<uint32_t> len = read_varint(r, off, end);
        if (!len) return false;
        present.push_back({t.tag, t.per_entry, 0, *len});
      } else {
        value >>= std::countr_zero(t.mask);
        present.push_back({t.tag, t.per_entry, value, 0});
      }
    }
    for (const Present& p : present) {
      std::vector<uint32_t> values;
      if (p.count > 0) {
        for (uint64_t k = 0; k < uint64_t{p.count} * p.per_entry; k++) {
          std::optional<uint32_t> v = read_varint(r, off, end);
          if (!v) return false;
          if (values.size() < kValuesPerTagMax) values.push_back(*v);
        }
      } else {
        const size_t stop = off + std::min<size_t>(p.bytes, end - off);
        while (off < stop) {
          std::optional<uint32_t> v = read_varint(r, off, stop);
          if (!v) return false;
          if (values.size() < kValuesPerTagMax) values.push_back(*v);
        }
      }
      if (p.tag == 6) {
        for (size_t k = 0; k < 2 && k < values.size(); k++) entry.tag6[k] = values[k];
      }
      if (p.tag == 1 && !values.empty()) entry.tag1 = values[0];
    }
    out.push_back(entry);
  }
  return true;
}
}  // namespace

std::vector<IndexEntry> read_index(const PalmDb& db, uint32_t record) {
  std::vector<IndexEntry> entries;
  std::optional<ByteReader> first = db.rec(record);
  if (!first || first->size() < kIndxMin || !first->matches_at(0, "INDX")) return entries;
  const size_t tagx = first->u32be_at(4);
  if (!first->matches_at(tagx, "TAGX") || !first->has(tagx, 12)) return entries;
  const uint32_t tagx_len = first->u32be_at(tagx + 4), control_bytes = first->u32be_at(tagx + 8);
  if (tagx_len < 12 || !first->has(tagx, tagx_len) || control_bytes > kControlBytesMax) return entries;
  std::vector<TagDef> tags;
  for (size_t off = tagx + 12; off + 4 <= tagx + tagx_len && tags.size() < kTagsMax; off += 4) {
    tags.push_back({first->u8_at(off), first->u8_at(off + 1), first->u8_at(off + 2), first->u8_at(off + 3)});
  }
  const uint32_t follow = first->u32be_at(24);
  for (uint64_t k = 1; k <= follow; k++) {
    if (record + k >= db.count) break;
    std::optional<ByteReader> r = db.rec(static_cast<uint32_t>(record + k));
    if (!r || !r->matches_at(0, "INDX") || !read_entries(*r, tags, control_bytes, entries)) return {};
  }
  return entries;
}

std::vector<std::string> kf8_parts(const PalmDb& db, const MobiHeader& h, std::string_view text) {
  std::vector<std::string> parts;
  size_t usable = text.size();
  if (std::optional<ByteReader> fdst = db.rec(h.at(h.fdst))) {
    if (fdst->size() >= 20 && fdst->matches_at(0, "FDST") && fdst->u32be_at(8) != 0) {
      usable = std::min<size_t>(usable, fdst->u32be_at(16));
    }
  }
  const std::vector<IndexEntry> skeletons = read_index(db, h.at(h.skeleton_index));
  const std::vector<IndexEntry> fragments = read_index(db, h.at(h.fragment_index));
  if (skeletons.empty() || fragments.empty()) return parts;
  size_t next_fragment = 0;
  for (const IndexEntry& skel : skeletons) {
    const size_t start = skel.tag6[0], length = skel.tag6[1];
    if (start > usable || length > usable - start) break;
    std::string part(text.substr(start, length));
    size_t base = start + length;
    for (uint32_t f = 0; f < skel.tag1 && next_fragment < fragments.size(); f++) {
      const IndexEntry& frag = fragments[next_fragment++];
      const size_t frag_len = frag.tag6[1];
      if (base > usable || frag_len > usable - base) break;
      const size_t insert = frag.label < start ? 0 : std::min<uint64_t>(frag.label - start, part.size());
      part.insert(insert, text.substr(base, frag_len));
      base += frag_len;
    }
    parts.push_back(std::move(part));
  }
  return parts;
}
