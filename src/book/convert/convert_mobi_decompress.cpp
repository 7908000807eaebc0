// The two compressions of MOBI text records: PalmDOC's LZ77 and the HUFF/CDIC dictionary code.
#include "book/convert/convert_mobi.h"

namespace {
constexpr int kMaxDepth = 32;
constexpr uint32_t kCdicBitsMax = 16;
constexpr size_t kCacheBytes = 256 * 4;
constexpr size_t kBaseBytes = 64 * 4;
}  // namespace

void palmdoc_unpack(std::string& out, ByteReader in) {
  const size_t record_start = out.size();
  size_t i = 0;
  while (i < in.size()) {
    const uint8_t c = in.u8_at(i++);
    if (c == 0 || (c >= 0x09 && c <= 0x7F)) {
      out += static_cast<char>(c);
    } else if (c <= 0x08) {
      const size_t n = std::min<size_t>(c, in.size() - i);
      out.append(in.chars().substr(i, n));
      i += n;
    } else if (c <= 0xBF) {
      if (i >= in.size()) break;
      const uint32_t v = uint32_t{c} << 8 | in.u8_at(i++);
      const size_t distance = v >> 3 & 0x7FF, length = (v & 7) + 3;
      // A reference into an earlier record's output (or before any output) gives nothing.
      if (distance == 0 || distance > out.size() - record_start) continue;
      for (size_t k = 0; k < length; k++) out += out[out.size() - distance];
    } else {
      out += ' ';
      out += static_cast<char>(c & 0x7F);
    }
  }
}

bool HuffTables::load(const PalmDb& db, uint32_t huff_record, uint32_t huff_count) {
  std::optional<ByteReader> huff = db.rec(huff_record);
  if (!huff || huff->size() < 24 || !huff->matches_at(0, "HUFF")) return false;
  const uint32_t cache_off = huff->u32be_at(8), base_off = huff->u32be_at(12);
  if (!huff->has(cache_off, kCacheBytes) || !huff->has(base_off, kBaseBytes)) return false;
  for (size_t k = 0; k < 256; k++) cache_[k] = huff->u32be_at(cache_off + k * 4);
  for (uint32_t len = 1; len <= 32; len++) {
    const uint64_t low = huff->u32be_at(base_off + (len - 1) * 8), high = huff->u32be_at(base_off + (len - 1) * 8 + 4);
    min_code_[len] = static_cast<uint32_t>(low << (32 - len));
    max_code_[len] = static_cast<uint32_t>(((high + 1) << (32 - len)) - 1);
  }
  dict_.clear();
  for (uint32_t k = 1; k < huff_count; k++) {
    if (huff_record + uint64_t{k} >= db.count) return false;
    std::optional<ByteReader> cdic = db.rec(huff_record + k);
    if (!cdic || cdic->size() < 16 || !cdic->matches_at(0, "CDIC")) return false;
    const uint32_t total = cdic->u32be_at(8), bits = cdic->u32be_at(12);
    if (bits > kCdicBitsMax || total < dict_.size()) return false;
    const size_t n = std::min<uint64_t>(uint64_t{1} << bits, total - dict_.size());
    for (size_t e = 0; e < n; e++) {
      if (!cdic->has(16 + e * 2, 2)) return false;
      const size_t at = 16 + size_t{cdic->u16be_at(16 + e * 2)};
      if (!cdic->has(at, 2)) return false;
      const uint16_t word = cdic->u16be_at(at);
      const size_t len = word & 0x7FFF;
      if (!cdic->has(at + 2, len)) return false;
      dict_.push_back(Entry{cdic->sub(at + 2, len), (word & 0x8000) != 0, false, false, {}});
    }
  }
  return true;
}

void HuffTables::unpack(std::string& out, ByteReader in, uint64_t budget) {
  std::string record;
  expand(record, in, budget, 0);
  out += record;
}

void HuffTables::emit(std::string& out, Entry& e, uint64_t budget, int depth) {
  const uint64_t room = budget - out.size();
  if (e.literal) {
    out.append(e.bytes.chars().substr(0, std::min<uint64_t>(e.bytes.size(), room)));
    return;
  }
  if (e.expanded) {
    out.append(e.expansion, 0, std::min<uint64_t>(e.expansion.size(), room));
    return;
  }
  // An entry inside its own expansion, or nested past the limit, adds nothing.
  if (e.busy || depth >= kMaxDepth) return;
  e.busy = true;
  std::string sub;
  expand(sub, e.bytes, room, depth + 1);
  e.busy = false;
  // Only a whole expansion is kept: one cut by the budget would be wrong for a later use.
  if (sub.size() < room) {
    e.expansion = sub;
    e.expanded = true;
  }
  out += sub;
}

// Decodes a code stream into out, stopping once out holds `budget` bytes. Every nested entry
// shares the same budget, so a dictionary whose entries double each other cannot blow up.
void HuffTables::expand(std::string& out, ByteReader in, uint64_t budget, int depth) {
  int64_t bits_left = static_cast<int64_t>(in.size()) * 8;
  size_t pos = 0;
  auto window_at = [&](size_t p) {
    uint64_t w = 0;
    for (size_t k = 0; k < 8; k++) w = w << 8 | (p + k < in.size() ? in.u8_at(p + k) : 0);
    return w;
  };
  uint64_t x = window_at(0);
  int n = 32;
  while (out.size() < budget) {
    if (n <= 0) {
      pos += 4;
      x = window_at(pos);
      n += 32;
    }
    const auto code = static_cast<uint32_t>(x >> n);
    const uint32_t c = cache_[code >> 24];
    uint32_t len = c & 0x1F;
    if (len == 0) return;
    uint32_t max_code;
    if (c & 0x80) {
      max_code = static_cast<uint32_t>(((uint64_t{c >> 8} + 1) << (32 - len)) - 1);
    } else {
      while (len < 32 && min_code_[len] > code) len++;
      max_code = max_code_[len];
    }
    n -= static_cast<int>(len);
    bits_left -= len;
    if (bits_left < 0) return;
    const uint32_t index = (max_code - code) >> (32 - len);
    if (index >= dict_.size()) return;
    emit(out, dict_[index], budget, depth);
  }
}
