// A small ZIP writer for building test books (and the benchmark's generated book): stored and
// deflated members, with knobs to write the damaged archives readers must survive. Header-only,
// so that a benchmark program can use it too.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <zlib.h>

namespace zipw {

enum Method : uint16_t { kStored = 0, kDeflated = 8 };

struct Member {
  Member(std::string name_, std::string data_, uint16_t method_ = kDeflated, uint16_t flags_ = 0,
         std::optional<uint64_t> stated_size_ = {}, std::optional<uint16_t> method_written_ = {},
         uint32_t unix_mode_ = 0, std::optional<uint64_t> stated_compressed_ = {},
         uint8_t made_on_ = 3)
      : name(std::move(name_)), data(std::move(data_)), method(method_), flags(flags_),
        stated_size(stated_size_), method_written(method_written_), unix_mode(unix_mode_),
        stated_compressed(stated_compressed_), made_on(made_on_) {}
  std::string name;
  std::string data;
  uint16_t method = kDeflated;
  uint16_t flags = 0;                         // bit 0: encrypted
  // Sizes written in the headers (past 32 bits only in ZIP64 form), else the true ones.
  std::optional<uint64_t> stated_size;        // uncompressed
  std::optional<uint16_t> method_written;     // method written in the headers
  uint32_t unix_mode = 0;                     // when set, made on `made_on` with this mode
  std::optional<uint64_t> stated_compressed;
  uint8_t made_on = 3;                        // Unix; 19 is macOS
};

inline void put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}
inline void put32(std::string& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
inline void put64(std::string& out, uint64_t v) {
  put32(out, static_cast<uint32_t>(v));
  put32(out, static_cast<uint32_t>(v >> 32));
}

// Raw deflate of the data (no zlib header), as ZIP members hold it.
inline std::string deflate_raw(std::string_view data, int level = Z_DEFAULT_COMPRESSION) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The archive's bytes: local headers and data in order, the central directory, the end record
// (with `comment`, whose length field says `comment.size()`). With `zip64_at`, in ZIP64 form for a
// file it begins at that offset in: the sizes and offsets left to the ZIP64 fields.
inline std::string build(const std::vector<Member>& members, std::string_view comment = {},
                         std::optional<uint64_t> zip64_at = {}) {
  std::string out, dir;
  const uint64_t at = zip64_at.value_or(0);
  const uint32_t all_ones = zip64_at ? 0xFFFFFFFF : 0;
  for (const Member& m : members) {
    std::string body = m.method == kDeflated ? deflate_raw(m.data) : m.data;
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()),
                                               static_cast<uInt>(m.data.size())));
    const uint64_t size = m.stated_size.value_or(m.data.size());
    const uint64_t compressed = m.stated_compressed.value_or(body.size());
    uint16_t method = m.method_written.value_or(m.method);
    const uint64_t offset = at + out.size();
    std::string extra;  // the ZIP64 field (id, length): the sizes and the offset, in this order
    put32(extra, 1 | 24 << 16);
    for (uint64_t v : {size, compressed, offset}) put64(extra, v);
    auto common = [&](std::string& h, uint32_t ones) {
      put16(h, 20);           // version needed
      put16(h, m.flags);      // flags
      put16(h, method);       // method
      put16(h, 0);            // time
      put16(h, 0x0021);       // date: 1 January 1980
      put32(h, crc);
      put32(h, static_cast<uint32_t>(compressed) | ones);  // compressed size
      put32(h, static_cast<uint32_t>(size) | ones);        // uncompressed size
      put16(h, static_cast<uint32_t>(m.name.size()));
      put16(h, ones ? static_cast<uint32_t>(extra.size()) : 0);  // extra length
    };
    put32(out, 0x04034b50);
    common(out, 0);
    out += m.name;
    out += body;
    put32(dir, 0x02014b50);
    put16(dir, m.unix_mode ? m.made_on << 8 | 20 : 20);  // version made by
    common(dir, all_ones);
    put16(dir, 0);            // comment length
    put16(dir, 0);            // disk number
    put16(dir, 0);            // internal attributes
    put32(dir, m.unix_mode << 16);  // external attributes
    put32(dir, static_cast<uint32_t>(offset) | all_ones);
    dir += m.name + (zip64_at ? extra : "");
  }
  const uint64_t dir_offset = at + out.size(), count = members.size();
  out += dir;
  if (zip64_at) {
    const uint64_t record = at + out.size();
    put32(out, 0x06064b50);
    put64(out, 44);           // the size of the rest
    put64(out, 45 << 16 | 45);  // versions made by and needed, this disk
    put32(out, 0);            // directory's disk
    for (uint64_t v : {count, count, uint64_t{dir.size()}, dir_offset}) put64(out, v);
    put32(out, 0x07064b50);   // the locator: the record's disk and offset, the disks
    put32(out, 0);
    put64(out, record);
    put32(out, 1);
  }
  put32(out, 0x06054b50);
  put16(out, 0);              // this disk
  put16(out, 0);              // directory's disk
  put16(out, static_cast<uint32_t>(members.size()));
  put16(out, static_cast<uint32_t>(members.size()));
  put32(out, static_cast<uint32_t>(dir.size()));
  put32(out, static_cast<uint32_t>(dir_offset) | all_ones);
  put16(out, static_cast<uint32_t>(comment.size()));
  out += comment;
  return out;
}

}  // namespace zipw
