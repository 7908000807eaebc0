// A small StarDict writer for test dictionaries (and the benchmark's generated one): ".ifo",
// ".idx" with 32- or 64-bit offsets, and definitions as a plain ".dict", as a dictzip ".dict.dz"
// with its chunk table, or as a plain gzip ".dict.dz" without one. A dictzip file is laid out
// byte for byte as the dictzip program writes it: every chunk ends in a full flush, and the
// stream's last (empty) block follows the last chunk, outside the chunk table. Header-only, so
// that a benchmark program can use it too.
#pragma once
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace sdw {

struct Entry {
  std::string headword;
  std::string data;  // the definition as stored (typed fields, or the type sequence's fields)
};

enum class Storage {
  plain,
  dictzip,
  // A dictzip file whose stream ends inside its last chunk, as some other packers write it.
  dictzip_ending_in_last_chunk,
  gzip,
};

struct Options {
  Storage storage = Storage::plain;
  bool offsets64 = false;
  std::string type_sequence = "m";  // empty: every field carries its type byte
  std::string bookname = "Test Dictionary";
  bool with_bookname = true;
  uint32_t chunk_length = 58315;  // dictzip's own default
};

inline void put_le16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}
inline void put_le32(std::string& out, uint32_t v) {
  put_le16(out, v & 0xFFFF);
  put_le16(out, v >> 16);
}
inline void put_be32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift & 0xFF);
}

// Deflates `data` as one raw stream flushed at every `chunk_length` bytes, so that each chunk can
// be inflated on its own; the compressed size of each chunk. The stream's last block comes after
// the last chunk, unless `end_in_last_chunk`.
inline std::string deflate_chunks(std::string_view data, uint32_t chunk_length, bool end_in_last_chunk,
                                  std::vector<uint32_t>& sizes) {
  z_stream z{};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out;
  auto run = [&](std::string_view in, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    char buf[16384];
    do {
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      deflate(&z, flush);
      out.append(buf, sizeof buf - z.avail_out);
    } while (z.avail_out == 0);
  };
  bool finished = false;
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min<size_t>(chunk_length, data.size() - at);
    finished = at + n == data.size() && end_in_last_chunk;
    const size_t before = out.size();
    run(data.substr(at, n), finished ? Z_FINISH : Z_FULL_FLUSH);
    sizes.push_back(static_cast<uint32_t>(out.size() - before));
    at += n;
  }
  if (!finished) run({}, Z_FINISH);
  deflateEnd(&z);
  return out;
}

// A gzip file of `data` named "test.dict", dated 0; with a chunk table (dictzip) when
// `chunk_length` is not 0.
inline std::string gzip_file(std::string_view data, uint32_t chunk_length, bool end_in_last_chunk = false) {
  std::vector<uint32_t> sizes;
  const bool chunked = chunk_length != 0;
  const std::string body = deflate_chunks(data, chunked ? chunk_length : static_cast<uint32_t>(data.size() + 1),
                                          end_in_last_chunk || !chunked, sizes);
  std::string out = "\x1f\x8b\x08";
  out += static_cast<char>(chunked ? 0x0C : 0x08);  // FEXTRA when chunked, FNAME
  put_le32(out, 0);                                 // modification time
  out += '\x02';                                    // best compression
  out += '\x03';                                    // Unix
  if (chunked) {
    put_le16(out, static_cast<uint32_t>(10 + 2 * sizes.size()));  // extra field length
    out += "RA";
    put_le16(out, static_cast<uint32_t>(6 + 2 * sizes.size()));   // subfield length
    put_le16(out, 1);                                             // version
    put_le16(out, chunk_length);
    put_le16(out, static_cast<uint32_t>(sizes.size()));
    for (uint32_t s : sizes) put_le16(out, s);
  }
  out += "test.dict";
  out += '\0';
  out += body;
  put_le32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                            static_cast<uInt>(data.size()))));
  put_le32(out, static_cast<uint32_t>(data.size()));
  return out;
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes base + ".ifo", ".idx" and ".dict" or ".dict.dz"; the index in the order given.
inline void write_dictionary(const std::string& base, const std::vector<Entry>& entries,
                             const Options& o = {}) {
  std::string dict, idx;
  for (const Entry& e : entries) {
    idx += e.headword;
    idx += '\0';
    if (o.offsets64) put_be32(idx, 0);
    put_be32(idx, static_cast<uint32_t>(dict.size()));
    put_be32(idx, static_cast<uint32_t>(e.data.size()));
    dict += e.data;
  }
  std::string ifo = "StarDict's dict ifo file\nversion=3.0.0\n";
  ifo += "wordcount=" + std::to_string(entries.size()) + "\n";
  ifo += "idxfilesize=" + std::to_string(idx.size()) + "\n";
  if (o.with_bookname) ifo += "bookname=" + o.bookname + "\n";
  if (o.offsets64) ifo += "idxoffsetbits=64\n";
  if (!o.type_sequence.empty()) ifo += "sametypesequence=" + o.type_sequence + "\n";
  write_bytes(base + ".ifo", ifo);
  write_bytes(base + ".idx", idx);
  switch (o.storage) {
    case Storage::plain: write_bytes(base + ".dict", dict); break;
    case Storage::dictzip: write_bytes(base + ".dict.dz", gzip_file(dict, o.chunk_length)); break;
    case Storage::dictzip_ending_in_last_chunk:
      write_bytes(base + ".dict.dz", gzip_file(dict, o.chunk_length, true));
      break;
    case Storage::gzip: write_bytes(base + ".dict.dz", gzip_file(dict, 0)); break;
  }
}

}  // namespace sdw
