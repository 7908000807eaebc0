// Builds small MOBI files field by field: the PalmDB record list, a record 0 with the PalmDOC and
// MOBI headers, and a HUFF/CDIC dictionary whose codes are whole bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

inline void be16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v >> 8);
  s[at + 1] = static_cast<char>(v);
}
inline void be32(std::string& s, size_t at, uint32_t v) {
  be16(s, at, v >> 16);
  be16(s, at + 2, v & 0xFFFF);
}

inline std::string palmdb(const std::vector<std::string>& records, const char* type = "BOOKMOBI") {
  std::string out(78 + records.size() * 8 + 2, '\0');
  out.replace(0, 4, "test");
  out.replace(60, 8, type);
  be16(out, 76, static_cast<uint32_t>(records.size()));
  size_t offset = out.size();
  for (size_t i = 0; i < records.size(); i++) {
    be32(out, 78 + i * 8, static_cast<uint32_t>(offset));
    offset += records[i].size();
  }
  for (const std::string& r : records) out += r;
  return out;
}

struct MobiFields {
  uint32_t compression = 1;
  uint32_t text_records = 1;
  uint32_t encryption = 0;
  uint32_t encoding = 65001;
  uint32_t version = 6;
  uint32_t first_image = 0xFFFFFFFF;
  uint32_t huff_record = 0, huff_count = 0;
  std::string name = "Built Book";
  std::vector<std::pair<uint32_t, std::string>> exth;
  bool with_mobi = true;
};

inline std::string record0(const MobiFields& f) {
  std::string r(16, '\0');
  be16(r, 0, f.compression);
  be16(r, 8, f.text_records);
  be16(r, 10, 4096);
  be16(r, 12, f.encryption);
  if (!f.with_mobi) return r;
  constexpr uint32_t kHeaderLength = 232;
  r.resize(16 + kHeaderLength, '\0');
  r.replace(16, 4, "MOBI");
  be32(r, 20, kHeaderLength);
  be32(r, 28, f.encoding);
  be32(r, 36, f.version);
  be32(r, 108, f.first_image);
  be32(r, 112, f.huff_record);
  be32(r, 116, f.huff_count);
  if (!f.exth.empty()) {
    be32(r, 128, 0x40);
    std::string exth = "EXTH" + std::string(8, '\0');
    for (const auto& [type, data] : f.exth) {
      std::string e(8, '\0');
      be32(e, 0, type);
      be32(e, 4, static_cast<uint32_t>(8 + data.size()));
      exth += e + data;
    }
    be32(exth, 4, static_cast<uint32_t>(exth.size()));
    be32(exth, 8, static_cast<uint32_t>(f.exth.size()));
    r += exth;
  }
  be32(r, 84, static_cast<uint32_t>(r.size()));
  be32(r, 88, static_cast<uint32_t>(f.name.size()));
  r += f.name;
  return r;
}

// A HUFF record whose codes are all 8 bits: byte b stands for dictionary entry 255 - b.
inline std::string huff_record() {
  std::string r(24 + 256 * 4 + 64 * 4, '\0');
  r.replace(0, 4, "HUFF");
  be32(r, 4, 24);
  be32(r, 8, 24);
  be32(r, 12, 24 + 256 * 4);
  for (uint32_t b = 0; b < 256; b++) be32(r, 24 + b * 4, 255u << 8 | 0x80 | 8);
  return r;
}
inline char huff_code(uint32_t entry) { return static_cast<char>(255 - entry); }

// One CDIC record holding the entries (literal or made of codes).
struct CdicEntry {
  std::string bytes;
  bool literal;
};
inline std::string cdic_record(const std::vector<CdicEntry>& entries) {
  std::string r(16 + entries.size() * 2, '\0');
  r.replace(0, 4, "CDIC");
  be32(r, 4, 16);
  be32(r, 8, static_cast<uint32_t>(entries.size()));
  be32(r, 12, 8);
  std::string data;
  for (size_t k = 0; k < entries.size(); k++) {
    be16(r, 16 + k * 2, static_cast<uint32_t>(entries.size() * 2 + data.size()));
    std::string word(2, '\0');
    be16(word, 0, static_cast<uint32_t>(entries[k].bytes.size()) | (entries[k].literal ? 0x8000u : 0u));
    data += word + entries[k].bytes;
  }
  return r + data;
}
